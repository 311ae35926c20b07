// obtool's command registry. Each group of commands lives in its own file and
// registers itself with a static OBTOOL_COMMAND; obtool.cpp parses the global options
// (--drive N=PATH, -d N, --image PATH, -y/--yes), attaches the drives and dispatches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ObtoolContext {
    int drive = -1;               // selected drive (-d N or --image), -1 when none
    bool yes = false;             // -y/--yes: answer Yes to every question
    bool interactive = false;     // standard input is a terminal
    std::vector<std::string> args;  // the command's own arguments
};

using ObtoolHandler = int (*)(ObtoolContext& ctx);

struct ObtoolCommand {
    const char* name;
    const char* usage;     // e.g. "put HOSTFILE..."
    const char* summary;
    ObtoolHandler handler;
};

// Registers a command; used by OBTOOL_COMMAND at static-initialisation time.
bool register_obtool_command(const ObtoolCommand& command);
const std::vector<ObtoolCommand>& obtool_commands();

// Prints "obtool: <text>" on stderr and returns 1 (the non-zero exit status).
int obtool_fail(const std::string& text);
// The drive the command works on: the selected one, or an error when none was chosen.
bool obtool_require_drive(const ObtoolContext& ctx, uint8_t* drive);

#define OBTOOL_CONCAT2(a, b) a##b
#define OBTOOL_CONCAT(a, b) OBTOOL_CONCAT2(a, b)
#define OBTOOL_COMMAND(name, usage, summary, handler)                                 \
    static const bool OBTOOL_CONCAT(obtool_registered_, __LINE__) =                  \
        register_obtool_command(ObtoolCommand{name, usage, summary, handler})
