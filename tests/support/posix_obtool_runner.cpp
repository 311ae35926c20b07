#include "support/obtool_runner.h"

#include "support/test_cards.h"

#include <sys/wait.h>

#include <cstdlib>

namespace testcards {

namespace {

std::string shell_quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

ToolResult run_tool(const std::string& tool, const std::vector<std::string>& args) {
    TempDir scratch;
    std::string command = shell_quoted(tool);
    for (const std::string& a : args) command += " " + shell_quoted(a);
    command += " </dev/null >" + shell_quoted(scratch.file("out")) + " 2>" + shell_quoted(scratch.file("err"));
    ToolResult r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_host_text(scratch.file("out"));
    r.err = read_host_text(scratch.file("err"));
    return r;
}

}  // namespace testcards
