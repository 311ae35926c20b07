#include "support/small_tmpfs.h"

#include "support/test_cards.h"

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace testcards {

SmallTmpfs::SmallTmpfs(uint64_t bytes) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/obtmpfs-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        why_not_ = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    dir_ = buffer.data();
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why_not_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

SmallTmpfs::~SmallTmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    if (!dir_.empty()) ::rmdir(dir_.c_str());
}

bool SmallTmpfs::leave_room(uint64_t room) const {
    struct statvfs st {};
    if (::statvfs(dir_.c_str(), &st) != 0) return false;
    const uint64_t free_bytes = uint64_t(st.f_bavail) * st.f_frsize;
    if (free_bytes <= room) return false;
    write_host_file(file("filler"), std::vector<uint8_t>(free_bytes - room, 0x5A));
    return true;
}

void SmallTmpfs::make_room() const { ::unlink(file("filler").c_str()); }

}  // namespace testcards
