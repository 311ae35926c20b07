#include "app/application_qt.h"

#include "common/message_seam.h"

#include <exception>

OrbelleApplication::OrbelleApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(APP_TITLE);
    setApplicationVersion(OB_VERSION);
}

bool OrbelleApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        report_uncaught_error(error.what());
    } catch (...) {
        // Something thrown that is no error object: reported with an empty text.
        report_uncaught_error("");
    }
    return false;
}

void report_uncaught_error(const char* text) { show_error(text, APP_TITLE); }
