#include "transfer/host_path.h"

#include "obfs/card_name.h"
#include "platform/host_folder.h"

#include <algorithm>

namespace {

std::string with_forward_slashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace

std::string file_name_of(const std::string& path) {
    const std::string p = with_forward_slashes(path);
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string file_extension_of(const std::string& path) {
    std::string p = with_forward_slashes(path);
    // Plain ASCII lowering only: bytes of multi-byte characters must stay untouched.
    for (char& c : p)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    const size_t dot = p.rfind('.');
    if (dot == std::string::npos) return "";
    const size_t slash = p.rfind('/');
    if (slash != std::string::npos && dot < slash) return "";  // a dot in a folder name only
    return p.substr(dot + 1);
}

std::string program_dir() {
    const std::string exe = host::program_path();
    if (exe.empty()) return "";
    const size_t slash = exe.find_last_of(host::path_separators());
    return slash == std::string::npos ? exe : exe.substr(0, slash + 1);
}

bool card_name_fits_host(const std::string& card_name) {
    // The card-name rule keeps separators, "." and ".." and control bytes out, so a
    // name that a copy onto the card would accept is exactly one that fits here.
    return card_name_problem(card_name) == nullptr;
}
