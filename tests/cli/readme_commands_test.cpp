// The README's examples work as written: every command line of its code blocks that
// starts with build/obtool or build/orbelle-manager runs, in the README's order, in a
// scratch folder laid out like the project (build/ with the programs and stand-ins
// of the cart's side files, card.img beside it), and ends with exit status 0. Lines
// that name a real device (/dev/...) are left out.
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Lines of indented code blocks that run one of the two programs, comments removed.
std::vector<std::string> readme_commands(const std::string& readme) {
    std::vector<std::string> commands;
    std::istringstream lines(readme);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("    build/obtool", 0) != 0 && line.rfind("    build/orbelle-manager", 0) != 0) continue;
        std::string command = line.substr(4);
        const size_t comment = command.find(" #");
        if (comment != std::string::npos) command.erase(comment);
        while (!command.empty() && command.back() == ' ') command.pop_back();
        commands.push_back(command);
    }
    return commands;
}

void stand_in(const fs::path& path, size_t bytes) {
    testcards::write_host_file(path.string(), testcards::pattern_bytes(bytes, uint32_t(bytes)));
}

std::string read_all(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(Readme, EveryCommandLineRunsAsWritten) {
    std::ifstream in(std::string(OB_SOURCE_DIR) + "/README.md");
    std::stringstream readme;
    readme << in.rdbuf();
    const std::vector<std::string> commands = readme_commands(readme.str());
    ASSERT_GE(commands.size(), 8u) << "the README's code blocks went missing";

    testcards::TempDir dir;
    const fs::path root = dir.path();
    const fs::path build = root / "build";
    fs::create_directories(build / "msob");
    // Copies, not links: the programs find their side files beside their own file.
    fs::copy_file(OB_TOOL_PATH, build / "obtool");
    const std::string gui = OB_GUI_PATH;
    if (!gui.empty()) fs::copy_file(gui, build / "orbelle-manager");
    stand_in(build / "obmenu2.nds", 262144);
    stand_in(build / "savelist.bin", 65536);
    stand_in(build / "save_info.dat", 2048);
    stand_in(build / "msob" / "moonshl.nds", 4096);
    // What the examples name beside the card image.
    fs::create_directories(root / "out");
    stand_in(root / "-dash.nds", 1000);

    for (std::string command : commands) {
        // Examples on a real device stay examples: tests never touch the host's disks.
        if (command.find("/dev/") != std::string::npos) {
            std::printf("skipped (names a real device): %s\n", command.c_str());
            continue;
        }
        if (command.rfind("build/orbelle-manager", 0) == 0) {
            if (gui.empty()) {
                std::printf("skipped (no window program built): %s\n", command.c_str());
                continue;
            }
            // The window as written, drawn once offscreen instead of waiting for a user.
            command = "QT_QPA_PLATFORM=offscreen " + command + " --screenshot window.png";
        }
        const std::string shell = "cd '" + root.string() + "' && " + command + " >out.txt 2>err.txt </dev/null";
        const int status = std::system(shell.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << command << "\nstdout:\n" << read_all(root / "out.txt") << "stderr:\n" << read_all(root / "err.txt");
    }
    EXPECT_TRUE(gui.empty() || fs::exists(root / "window.png"));
}

}  // namespace
