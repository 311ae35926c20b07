#include "views/start_options.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Args {
    std::vector<std::string> words;
    std::vector<const char*> argv;
    explicit Args(std::vector<std::string> w) : words(std::move(w)) {
        words.insert(words.begin(), "orbelle-manager");
        for (const std::string& s : words) argv.push_back(s.c_str());
    }
    int argc() const { return int(argv.size()); }
};

bool parse(std::vector<std::string> words, StartOptions* options, std::string* error) {
    Args args(std::move(words));
    return parse_start_options(args.argc(), args.argv.data(), options, error);
}

std::map<std::string, std::string> fake_env;
const char* lookup(const char* name) {
    auto it = fake_env.find(name);
    return it == fake_env.end() ? nullptr : it->second.c_str();
}

}  // namespace

TEST(StartOptions, DrivesInBothSpellingsAndScreenshot) {
    StartOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--drive", "1=card.img", "--drive=3=/dev/sdz", "--screenshot", "w.png",
                       "--folder=/tmp"},
                      &options, &error))
        << error;
    ASSERT_EQ(options.drives.size(), 2u);
    EXPECT_EQ(options.drives[0], (std::pair<unsigned, std::string>{1, "card.img"}));
    EXPECT_EQ(options.drives[1], (std::pair<unsigned, std::string>{3, "/dev/sdz"}));
    EXPECT_EQ(options.screenshot, "w.png");
    EXPECT_EQ(options.folder, "/tmp");
    EXPECT_FALSE(options.help);
}

TEST(StartOptions, QtOptionsAreLeftAlone) {
    StartOptions options;
    std::string error;
    EXPECT_TRUE(parse({"-platform", "offscreen", "-style", "fusion"}, &options, &error)) << error;
    EXPECT_TRUE(options.drives.empty());
}

TEST(StartOptions, BadInputIsRefusedWithAReason) {
    StartOptions options;
    std::string error;
    EXPECT_FALSE(parse({"--drive", "0=card.img"}, &options, &error));   // the system disk's place
    EXPECT_NE(error.find("--drive"), std::string::npos);
    EXPECT_FALSE(parse({"--drive", "16=card.img"}, &options, &error));
    EXPECT_FALSE(parse({"--drive", "card.img"}, &options, &error));
    EXPECT_FALSE(parse({"--drive"}, &options, &error));
    EXPECT_EQ(error, "--drive needs a value");
    EXPECT_FALSE(parse({"--screenshot="}, &options, &error));
    EXPECT_EQ(error, "--screenshot needs a value");
    EXPECT_FALSE(parse({"--folder"}, &options, &error));
    EXPECT_FALSE(parse({"--colour"}, &options, &error));
    EXPECT_EQ(error, "unknown option --colour");
    EXPECT_TRUE(parse({"--help"}, &options, &error));
    EXPECT_TRUE(options.help);
    EXPECT_TRUE(parse({"--version"}, &options, &error));
    EXPECT_TRUE(options.version);
    EXPECT_TRUE(parse({"--lang", "en"}, &options, &error));
    EXPECT_EQ(options.lang, "en");
    EXPECT_TRUE(parse({"--lang=zh"}, &options, &error));
    EXPECT_EQ(options.lang, "zh");
    EXPECT_FALSE(parse({"--lang", "de"}, &options, &error));
    EXPECT_EQ(error, "--lang must be zh or en, got 'de'");
}

TEST(StartOptions, DisplayIsFoundInTheEnvironmentOrArguments) {
    Args none({});
    fake_env.clear();
    EXPECT_FALSE(display_available(none.argc(), none.argv.data(), lookup));
    fake_env["DISPLAY"] = "";
    EXPECT_FALSE(display_available(none.argc(), none.argv.data(), lookup));
    fake_env["DISPLAY"] = ":0";
    EXPECT_TRUE(display_available(none.argc(), none.argv.data(), lookup));
    fake_env.clear();
    fake_env["WAYLAND_DISPLAY"] = "wayland-0";
    EXPECT_TRUE(display_available(none.argc(), none.argv.data(), lookup));
    fake_env.clear();
    fake_env["QT_QPA_PLATFORM"] = "offscreen";
    EXPECT_TRUE(display_available(none.argc(), none.argv.data(), lookup));
    fake_env.clear();
    Args platform({"-platform", "offscreen"});
    EXPECT_TRUE(display_available(platform.argc(), platform.argv.data(), lookup));
}
