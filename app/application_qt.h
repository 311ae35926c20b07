// The application object. An error raised while an event is handled does not end the
// program: its text is shown in a box under the program's title and the event loop
// goes on.
#pragma once

#include <QApplication>

class OrbelleApplication : public QApplication {
public:
    OrbelleApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an error that reached the event loop (or escaped start-up).
void report_uncaught_error(const char* text);
