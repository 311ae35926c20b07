// obtool: the command-line face of Orbelle Manager.
//
//   obtool [--drive N=PATH]... [-d N | --image PATH] [-y] [--unmount] [--lang zh|en] COMMAND [ARGS]
//
// Global options may stand before or after the command; "--" ends them, and anything
// else that follows the command belongs to the command. A "--" after the command is
// passed on to it as well, so "obtool get -- -dash.nds" reaches the card file.
#include "common/message_seam.h"
#include "common/ui_text.h"
#include "cli/obtool_commands.h"
#include "device/drive_layer.h"
#include "device/drive_messages.h"
#include "device/drive_refusal.h"
#include "platform/host_console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

struct GlobalOptions {
    std::map<unsigned, std::string> drives;   // --drive N=PATH (and --image as drive 1)
    int selected = -1;                        // -d N
    std::string image;                        // --image PATH
    bool yes = false;
    bool unmount = false;                     // --unmount: unmount the card's file systems before writing
    bool help = false;
    bool version = false;
    std::string lang;                         // --lang zh|en (empty: the locale's)
    std::string command;
    std::vector<std::string> args;
};

void print_usage(FILE* out) {
    std::fprintf(out,
                 "usage: obtool [--drive N=PATH]... [-d N | --image PATH] [-y] [--unmount] [--lang zh|en]\n"
                 "              COMMAND [ARGS]\n"
                 "\n"
                 "Global options:\n"
                 "  --drive N=PATH  attach an image file or block device as drive N (1-15); repeatable.\n"
                 "                  With one --drive and no -d, obtool works on that drive\n"
                 "  -d N            work on drive N (0-15)\n"
                 "  --image PATH    attach PATH as drive 1 and work on it\n"
                 "  -y, --yes       answer Yes to every question\n"
                 "  --unmount       unmount file systems mounted from the card before writing to it\n"
                 "  --lang zh|en    language of the card messages (default: Chinese unless the\n"
                 "                  locale names another language, then English)\n"
                 "  -h, --help      show this help (after a command: that command's help)\n"
                 "  --version       show the version\n"
                 "\n"
                 "Commands:\n");
    std::vector<ObtoolCommand> commands = obtool_commands();
    std::sort(commands.begin(), commands.end(),
              [](const ObtoolCommand& a, const ObtoolCommand& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const ObtoolCommand& c : commands) std::fprintf(out, "  %-30s %s\n", c.usage, c.summary);
}

void print_command_usage(const ObtoolCommand& command) {
    std::printf("usage: obtool [GLOBAL OPTIONS] %s\n\n%s\n\nGlobal options: see 'obtool --help'.\n",
                command.usage, command.summary);
}

// The value of an option given as "--opt VALUE" or "--opt=VALUE" (or "-dN").
bool take_value(int argc, char** argv, int* i, const std::string& arg, const std::string& name,
                std::string* value, bool* matched, std::string* error) {
    *matched = false;
    if (arg == name) {
        *matched = true;
        if (*i + 1 >= argc) {
            *error = name + " needs a value";
            return false;
        }
        *value = argv[++*i];
        return true;
    }
    const std::string joined = name.size() == 2 ? name : name + "=";  // "-dN" or "--opt=VALUE"
    if (arg.size() > joined.size() && arg.compare(0, joined.size(), joined) == 0) {
        *matched = true;
        *value = arg.substr(joined.size());
    }
    return true;
}

bool parse_drive_number(const std::string& text, int* drive) {
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const int n = std::stoi(text);
    if (n >= int(drive_layer::DRIVE_COUNT)) return false;
    *drive = n;
    return true;
}

bool parse_arguments(int argc, char** argv, GlobalOptions* o, std::string* error) {
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_ended) {
            (o->command.empty() ? o->command : o->args.emplace_back()) = arg;
            continue;
        }
        if (arg == "--") {
            // Before the command it ends the global options; after it, it belongs to
            // the command too ("get -- -dash.nds"), which reads its own "--".
            options_ended = true;
            if (!o->command.empty()) o->args.push_back(arg);
            continue;
        }
        if (arg == "-y" || arg == "--yes") {
            o->yes = true;
            continue;
        }
        if (arg == "--unmount") {
            o->unmount = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            o->help = true;
            continue;
        }
        if (arg == "--version") {
            o->version = true;
            continue;
        }
        std::string value;
        bool matched = false;
        if (!take_value(argc, argv, &i, arg, "--drive", &value, &matched, error)) return false;
        if (matched) {
            unsigned n = 0;
            std::string path, why;
            if (!drive_layer::parse_drive_option(value, &n, &path, &why)) {
                *error = "--drive: " + why;
                return false;
            }
            if (!o->drives.emplace(n, path).second) {
                *error = "drive " + std::to_string(n) + " is given twice";
                return false;
            }
            continue;
        }
        if (!take_value(argc, argv, &i, arg, "-d", &value, &matched, error)) return false;
        if (matched) {
            if (!parse_drive_number(value, &o->selected)) {
                *error = "-d: drive number must be 0 to 15, got '" + value + "'";
                return false;
            }
            continue;
        }
        if (!take_value(argc, argv, &i, arg, "--lang", &value, &matched, error)) return false;
        if (matched) {
            UiLanguage language;
            if (!parse_ui_language(value, &language)) {
                *error = "--lang must be zh or en, got '" + value + "'";
                return false;
            }
            o->lang = value;
            continue;
        }
        if (!take_value(argc, argv, &i, arg, "--image", &value, &matched, error)) return false;
        if (matched) {
            if (value.empty()) {
                *error = "--image needs a path";
                return false;
            }
            o->image = value;
            continue;
        }
        if (o->command.empty()) {
            if (arg.size() > 1 && arg[0] == '-') {
                *error = "unknown option '" + arg + "' (try 'obtool --help')";
                return false;
            }
            o->command = arg;
        } else {
            o->args.push_back(arg);  // the command's own arguments and options
        }
    }
    if (!o->image.empty()) {
        if (o->selected >= 0 && o->selected != 1) {
            *error = "--image works on drive 1; it cannot be combined with -d " + std::to_string(o->selected);
            return false;
        }
        if (!o->drives.emplace(1u, o->image).second) {
            *error = "drive 1 is given twice (--image and --drive 1=...)";
            return false;
        }
        o->selected = 1;
    }
    // One attached drive and none chosen: that is the drive to work on.
    if (o->selected < 0 && o->drives.size() == 1) o->selected = int(o->drives.begin()->first);
    return true;
}

// Messages of the card operations on the terminal: information on standard output,
// errors on standard error, questions answered by -y, by the user at a terminal, or
// with No when nobody can answer.
class TerminalSink : public MessageSink {
public:
    TerminalSink(bool yes, bool interactive) : yes_(yes), interactive_(interactive) {}

    MsgResult show(const Message& m) override {
        if (m.buttons != MsgButtons::YesNo) {
            FILE* out = m.icon == MsgIcon::Error || m.icon == MsgIcon::Warning ? stderr : stdout;
            std::fflush(stdout);
            std::fprintf(out, "%s\n", m.text.c_str());
            return MsgResult::Ok;
        }
        if (yes_) {
            std::printf("%s [y/N] y\n", m.text.c_str());
            return MsgResult::Yes;
        }
        if (!interactive_) {
            std::printf("%s [y/N] n (no terminal; use -y to answer yes)\n", m.text.c_str());
            return MsgResult::No;
        }
        std::printf("%s [y/N] ", m.text.c_str());
        std::fflush(stdout);
        std::string line;
        if (!std::getline(std::cin, line)) return MsgResult::No;
        return !line.empty() && (line[0] == 'y' || line[0] == 'Y') ? MsgResult::Yes : MsgResult::No;
    }

private:
    bool yes_;
    bool interactive_;
};

}  // namespace

int main(int argc, char** argv) {
    // Paths and card names travel as UTF-8 whatever the host hands a program.
    std::vector<std::string> arguments = host::utf8_arguments(argc, argv);
    std::vector<char*> utf8_argv;
    for (std::string& a : arguments) utf8_argv.push_back(a.data());
    utf8_argv.push_back(nullptr);
    GlobalOptions options;
    std::string error;
    if (!parse_arguments(int(arguments.size()), utf8_argv.data(), &options, &error)) return obtool_fail(error);
    if (options.version) {
        std::printf("obtool %s\n", OB_VERSION);
        return 0;
    }
    const ObtoolCommand* command = nullptr;
    for (const ObtoolCommand& c : obtool_commands())
        if (options.command == c.name) command = &c;
    if (options.help) {
        if (command) print_command_usage(*command);
        else print_usage(stdout);
        return 0;
    }
    if (options.command.empty()) return obtool_fail("no command given (try 'obtool --help')");
    if (!command) return obtool_fail("unknown command '" + options.command + "' (try 'obtool --help')");

    // The card messages speak the user's language, by the window's rule.
    UiLanguage language = language_from_locale([](const char* name) -> const char* { return std::getenv(name); });
    if (!options.lang.empty()) parse_ui_language(options.lang, &language);
    set_ui_language(language);

    // The host's own disks first, then what the user attached over them.
    drive_layer::DriveTable& table = drive_layer::drive_table();
    table.load_system_drives();
    for (const auto& [n, path] : options.drives) {
        if (!table.attach_path(n, path, &error)) return obtool_fail("drive " + std::to_string(n) + ": " + error);
    }

    ObtoolContext ctx;
    ctx.drive = options.selected;
    ctx.yes = options.yes;
    ctx.interactive = host::stdin_is_terminal();
    ctx.args = options.args;
    // A write to a disk with mounted file systems is refused unless --unmount was
    // given; -y alone never unmounts anything.
    drive_layer::set_unmount_policy(options.unmount ? drive_layer::UnmountPolicy::Unmount
                                                    : drive_layer::UnmountPolicy::Refuse,
                                    ui_text("device", drive_msg::CLI_UNMOUNT_HINT));
    TerminalSink sink(ctx.yes, ctx.interactive);
    set_message_sink(&sink);
    const int status = command->handler(ctx);
    set_message_sink(nullptr);
    std::fflush(stdout);
    return status;
}
