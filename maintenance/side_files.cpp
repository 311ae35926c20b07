#include "maintenance/side_files.h"

#include "transfer/host_path.h"

std::string beside_program(const std::string& name) {
    std::string dir = program_dir();
    // The program's folder comes with its trailing separator; add one only if a
    // platform ever hands it back without.
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    return dir + name;
}
