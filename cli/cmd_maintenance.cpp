// obtool's card preparation commands: the model table, formatting, the menu program,
// the default speed, the save list and MoonShell. They call the same core routines as
// the window's Tools menu, so their message boxes come out through the message seam.
#include "cli/obtool_commands.h"
#include "cli/obtool_json.h"
#include "maintenance/card_models.h"
#include "maintenance/maintenance_commands.h"

#include <charconv>
#include <cstdio>
#include <string>

namespace {

constexpr int MIN_SPEED = 3;
constexpr int MAX_SPEED = 30;

bool parse_int(const std::string& text, int* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return !text.empty() && ec == std::errc() && ptr == end;
}

int cmd_models(ObtoolContext& ctx) {
    const bool json = take_json_option(ctx.args);
    if (!ctx.args.empty()) return obtool_fail("models takes no arguments");
    if (json) {
        Json models = Json::array();
        for (size_t row = 0; row < card_model_table.size(); ++row) {
            Json starts = Json::array();
            for (uint32_t start : card_model_table[row].partition_start)
                if (start != NO_PARTITION) starts.push_back(start);
            models.push_back({{"row", row}, {"name", card_model_caption(row)},
                              {"speed", card_model_table[row].speed}, {"partition_start", starts}});
        }
        print_json({{"models", models}});
        return 0;
    }
    std::printf("%-4s %5s  %s\n", "ROW", "SPEED", "MODEL");
    for (size_t row = 0; row < card_model_table.size(); ++row)
        std::printf("%-4zu %5d  %s\n", row, card_model_table[row].speed,
                    card_model_caption(row).c_str());
    return 0;
}

// The warning goes through the message seam like in the window: obtool's sink answers
// it with -y, at a terminal, or with No when nobody can answer.
int cmd_format(ObtoolContext& ctx) {
    int row = -1;
    if (ctx.args.size() != 2 || ctx.args[0] != "--model")
        return obtool_fail("usage: format --model ROW (see obtool models)");
    if (!parse_int(ctx.args[1], &row) || !is_card_model_row(row))
        return obtool_fail("--model wants a row from 0 to " + std::to_string(card_model_table.size() - 1) +
                           " (see obtool models)");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    if (!confirm_format()) return obtool_fail("not formatted");
    return format_with_model(drive, row) ? 0 : 1;
}

// The commands without arguments of their own: run the routine on the selected drive;
// the exit status follows its result.
template <bool (*routine)(uint8_t)>
int on_selected_drive(ObtoolContext& ctx) {
    if (!ctx.args.empty()) return obtool_fail("this command takes no arguments");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    return routine(drive) ? 0 : 1;
}

bool moonshell_installed(uint8_t drive) { return install_moonshell(drive) == MoonShellResult::Installed; }

int cmd_set_speed(ObtoolContext& ctx) {
    int speed = 0;
    if (ctx.args.size() != 1 || !parse_int(ctx.args[0], &speed) || speed < MIN_SPEED || speed > MAX_SPEED)
        return obtool_fail("set-speed wants one speed from 3 to 30");
    uint8_t drive = 0;
    if (!obtool_require_drive(ctx, &drive)) return 1;
    return write_default_speed(drive, uint8_t(speed)) ? 0 : 1;
}

}  // namespace

OBTOOL_COMMAND("models", "models [--json]", "list the card models the formatter knows, with their speeds",
               cmd_models);
OBTOOL_COMMAND("format", "format --model ROW",
               "format the card for a card model (erases everything on it)", cmd_format);
OBTOOL_COMMAND("install-menu", "install-menu",
               "install obmenu2.nds from beside obtool into the card's menu program area",
               on_selected_drive<update_menu_program>);
OBTOOL_COMMAND("set-speed", "set-speed N", "set the card's default speed (3..30)", cmd_set_speed);
OBTOOL_COMMAND("update-savelist", "update-savelist", "copy savelist.bin from beside obtool onto the card",
               on_selected_drive<update_save_list>);
OBTOOL_COMMAND("install-moonshell", "install-moonshell",
               "copy the files of the msob folder beside obtool onto the card",
               on_selected_drive<moonshell_installed>);
