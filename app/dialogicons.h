#ifndef CIPHERBENCH_APP_DIALOGICONS_H
#define CIPHERBENCH_APP_DIALOGICONS_H

#include <QFileIconProvider>
#include <QObject>

class QFileDialog;

// Icons and type descriptions of a file dialog's entries from their names
// and kinds alone. Qt's own provider asks the MIME database for a regular
// file's type, which opens the file and reads its first bytes, on the GUI
// thread, for every file the dialog lists; some reads never return (/proc/kmsg
// waits for the next kernel message, a file on a stalled share for the
// share). Here a file's type comes from its extension, and nothing is opened.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};

// Keeps a file dialog on a NameOnlyIconProvider from before it lists anything
// until it is gone. A Qt dialog lists its remembered folder (Qt's
// "QtProject" settings) while it is being built, before a folder can be set;
// those entries are described when the event loop next runs, which watch()
// comes before. A dialog that builds its widgets late, when a native one
// fails to show, gets the provider as it is shown. Made before the dialog,
// so that the provider outlives the dialog's model:
//
//   DialogIconGuard icons;
//   QFileDialog dialog(this);
//   icons.watch(&dialog);
class DialogIconGuard : public QObject
{
public:
    void watch(QFileDialog *dialog);
    const NameOnlyIconProvider *provider() const { return &icons; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply(QFileDialog *dialog);
    NameOnlyIconProvider icons;
};

#endif
