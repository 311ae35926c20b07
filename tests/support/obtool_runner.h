// Runs the built obtool as a user would, without a terminal on standard input, and
// collects its output and exit status.
#pragma once

#include <string>
#include <vector>

namespace testcards {

struct ToolResult {
    int status = -1;
    std::string out, err;
};

// `tool` is the path of the obtool program; `args` are passed one by one, unquoted.
ToolResult run_tool(const std::string& tool, const std::vector<std::string>& args);

}  // namespace testcards
