#include "views/start_options.h"

#include "common/ui_text.h"
#include "device/drive_layer.h"

#include <cstring>

namespace {

// "--name=value" or "--name value"; advances i past a separate value.
bool option_value(int argc, const char* const* argv, int& i, const char* name,
                  std::string* value, std::string* error) {
    const std::string arg = argv[i];
    const std::string prefix = std::string(name) + "=";
    if (arg.rfind(prefix, 0) == 0) {
        *value = arg.substr(prefix.size());
        return true;
    }
    if (i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        return false;
    }
    *value = argv[++i];
    return true;
}

bool named(const std::string& arg, const char* name) {
    return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
}

}  // namespace

bool parse_start_options(int argc, const char* const* argv, StartOptions* options,
                         std::string* error) {
    *options = StartOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--version") {
            options->version = true;
        } else if (named(arg, "--lang")) {
            if (!option_value(argc, argv, i, "--lang", &options->lang, error)) return false;
            UiLanguage language;
            if (!parse_ui_language(options->lang, &language)) {
                *error = "--lang must be zh or en, got '" + options->lang + "'";
                return false;
            }
        } else if (named(arg, "--drive")) {
            std::string text, path, why;
            unsigned n = 0;
            if (!option_value(argc, argv, i, "--drive", &text, error)) return false;
            if (!drive_layer::parse_drive_option(text, &n, &path, &why)) {
                *error = "--drive " + text + ": " + why;
                return false;
            }
            options->drives.emplace_back(n, path);
        } else if (named(arg, "--folder") || named(arg, "--screenshot")) {
            const bool folder = named(arg, "--folder");
            const char* name = folder ? "--folder" : "--screenshot";
            std::string& value = folder ? options->folder : options->screenshot;
            if (!option_value(argc, argv, i, name, &value, error)) return false;
            if (value.empty()) {
                *error = std::string(name) + " needs a value";
                return false;
            }
        } else if (arg.rfind("--", 0) == 0) {
            *error = "unknown option " + arg;
            return false;
        }
        // Anything else belongs to Qt (-platform offscreen, -style fusion, ...).
    }
    return true;
}

bool display_available(int argc, const char* const* argv, const char* (*env)(const char*)) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = env(name);
        if (value && *value) return true;
    }
    return false;
}
