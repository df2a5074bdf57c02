#include "kiosk/forms.h"
#include "kiosk/tform1.h"
#include "platform/platform.h"
#include "platform/qtservices.h"
#include "security/setpin.h"
#include "store/backup.h"

#include <QApplication>
#include <QCursor>

int main(int argc, char *argv[])
{
    // Setting the staff PIN on the terminal needs no display.
    if (argc == 2 && setpin::option() == QString::fromLocal8Bit(argv[1])) {
        QCoreApplication app(argc, argv);
        return setpin::runOnTerminal(platform::programDir());
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(platform::applicationTitle());
    installChineseTranslations();
    platform::useChineseLocale();

    QtServices services;
    platform::setServices(&services);

    // On a touch screen the pointer is hidden (the installed service sets this).
    if (qEnvironmentVariableIntValue("QUORVEL_KIOSK_HIDE_POINTER") == 1)
        QApplication::setOverrideCursor(Qt::BlankCursor);

    CreateForms();
    Form1->showKiosk();
    // One consistent copy of db.dll a day into folder 备份, off the GUI thread.
    DailyBackup dailyBackup(services.workDir(), services.clock());
    dailyBackup.start();
    const int rc = QApplication::exec();
    DestroyForms();
    platform::setServices(nullptr);
    return rc;
}
