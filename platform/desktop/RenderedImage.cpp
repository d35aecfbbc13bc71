#include "platform/desktop/RenderedImage.h"

#include "platform/desktop/SessionBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace {

void openFolderOf(const QString &file)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

} // namespace

QString RenderedImage::imagePath(const QByteArrayList &arguments, const QString &workingDirectory)
{
    const auto output = std::find_if(arguments.cbegin() + std::min<qsizetype>(1, arguments.size()), arguments.cend(),
        [](const QByteArray &argument) { return argument.startsWith("+O"); });
    if (output == arguments.cend() || output->size() <= 2)
        return {};
    QString name = QString::fromUtf8(output->sliced(2));
    if (name.endsWith(u'/')) {
        // The scene comes last, between double quotes.
        const QByteArray &scene = arguments.constLast();
        name += QFileInfo(QString::fromUtf8(scene.sliced(1, std::max<qsizetype>(scene.size() - 2, 0)))).completeBaseName();
    }
    if (!name.endsWith(QLatin1String(".png")))
        name += name.endsWith(u'.') ? QLatin1String("png") : QLatin1String(".png");
    return QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(name));
}

void RenderedImage::renderStarted(const QByteArrayList &arguments, const QString &workingDirectory)
{
    imageFile = imagePath(arguments, workingDirectory);
}

bool RenderedImage::exists() const
{
    return !imageFile.isEmpty() && QFileInfo(imageFile).isFile();
}

void RenderedImage::open() const
{
    if (!imageFile.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(imageFile));
}

void RenderedImage::showInFolder()
{
    if (imageFile.isEmpty())
        return;
    const std::optional<QDBusConnection> bus = SessionBus::connection();
    if (!bus) {
        openFolderOf(imageFile);
        return;
    }
    QDBusMessage showItems = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    showItems << QStringList{QUrl::fromLocalFile(imageFile).toString(QUrl::FullyEncoded)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus->asyncCall(showItems), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [file = imageFile](QDBusPendingCallWatcher *call) {
        if (call->isError())
            openFolderOf(file);
        call->deleteLater();
    });
}
