#include "device/linux_block_tree.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace drive_layer {

namespace {

// The kernel writes space, tab, newline and backslash in these tables as octal escapes.
std::string unescape_octal(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::all_of(text.begin() + long(i) + 1, text.begin() + long(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out.push_back(char((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

std::string base_name(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string trimmed(const std::string& raw) {
    const size_t first = raw.find_first_not_of(" \t\n");
    if (first == std::string::npos) return {};
    return raw.substr(first, raw.find_last_not_of(" \t\n") - first + 1);
}

std::vector<std::string> directory_names(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<MountEntry> parse_mountinfo(const std::string& text) {
    // ID PARENT MAJ:MIN ROOT MOUNT_POINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPER_OPTIONS
    std::vector<MountEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> w = words(line);
        const auto dash = std::find(w.begin(), w.end(), "-");
        if (w.size() < 6 || dash == w.end() || dash - w.begin() < 6 || w.end() - dash < 3) continue;
        MountEntry e;
        const size_t colon = w[2].find(':');
        if (colon == std::string::npos) continue;
        e.major = unsigned(std::strtoul(w[2].substr(0, colon).c_str(), nullptr, 10));
        e.minor = unsigned(std::strtoul(w[2].substr(colon + 1).c_str(), nullptr, 10));
        e.mount_point = unescape_octal(w[4]);
        e.fs_type = dash[1];
        e.source = unescape_octal(dash[2]);
        e.super_options = dash + 3 < w.end() ? dash[3] : std::string();
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<std::string> parse_swaps(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {  // "Filename Type Size Used Priority"
            header = false;
            continue;
        }
        const std::vector<std::string> w = words(line);
        if (!w.empty()) out.push_back(unescape_octal(w[0]));
    }
    return out;
}

std::string mount_option(const std::string& options, const std::string& key) {
    size_t start = 0;
    while (start <= options.size()) {
        size_t end = options.find(',', start);
        if (end == std::string::npos) end = options.size();
        const std::string item = options.substr(start, end - start);
        if (item.compare(0, key.size() + 1, key + "=") == 0) return item.substr(key.size() + 1);
        start = end + 1;
    }
    return {};
}

BlockTree::BlockTree(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
    if (root_ == "/") root_.clear();
}

std::string BlockTree::under_root(const std::string& path) const { return root_ + path; }

std::string BlockTree::read_text(const std::string& path) const {
    std::ifstream in(under_root(path), std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> BlockTree::disk_names() const { return directory_names(under_root("/sys/block")); }

std::string BlockTree::attribute(const std::string& name, const std::string& relative) const {
    return trimmed(read_text("/sys/class/block/" + name + "/" + relative));
}

bool BlockTree::exists(const std::string& name) const {
    struct stat st {};
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
           ::stat(under_root("/sys/class/block/" + name).c_str(), &st) == 0;
}

std::string BlockTree::device_path(const std::string& name) const {
    if (!exists(name)) return {};
    char resolved[PATH_MAX];
    if (!::realpath(under_root("/sys/class/block/" + name).c_str(), resolved)) return {};
    const std::string path = resolved;
    return path.compare(0, root_.size(), root_) == 0 ? path.substr(root_.size()) : path;
}

std::string BlockTree::parent_disk(const std::string& name) const {
    struct stat st {};
    if (!exists(name) || ::stat(under_root("/sys/class/block/" + name + "/partition").c_str(), &st) != 0) return {};
    const std::string path = device_path(name);
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : base_name(path.substr(0, slash));
}

std::vector<std::string> BlockTree::partitions(const std::string& disk) const {
    std::vector<std::string> out;
    if (!exists(disk)) return out;
    for (const std::string& entry : directory_names(under_root("/sys/class/block/" + disk + "/"))) {
        struct stat st {};
        if (::stat(under_root("/sys/class/block/" + disk + "/" + entry + "/partition").c_str(), &st) == 0)
            out.push_back(entry);
    }
    return out;
}

std::vector<std::string> BlockTree::holders(const std::string& name) const {
    return exists(name) ? directory_names(under_root("/sys/class/block/" + name + "/holders")) : std::vector<std::string>{};
}

std::vector<std::string> BlockTree::slaves(const std::string& name) const {
    return exists(name) ? directory_names(under_root("/sys/class/block/" + name + "/slaves")) : std::vector<std::string>{};
}

std::string BlockTree::name_of_numbers(unsigned major, unsigned minor) const {
    char resolved[PATH_MAX];
    const std::string link = under_root("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
    if (!::realpath(link.c_str(), resolved)) return {};
    return base_name(resolved);
}

std::string BlockTree::resolve_device(const std::string& path) const {
    if (path.compare(0, 5, "/dev/") != 0) return {};
    char resolved[PATH_MAX];
    if (::realpath(under_root(path).c_str(), resolved)) {
        struct stat st {};
        // A real node: its numbers say which device it is, whatever it is called.
        if (::stat(resolved, &st) == 0 && S_ISBLK(st.st_mode)) {
            const std::string named = name_of_numbers(major(st.st_rdev), minor(st.st_rdev));
            if (!named.empty()) return named;
        }
        const std::string name = base_name(resolved);
        if (exists(name)) return name;
    }
    // No node (a tree without dev/): device-mapper names, then plain kernel names.
    if (path.compare(0, 12, "/dev/mapper/") == 0) {
        const std::string wanted = path.substr(12);
        for (const std::string& name : disk_names())
            if (name.compare(0, 3, "dm-") == 0 && attribute(name, "dm/name") == wanted) return name;
        return {};
    }
    const std::string name = base_name(path);
    return exists(name) ? name : std::string();
}

std::string BlockTree::loop_backing_file(const std::string& name) const {
    return name.compare(0, 4, "loop") == 0 ? attribute(name, "loop/backing_file") : std::string();
}

std::vector<MountEntry> BlockTree::mounts() const { return parse_mountinfo(read_text("/proc/self/mountinfo")); }

std::vector<std::string> BlockTree::swaps() const { return parse_swaps(read_text("/proc/swaps")); }

}  // namespace drive_layer
