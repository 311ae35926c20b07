// The manager's command line: drive attachments for card images and devices, and a
// mode that renders the main window into a picture file instead of running.
//
//   orbelle-manager [--drive N=PATH]... [--folder DIR] [--lang zh|en] [--screenshot FILE.png]
//                   [Qt options]
//
// Options with one dash (-platform, -style, ...) are left to Qt.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct StartOptions {
    std::vector<std::pair<unsigned, std::string>> drives;   // --drive N=PATH, in order
    std::string folder;                                     // --folder DIR (host pane)
    std::string screenshot;                                 // --screenshot FILE
    std::string lang;                                       // --lang zh|en (empty: the locale's)
    bool help = false;
    bool version = false;
};

constexpr const char* START_USAGE =
    "usage: orbelle-manager [--drive N=PATH]... [--folder DIR] [--lang zh|en] [--screenshot FILE.png]\n"
    "  --drive N=PATH       attach an image file or block device as drive N (1..15)\n"
    "  --folder DIR         the host folder to show first (default: the home folder)\n"
    "  --lang zh|en         the window's language (default: Chinese unless the locale\n"
    "                       names another language, then English)\n"
    "  --screenshot FILE    render the main window into a PNG file and exit\n"
    "  --version            print the version and exit\n";

// false with a one-line reason for a malformed or unknown option.
bool parse_start_options(int argc, const char* const* argv, StartOptions* options,
                         std::string* error);

// Whether a window system is there to show windows on: a platform chosen for Qt, an X
// display or a Wayland display. `env` looks up an environment variable (nullptr when
// unset); `argv` may name a platform with -platform.
bool display_available(int argc, const char* const* argv, const char* (*env)(const char*));
