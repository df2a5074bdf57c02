#include "kiosk/forms.h"
#include "kiosk/tform1.h"
#include "platform/platform.h"
#include "platform/qtservices.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(platform::applicationTitle());
    installChineseTranslations();

    QtServices services;
    platform::setServices(&services);

    CreateForms();
    Form1->showKiosk();
    const int rc = QApplication::exec();
    DestroyForms();
    platform::setServices(nullptr);
    return rc;
}
