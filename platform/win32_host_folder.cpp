#include "platform/host_folder.h"

#include "platform/host_file.h"
#include "platform/win32_text.h"

#include <windows.h>

namespace host {

bool list_folder(const std::string& folder, std::vector<std::string>* names) {
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW(win32::widen(pattern + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        // An empty root folder lists nothing at all; anything else is a failure.
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    do {
        names->push_back(win32::narrow(entry.cFileName));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return true;
}

bool is_folder(const std::string& path) { return kind_of(path) == Kind::Directory; }

bool is_regular_file(const std::string& path) { return kind_of(path) == Kind::Regular; }

const char* path_separators() { return "\\/"; }

std::string program_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return win32::narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace host
