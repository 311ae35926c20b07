// The command registry: filled at static-initialisation time by OBTOOL_COMMAND lines
// in the command files, read by main().
#include "cli/obtool_commands.h"

#include "device/drive_layer.h"

#include <cstdio>
#include <cstring>

namespace {

// A function-local list, so registration works whatever order the command files'
// static initialisers run in.
std::vector<ObtoolCommand>& registry() {
    static std::vector<ObtoolCommand> commands;
    return commands;
}

}  // namespace

bool register_obtool_command(const ObtoolCommand& command) {
    for (const ObtoolCommand& known : registry())
        if (std::strcmp(known.name, command.name) == 0) return false;
    registry().push_back(command);
    return true;
}

const std::vector<ObtoolCommand>& obtool_commands() { return registry(); }

int obtool_fail(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "obtool: %s\n", text.c_str());
    return 1;
}

bool obtool_require_drive(const ObtoolContext& ctx, uint8_t* drive) {
    if (ctx.drive < 0) {
        obtool_fail("no drive selected (use -d N or --image PATH)");
        return false;
    }
    if (!drive_layer::drive_table().source(unsigned(ctx.drive))) {
        obtool_fail("drive " + std::to_string(ctx.drive) + " does not exist");
        return false;
    }
    *drive = uint8_t(ctx.drive);
    return true;
}
