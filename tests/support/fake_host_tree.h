// A made-up Linux host for the disk rules: sysfs, /dev links and the mount and swap
// tables written into a folder that the rules (and the drive source) are pointed at.
#pragma once

#include "support/test_cards.h"

#include <map>
#include <string>
#include <vector>

namespace testcards {

// A host of made-up block devices. Devices live below sys/devices like the kernel's,
// with the links of sys/class/block, sys/block and sys/dev/block pointing at them.
class FakeHost {
public:
    const std::string& root() const { return dir_.path(); }

    void disk(const std::string& name, const std::string& bus_path, const std::string& numbers,
              const std::string& removable = "0");
    void partition(const std::string& disk, const std::string& name, const std::string& numbers);
    // A dm or md device built on `below`; `dm_name` names it under /dev/mapper.
    void virtual_device(const std::string& name, const std::vector<std::string>& below, const std::string& numbers,
                        const std::string& dm_name = {});
    void attribute(const std::string& name, const std::string& relative, const std::string& value);
    // Device nodes as plain files: the rules find them by name.
    void nodes(const std::vector<std::string>& names);
    void mountinfo(const std::string& text) { put("proc/self/mountinfo", text); }
    void swaps(const std::string& lines) { put("proc/swaps", "Filename\tType\tSize\tUsed\tPriority\n" + lines); }

private:
    void put(const std::string& relative, const std::string& text);
    void link(const std::string& relative, const std::string& target);
    testcards::TempDir dir_;
    std::map<std::string, std::string> paths_;
};

inline constexpr const char* PCI_SATA = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
inline constexpr const char* PCI_NVME = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0";
inline constexpr const char* USB_READER = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
inline constexpr const char* MMC_EMMC = "pci0000:00/0000:00:1a.0/mmc_host/mmc0/mmc0:0001";
inline constexpr const char* MMC_SD = "pci0000:00/0000:00:1a.1/mmc_host/mmc1/mmc1:aaaa";

// One line of /proc/self/mountinfo.
std::string mount_line(int id, const std::string& numbers, const std::string& point, const std::string& type,
                       const std::string& source, const std::string& options = "rw");

// Points the host's drive source at the fake tree for one test.
struct HostTreeScope {
    explicit HostTreeScope(const std::string& root);
    ~HostTreeScope();
};


}  // namespace testcards
