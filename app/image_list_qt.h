// ImageList1: the program's ten small pictures, drawn in code.
//
// The card list, the Tools menu and the tool bars pick them by number. Each is drawn
// on a 17 x 17 grid and can be rendered larger (the About box) by scaling the grid.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace image_list {

constexpr int COUNT = 10;
constexpr int SIZE = 17;

// The numbers the program uses.
constexpr int CONSOLE = 0;      // a two-screen handheld console: "nds" files, menu program
constexpr int DISKETTE = 1;     // a diskette: "sav" files, format / speed / save list
constexpr int COPY_TO_CARD = 2; // arrow to the right
constexpr int COPY_TO_HOST = 3; // arrow to the left
constexpr int REFRESH = 4;      // circling arrow
constexpr int PARENT_DIR = 5;   // folder with an upward arrow
constexpr int SHEET = 6;        // a sheet of paper: every other file
constexpr int NOTE_PAD = 7;     // a lined note pad: free-space rows
constexpr int DELETE = 8;       // a red cross
constexpr int VIEW_LIST = 9;    // list lines: the view menu

// Picture `n` (0..COUNT-1) as a transparent pixmap of size x size pixels.
QPixmap picture(int n, int size = SIZE);
// The same as an icon (cached; valid after a QGuiApplication exists).
const QIcon& icon(int n);

}  // namespace image_list
