// Host folders and the program's own place, for the subsystems (see host_file.h for
// the two platform sides and the UTF-8 paths).
#pragma once

#include <string>
#include <vector>

namespace host {

// The names in `folder` as the host lists them ("." and ".." too where it lists
// them), unsorted. false when the folder cannot be listed.
bool list_folder(const std::string& folder, std::vector<std::string>* names);

bool is_folder(const std::string& path);
bool is_regular_file(const std::string& path);

// The characters that separate a path's parts: "/" on POSIX hosts, "\\" and "/" on
// Windows.
const char* path_separators();

// The running program's file ("" when the host does not tell).
std::string program_path();

}  // namespace host
