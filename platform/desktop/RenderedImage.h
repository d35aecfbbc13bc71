#pragma once

#include <QByteArrayList>
#include <QDir>
#include <QObject>
#include <QString>

// The image the last render was told to write, named as the renderer names it, and the two ways
// of handing it to the desktop: the user's image viewer, and the file manager showing it in its
// folder (org.freedesktop.FileManager1), or else the folder itself.
class RenderedImage : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The absolute path of the image a render with these arguments writes, or empty with "-F".
    // The "+O" path is taken against workingDirectory; a name not ending in ".png" gets it appended
    // (after a closing dot, just "png"), and a folder gets the scene's name, as POV-Ray does.
    [[nodiscard]] static QString imagePath(const QByteArrayList &arguments, const QString &workingDirectory);

    // Remembers the image of the render just started with these arguments.
    void renderStarted(const QByteArrayList &arguments, const QString &workingDirectory = QDir::currentPath());
    // Empty when the last render wrote no file, or before the first.
    [[nodiscard]] const QString &path() const noexcept { return imageFile; }
    // Whether that file is there now.
    [[nodiscard]] bool exists() const;

    // Opens it with the user's image viewer.
    void open() const;
    // Returns at once; the folder opens instead when no file manager answers.
    void showInFolder();

private:
    QString imageFile;
};
