// orbelle-manager: the program's entry. Attaches the drives named on the command line,
// creates the six windows, shows the main window and runs the event loop.
#include "app/application_qt.h"
#include "app/card_list_qt.h"
#include "app/forms_qt.h"
#include "app/image_list_qt.h"
#include "app/mainDlg.h"
#include "app/message_box_qt.h"
#include "app/shell_list_qt.h"
#include "views/start_options.h"
#include "app/translations_qt.h"
#include "device/drive_change_notifier.h"
#include "device/drive_layer.h"
#include "device/drive_refusal.h"
#include "platform/host_folder.h"

#include <QFileSystemModel>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

namespace {

const char* environment(const char* name) { return std::getenv(name); }

int fail(const std::string& text, int status) {
    std::fprintf(stderr, "orbelle-manager: %s\n", text.c_str());
    return status;
}

// Renders the main window into a PNG once the host folder has been read, then ends the
// loop: exit status 0 when the file was written.
void schedule_screenshot(const QString& path) {
    auto done = std::make_shared<bool>(false);
    auto take = [path, done] {
        if (*done) return;
        *done = true;
        Form1->Timer1->stop();
        const bool saved = Form1->grab().save(path, "PNG");
        if (saved) std::printf("main window written to %s\n", qPrintable(path));
        else std::fprintf(stderr, "orbelle-manager: cannot write %s\n", qPrintable(path));
        QCoreApplication::exit(saved ? 0 : 1);
    };
    QObject::connect(Form1->RzShellList1->model(), &QFileSystemModel::directoryLoaded, Form1,
                     [take] { QTimer::singleShot(200, take); });
    QTimer::singleShot(5000, Form1, take);   // a folder that never reports in
}

}  // namespace

int main(int argc, char** argv) {
    StartOptions options;
    std::string error;
    if (!parse_start_options(argc, argv, &options, &error)) return fail(error, 2);
    if (options.help) {
        std::fputs(START_USAGE, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("orbelle-manager %s\n", OB_VERSION);
        return 0;
    }
    if (!display_available(argc, argv, environment))
        return fail("no display to show the window on (DISPLAY is not set)", 1);

    if (!options.folder.empty() && !host::is_folder(options.folder))
        return fail("--folder " + options.folder + ": not a folder", 2);

    OrbelleApplication app(argc, argv);
    UiLanguage language = language_from_locale(environment);
    if (!options.lang.empty()) parse_ui_language(options.lang, &language);
    install_translations(language);
    app.setWindowIcon(image_list::icon(image_list::CONSOLE));
    MessageBoxSink message_boxes;
    set_message_sink(&message_boxes);
    // Mounted file systems on a card are unmounted only when the user says Yes.
    drive_layer::set_unmount_policy(drive_layer::UnmountPolicy::Ask);

    // A drive that cannot be attached is told in a box too: a program started from a
    // desktop menu has nobody reading its standard error.
    drive_layer::DriveTable& drives = drive_layer::drive_table();
    drives.load_system_drives();
    for (const auto& [n, path] : options.drives) {
        if (!drives.attach_path(n, path, &error)) {
            const std::string text = "--drive " + std::to_string(n) + "=" + path + ": " + error;
            show_error(text);
            set_message_sink(nullptr);
            return fail(text, 2);
        }
    }

    int status = 0;
    try {
        create_forms();
        // Cards that come and go are heard of as they do, where the host can tell.
        Form1->listenForDriveChanges(make_drive_change_notifier());
        if (!options.folder.empty()) Form1->RzShellList1->setFolder(QString::fromStdString(options.folder));
        if (!options.screenshot.empty()) schedule_screenshot(QString::fromStdString(options.screenshot));
        Form1->show();
        status = app.exec();
    } catch (const std::exception& e) {
        report_uncaught_error(e.what());
        status = 1;
    } catch (...) {
        report_uncaught_error("");
        status = 1;
    }
    destroy_forms();
    set_message_sink(nullptr);
    return status;
}
