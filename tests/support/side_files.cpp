#include "support/side_files.h"

#include "support/test_cards.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace testcards {

namespace {

std::string running_program_dir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

const char* const SIDE_NAMES[] = {"obmenu2.nds", "savelist.bin", "save_info.dat", "msob"};

}  // namespace

SideFiles::SideFiles()
    : menu(pattern_bytes(70000, 1)),
      save_list(pattern_bytes(200000, 2)),
      save_info(pattern_bytes(1000, 3)),
      dir_(running_program_dir()) {
    lock_fd_ = ::open((dir_ + "/.side-files.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock_fd_ >= 0) ::flock(lock_fd_, LOCK_EX);
    remove_all();
    write("obmenu2.nds", menu);
    write("savelist.bin", save_list);
    write("save_info.dat", save_info);
}

SideFiles::~SideFiles() {
    remove_all();
    if (lock_fd_ >= 0) ::close(lock_fd_);  // closing releases the lock
}

std::string SideFiles::path(const std::string& name) const { return dir_ + "/" + name; }

void SideFiles::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    write_host_file(path(name), bytes);
}

void SideFiles::remove(const std::string& name) const {
    std::error_code ec;
    std::filesystem::remove_all(path(name), ec);
}

void SideFiles::remove_all() const {
    for (const char* name : SIDE_NAMES) remove(name);
}

}  // namespace testcards
