#pragma once

class TForm1;
class TForm2;
class TDataModule3;
class TForm4;
class TForm5;
class TForm6;
namespace central {
class Link;
}

// The program-wide references to the six objects created at start. Only the program's start
// and end use them: every window is handed the others it works with when it is created.
extern TForm1 *Form1;
extern TForm2 *Form2;
extern TDataModule3 *DataModule3;
extern TForm4 *Form4;
extern TForm5 *Form5;
extern TForm6 *Form6;
// The forwarding to the central database; null when opt.ini has no section [zhongxin] url.
extern central::Link *CentralLink;

// Creates the six objects in start-up order: main window, evaluation dialog, database module,
// statistics, parameter settings, picture editing. Each creation handler runs as its object is
// created; a failure in one is shown and start-up goes on. The rating dialog gets the database
// module right after the module exists, the statistics window gets it when it is created, and
// the main window gets the four windows it opens at the end. Nothing is shown yet. With a
// central database configured, the forwarding starts right after the database module.
void CreateForms();
// Releases the six objects in reverse order and clears the references.
void DestroyForms();
