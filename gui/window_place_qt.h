// Shared window set-up of the program's dialogs and the main window.
#pragma once

#include <QString>

class QDialog;
class QWidget;

// A dialog with a tool-window border, the given caption and a fixed client area.
void setup_tool_dialog(QDialog* dialog, const QString& caption, int width, int height);

// Places the window in the middle of its screen's available area.
void centre_on_screen(QWidget* window);
