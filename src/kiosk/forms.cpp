#include "kiosk/forms.h"

#include "central/forwarder.h"
#include "config/settingsfile.h"
#include "config/tform5.h"
#include "config/tform6.h"
#include "evaluation/tform2.h"
#include "kiosk/tform1.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "stats/tform4.h"
#include "store/tdatamodule3.h"

using namespace Qt::StringLiterals;

TForm1 *Form1 = nullptr;
TForm2 *Form2 = nullptr;
TDataModule3 *DataModule3 = nullptr;
TForm4 *Form4 = nullptr;
TForm5 *Form5 = nullptr;
TForm6 *Form6 = nullptr;
central::Link *CentralLink = nullptr;

namespace {

// Section [zhongxin] of opt.ini: every rating is also filed for forwarding, and the forwarder
// starts in its own thread. Without the section nothing of it exists.
void startForwarding()
{
    const auto config = central::readConfig(SettingsFile(platform::services().exeDir()));
    if (!config)
        return;
    DataModule3->setForwarding(config->terminal);
    CentralLink =
        new central::Link(platform::workPath(u"db.dll"_s), *config, platform::services().clock());
    QObject::connect(DataModule3, &TDataModule3::appended, CentralLink, &central::Link::poke);
}

} // namespace

void CreateForms()
{
    Form1 = new TForm1;
    Form2 = new TForm2;
    DataModule3 = new TDataModule3(platform::services().workDir(), platform::services().clock());
    // The rating dialog exists before the module; it stores through it from now on.
    Form2->setDataModule(DataModule3);
    // The connection and the start-up query each report their own failure; start-up goes on.
    platform::guarded(nullptr, [] { DataModule3->OpenConnection(); });
    platform::guarded(nullptr, [] { DataModule3->OpenStartupQuery(); });
    platform::guarded(nullptr, [] { startForwarding(); });
    // The lock-out of the staff PIN goes on where the log in db.dll left it.
    Form1->setDataModule(DataModule3);
    Form4 = new TForm4(DataModule3);
    Form4->setCentralLink(CentralLink);
    Form5 = new TForm5;
    Form6 = new TForm6;
    Form1->setWindows(Form2, Form4, Form5, Form6);
    Form1->setCentralLink(CentralLink);
}

void DestroyForms()
{
    delete Form6;
    Form6 = nullptr;
    delete Form5;
    Form5 = nullptr;
    delete Form4;
    Form4 = nullptr;
    if (Form1) {
        Form1->setCentralLink(nullptr);
        Form1->setDataModule(nullptr);
    }
    delete CentralLink;
    CentralLink = nullptr;
    delete DataModule3;
    DataModule3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1;
    Form1 = nullptr;
}
