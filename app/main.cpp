#include "app/appicon.h"
#include "app/mainwindow.h"
#include "app/qttranslation.h"
#include "app/screenfit.h"

#include <QApplication>

// Qt 6 reads source literals, tr() and 8-bit conversions as UTF-8, so unlike
// the toolkit's older versions there is no codec to install here.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(CIPHERBENCH_VERSION));
    app.setWindowIcon(applicationIcon());
    useWholeFrames();
    installQtChineseTranslation();
    int code = 0;
    {
        MainWindow window;
        window.show();
        code = app.exec();
    } // the window goes before the application object
    return code;
}
