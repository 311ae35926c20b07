#include "support/fake_host_tree.h"

#include "device/linux_block_source.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace testcards {

void FakeHost::disk(const std::string& name, const std::string& bus_path, const std::string& numbers,
                    const std::string& removable) {
    const std::string dev = "sys/devices/" + bus_path + "/block/" + name;
    put(dev + "/dev", numbers);
    put(dev + "/removable", removable);
    put(dev + "/size", "2097152");
    link("sys/class/block/" + name, dev);
    link("sys/block/" + name, dev);
    link("sys/dev/block/" + numbers, dev);
    paths_[name] = dev;
}

void FakeHost::partition(const std::string& disk, const std::string& name, const std::string& numbers) {
    const std::string dev = paths_.at(disk) + "/" + name;
    put(dev + "/dev", numbers);
    put(dev + "/partition", "1");
    link("sys/class/block/" + name, dev);
    link("sys/dev/block/" + numbers, dev);
    paths_[name] = dev;
}

void FakeHost::virtual_device(const std::string& name, const std::vector<std::string>& below, const std::string& numbers,
                        const std::string& dm_name) {
    const std::string dev = "sys/devices/virtual/block/" + name;
    put(dev + "/dev", numbers);
    if (!dm_name.empty()) {
        put(dev + "/dm/name", dm_name);
        link("dev/mapper/" + dm_name, "dev/" + name);
    }
    link("sys/class/block/" + name, dev);
    link("sys/block/" + name, dev);
    link("sys/dev/block/" + numbers, dev);
    paths_[name] = dev;
    for (const std::string& b : below) {
        put(dev + "/slaves/" + b, "");
        put(paths_.at(b) + "/holders/" + name, "");
    }
}

void FakeHost::attribute(const std::string& name, const std::string& relative, const std::string& value) {
    put(paths_.at(name) + "/" + relative, value);
}

void FakeHost::nodes(const std::vector<std::string>& names) {
    for (const std::string& n : names) put("dev/" + n, "");
}

void FakeHost::put(const std::string& relative, const std::string& text) {
    const fs::path p = fs::path(root()) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text << (text.empty() ? "" : "\n");
}

void FakeHost::link(const std::string& relative, const std::string& target) {
    const fs::path p = fs::path(root()) / relative;
    fs::create_directories(p.parent_path());
    fs::create_symlink(fs::relative(fs::path(root()) / target, p.parent_path()), p);
}

std::string mount_line(int id, const std::string& numbers, const std::string& point, const std::string& type,
                       const std::string& source, const std::string& options) {
    return std::to_string(id) + " 1 " + numbers + " / " + point + " rw,relatime shared:1 - " + type + " " + source +
           " " + options + "\n";
}

HostTreeScope::HostTreeScope(const std::string& root) { drive_layer::set_host_tree_root(root); }
HostTreeScope::~HostTreeScope() { drive_layer::set_host_tree_root("/"); }

}  // namespace testcards
