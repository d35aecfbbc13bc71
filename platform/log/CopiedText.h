#pragma once

#include <QByteArray>
#include <QMimeData>
#include <QPointer>
#include <QString>
#include <QTimer>

class LogView;

// Text copied from the log, as the clipboard holds it: kept as UTF-8, which is what other programs
// ask for, so that handing it over costs no conversion of the whole text. A huge selection is
// encoded in pieces while the main loop runs, so the window keeps painting; whoever asks for the
// text before the last piece gets the rest encoded at once.
class CopiedText : public QMimeData
{
    Q_OBJECT

public:
    CopiedText(const LogView &view, qsizetype from, qsizetype to);

    // Copies what is left now, for the log is about to change or go.
    void finish();
    [[nodiscard]] bool isComplete() const noexcept { return next >= end; }

    [[nodiscard]] QStringList formats() const override;
    [[nodiscard]] bool hasFormat(const QString &mimeType) const override;

protected:
    [[nodiscard]] QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    void copyPiece();

    QPointer<const LogView> view;
    qsizetype next;
    qsizetype end;
    QByteArray copied;
    QTimer pieces;
};
