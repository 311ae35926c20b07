// The program's six windows, created at start-up in the order TForm1 .. TForm6 and
// kept until the program ends. Form1 is the main window.
#pragma once

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;

extern TForm1* Form1;
extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;
extern TForm5* Form5;
extern TForm6* Form6;

// Creates the six windows in order (none is shown).
void create_forms();
// Destroys them in the reverse order.
void destroy_forms();
