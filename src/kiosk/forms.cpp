#include "kiosk/forms.h"

#include "config/tform5.h"
#include "config/tform6.h"
#include "evaluation/tform2.h"
#include "kiosk/tform1.h"
#include "platform/guard.h"
#include "platform/platform.h"
#include "stats/tform4.h"
#include "store/tdatamodule3.h"

TForm1 *Form1 = nullptr;
TForm2 *Form2 = nullptr;
TDataModule3 *DataModule3 = nullptr;
TForm4 *Form4 = nullptr;
TForm5 *Form5 = nullptr;
TForm6 *Form6 = nullptr;

void CreateForms()
{
    Form1 = new TForm1;
    Form2 = new TForm2;
    DataModule3 = new TDataModule3(platform::services().workDir());
    // The rating dialog exists before the module; it stores through it from now on.
    Form2->setDataModule(DataModule3);
    // The connection and the start-up query each report their own failure; start-up goes on.
    platform::guarded(nullptr, [] { DataModule3->OpenConnection(); });
    platform::guarded(nullptr, [] { DataModule3->OpenStartupQuery(); });
    Form4 = new TForm4(DataModule3);
    Form5 = new TForm5;
    Form6 = new TForm6;
    Form1->setWindows(Form2, Form4, Form5, Form6);
}

void DestroyForms()
{
    delete Form6;
    Form6 = nullptr;
    delete Form5;
    Form5 = nullptr;
    delete Form4;
    Form4 = nullptr;
    delete DataModule3;
    DataModule3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1;
    Form1 = nullptr;
}
