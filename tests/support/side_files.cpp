#include "support/side_files.h"

#include "support/test_cards.h"

#include "platform/host_folder.h"

#include <filesystem>

namespace testcards {

namespace {

std::string running_program_dir() {
    const std::string exe = host::program_path();
    const size_t slash = exe.find_last_of(host::path_separators());
    return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

const char* const SIDE_NAMES[] = {"obmenu2.nds", "savelist.bin", "save_info.dat", "msob"};

}  // namespace

SideFiles::SideFiles()
    : menu(pattern_bytes(70000, 1)),
      save_list(pattern_bytes(200000, 2)),
      save_info(pattern_bytes(1000, 3)),
      dir_(running_program_dir()) {
    lock_ = std::make_unique<ProcessLock>(dir_ + "/.side-files.lock");
    remove_all();
    write("obmenu2.nds", menu);
    write("savelist.bin", save_list);
    write("save_info.dat", save_info);
}

SideFiles::~SideFiles() {
    remove_all();
}  // the lock goes last

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
