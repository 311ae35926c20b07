#include "platform/host_folder.h"

#include "platform/host_file.h"

#include <dirent.h>
#include <unistd.h>

#include <climits>

namespace host {

bool list_folder(const std::string& folder, std::vector<std::string>* names) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir)) names->emplace_back(entry->d_name);
    ::closedir(dir);
    return true;
}

bool is_folder(const std::string& path) { return kind_of(path) == Kind::Directory; }

bool is_regular_file(const std::string& path) { return kind_of(path) == Kind::Regular; }

const char* path_separators() { return "/"; }

std::string program_path() {
    char buffer[PATH_MAX + 1] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n <= 0 ? std::string() : std::string(buffer, size_t(n));
}

}  // namespace host
