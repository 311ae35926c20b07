// Cards for tests: fake drives attached to the drive table, and blank OBFS volumes
// laid out on them byte by byte (independently of the formatter under test).
#pragma once

#include "testing/fake_drive.h"

#include <cstdint>
#include <memory>
#include <filesystem>
#include <string>
#include <vector>

namespace testcards {

// A removable fake drive of `capacity` bytes attached as drive n.
std::shared_ptr<drive_layer::FakeDrive> attach_fake(unsigned n, uint64_t capacity);

// Writes an empty volume for a disk of `disk_size` bytes: superblock, cluster map
// (free data clusters, 0xFF beyond; fences at the given cluster numbers), zero hash
// table and zero directory. `starts` are the partition starts after entry 0.
void write_blank_volume(drive_layer::FakeDrive& drive, uint32_t disk_size,
                        const std::vector<uint32_t>& fence_clusters = {},
                        const std::vector<uint32_t>& starts = {});

// A fake drive of `disk_size` bytes attached as drive n, holding a blank volume.
std::shared_ptr<drive_layer::FakeDrive> blank_card(unsigned n, uint32_t disk_size);

// Deterministic test bytes.
std::vector<uint8_t> pattern_bytes(size_t length, uint32_t seed);

// A scratch folder below the system temp folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
private:
    std::string path_;
};

// A UTF-8 path for std::filesystem and the file streams (which would take a plain
// string in the Windows code page).
std::filesystem::path fs_path(const std::string& utf8);
void write_host_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_host_file(const std::string& path);
std::string read_host_text(const std::string& path);

}  // namespace testcards
