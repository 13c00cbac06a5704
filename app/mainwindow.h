#ifndef CIPHERBENCH_APP_MAINWINDOW_H
#define CIPHERBENCH_APP_MAINWINDOW_H

#include "app/counterrow.h"
#include "app/textboxes.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QString>

#include <optional>
#include <utility>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMimeData;
class QTextEdit;
class QTreeWidgetItem;
class AesCipher;
class DesContext;
class ReadFile;
class SecretBytes;
enum class ErrorText;

class Ui_MainWindow;

// The one window: navigation tree on the left, four tool pages on the right.
// All members are declared here, each page's under its own heading; each
// page's functions are defined in its own source file (aespage.cpp,
// despage.cpp, base64page.cpp, hashpage.cpp), the window's in mainwindow.cpp.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The values of currentAlg, the algorithm last chosen in the tree. The
    // hash page makes SHA1 digests for AlgSHA1 and MD5 ones for any other.
    enum Algorithm : int { AlgAES = 0, AlgDES = 1, AlgBase64 = 2, AlgMD5 = 3, AlgSHA1 = 4 };
    int currentAlgorithm() const { return currentAlg; }

    // Where the "我的故乡" link in the status bar leads.
    static const char *const homePageUrl;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_txtEncAES_textChanged();
    void on_txtDecAES_textChanged();
    void on_txtKeyAES_textChanged();
    void on_btnEncAES_clicked();
    void on_btnDecAES_clicked();
    void on_treeDefence_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void on_txtEncDES_textChanged();
    void on_txtDecDES_textChanged();
    void on_btnEncDES_clicked();
    void on_btnDecDES_clicked();
    void onButtonAlgGroupClicked(QAbstractButton *button);
    void onButtonkeyGroupClicked(QAbstractButton *button);
    void on_txtKey1DES_textChanged(const QString &arg1);
    void on_txtKey2DES_textChanged(const QString &arg1);
    void on_txtEncBASE64_textChanged();
    void on_txtDecBASE64_textChanged();
    void on_btnEncBASE64_clicked();
    void on_btnDecBASE64_clicked();
    void on_txtEncHASH_textChanged();
    void on_btnCalcHASH_clicked();
    void onButtonTextTypeGroupClicked(QAbstractButton *button);
    void on_btnFileHASH_clicked();
    void prgFileHASHSet(int range);
    void prgFileHASHDis(int value);
    void prgFileHASHFinsh(QByteArray ba);

private:
    // Qt 6's QComboBox only has currentIndexChanged(int). These keep their
    // QString parameter and are connected explicitly (connectComboSlots), so
    // they are plain members: connectSlotsByName neither sees nor warns about them.
    void on_cboxCModeAES_currentIndexChanged(QString arg1);
    void on_cboxInCodeDES_currentIndexChanged(QString arg1);
    void on_cboxOutCodeDES_currentIndexChanged(QString arg1);
    void on_cboxInCodeBASE64_currentIndexChanged(QString arg1);
    void on_cboxOutCodeBASE64_currentIndexChanged(QString arg1);
    void on_cboxInTxtHASH_currentIndexChanged(QString arg1);
    void connectComboSlots();

    void initMainWindow(); // the shell: the steps below, in their order
    void initNavigationTree();
    void initStatusBar();
    void initAlgorithmIndex();
    void initCounterRows();
    void initScreenFit();
    void fitToScreen();
    void initRadioGroup(QButtonGroup *&group, QAbstractButton *first, QAbstractButton *second,
                        const QLabel *caption, void (MainWindow::*update)(),
                        void (MainWindow::*clicked)(QAbstractButton *));

    // The status bar's two words on a page operation: "…中..." while it
    // runs, "…完成！" once it is done.
    enum class Operation { Encrypt, Decrypt, EncodeBase64, DecodeBase64, HashMD5, HashSHA1 };
    void showRunning(Operation operation);
    void showDone(Operation operation);
    // Every status message of the pages: through tr(), shown for 2000 ms.
    void showStatus(const char *sourceText);

    // AES page (aespage.cpp)
    void initAESPage();
    int keyLengthAES();
    bool cbcModeAES() const;
    // Shows `n` bytes of cipher text in the output code; false when its
    // working buffer could not be had.
    bool showCipherTextAES(const char *bytes, int n);

    // DES page (despage.cpp)
    void initDESPage();
    void updateAlgDES();
    void updateKeyFormDES();
    void runDES(bool encrypt); // both buttons: keys, input, engine, result
    std::optional<ErrorText> readKeysDES(SecretBytes *key1, SecretBytes *key2) const;
    int runEngineDES(bool encrypt, const char *key1, const char *key2, const SecretBytes &input,
                     char *out);
    // Shows `count` result bytes in the output code; false when its working
    // buffer could not be had.
    bool showResultDES(const char *bytes, int count);
    // The DES page's texts as UTF-8 bytes, through utf8Codec(): unlike
    // QString::toUtf8(), it drops a lone high surrogate at the very end.
    static QByteArray utf8BytesDES(const QString &text);

    // Base64 page (base64page.cpp)
    void initBase64Page();

    // Hash page and file loading (hashpage.cpp)
public:
    // Starts hashing the file at `path`, as choosing it in the file dialog does.
    void loadFileHASH(const QString &path);
    ReadFile *fileHashWorker() const { return fileWorker; }

private:
    void initHashPage();
    QString fileToDropHASH(const QMimeData *data) const;
    void updateTextTypeHASH();
    void retireFileLoadHASH();
    void leaveWorkerBehindHASH();
    void fileWorkerEndedHASH();
    // How long a stop or the window's end waits for the worker to end; after
    // that the worker is taken to be stuck in a read and left behind.
    static constexpr int stopWaitMsHASH = 40;
    // The load under way: it receives the worker's calls for the window.
    QObject *fileLoadHASH = nullptr;
    bool closingHASH = false;

    Ui_MainWindow *ui;
    QMap<QString, int> algIndexByName;
    int currentAlg;
    AesCipher *aesCipher = nullptr;
    DesContext *desContext = nullptr;
    bool tripleDES = false;
    bool keyHexDES = false;
    bool inCodeHexDES = false;
    bool outCodeHexDES = false;
    // Set once a box's invalid-input message has been shown, so that the
    // nested runs of its handler caused by the removal stay silent; cleared
    // at the end of every run.
    bool hexErrorShownDES = false;
    bool key1ErrorShownDES = false;
    bool key2ErrorShownDES = false;
    QButtonGroup *keyGroupDES = nullptr;
    QButtonGroup *algGroupDES = nullptr;
    bool inCodeHexBASE64 = false;
    bool outCodeHexBASE64 = false;
    bool hexErrorShownBASE64 = false;
    bool inCodeHexHASH = false;
    bool hexErrorShownHASH = false;
    bool textModeHASH = false;
    ReadFile *fileWorker = nullptr;
    QString filePathHASH;
    QByteArray fileDigestHASH;
    QButtonGroup *textTypeGroupHASH = nullptr;
    // The line edits whose start-up text is kept whole, with that text.
    QList<std::pair<QLineEdit *, QString>> wholeLineEdits;
    bool screenWatched = false;

    CounterRow encRowAES;
    CounterRow decRowAES;
    InputBox encInputDES;
    CounterRow decRowDES;
    InputBox encInputBASE64;
    CounterRow decRowBASE64;
    InputBox encInputHASH;
};

#endif
