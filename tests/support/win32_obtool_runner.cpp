// Runs obtool.exe as a user would from a console without input, catching its output
// in files (pipes would need a reader thread per stream).
#include "support/obtool_runner.h"

#include "platform/win32_text.h"
#include "support/test_cards.h"

#include <windows.h>

namespace testcards {

namespace {

// One argument quoted the way the C runtime takes the command line apart.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring q = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(backslashes * 2, L'\\');
    return q + L"\"";
}

HANDLE inheritable_file(const std::string& path, bool writing) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(host::win32::widen(path).c_str(), writing ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, writing ? CREATE_ALWAYS : OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string without_carriage_returns(std::string text) {
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) text[kept++] = text[i];
    text.resize(kept);
    return text;
}

}  // namespace

ToolResult run_tool(const std::string& tool, const std::vector<std::string>& args) {
    TempDir scratch;
    std::wstring command = quoted(host::win32::widen(tool));
    for (const std::string& a : args) command += L" " + quoted(host::win32::widen(a));
    write_host_file(scratch.file("in"), {});
    HANDLE in = inheritable_file(scratch.file("in"), false);
    HANDLE out = inheritable_file(scratch.file("out"), true);
    HANDLE err = inheritable_file(scratch.file("err"), true);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    ToolResult r;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code)) r.status = int(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    // Read as text: Windows programs end their lines with CR LF.
    r.out = without_carriage_returns(read_host_text(scratch.file("out")));
    r.err = without_carriage_returns(read_host_text(scratch.file("err")));
    return r;
}

}  // namespace testcards
