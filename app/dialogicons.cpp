#include "app/dialogicons.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return icon(Drive);
    if (info.isDir())
        return icon(Folder);
    // The icon theme's icon for the type the name gives, or the plain file icon.
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    return QIcon::fromTheme(mime.iconName(), icon(File));
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const
{
    // Qt's provider reads no content for anything but regular files.
    if (!info.isFile())
        return QFileIconProvider::type(info);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    // A name that tells nothing is a file, in Qt's own words and translation.
    if (mime.isDefault())
        return QCoreApplication::translate("QAbstractFileIconProvider", "File");
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
}

void DialogIconGuard::watch(QFileDialog *dialog)
{
    apply(dialog);
    dialog->installEventFilter(this);
}

bool DialogIconGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        if (auto *dialog = qobject_cast<QFileDialog *>(watched))
            apply(dialog);
    }
    return QObject::eventFilter(watched, event);
}

// A dialog shown natively has no widgets: it takes no provider, and there is
// nothing of Qt's to read the files it lists.
void DialogIconGuard::apply(QFileDialog *dialog)
{
    if (dialog->iconProvider() && dialog->iconProvider() != &icons)
        dialog->setIconProvider(&icons);
}
