// The host layer on the host the tests run on: Linux natively, Windows under wine.
#include "platform/host_console.h"
#include "platform/host_file.h"
#include "platform/host_folder.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cerrno>
#include <cstring>

namespace {

const std::string CHINESE_NAME = "存档 备份.sav";  // UTF-8, with a space

}  // namespace

TEST(HostFile, WritesAndReadsAtPositionsAndSizesFiles) {
    testcards::TempDir dir;
    const std::string path = dir.file("data.bin");
    const host::Descriptor d = host::open_file(path, host::OPEN_READ_WRITE | host::OPEN_CREATE_NEW);
    ASSERT_NE(d, host::NO_DESCRIPTOR);
    EXPECT_EQ(host::write_at(d, "abcdef", 6, 10), 6);
    EXPECT_EQ(host::write_two_at(d, "12", 2, "345", 3, 0), 5);
    char back[16] = {};
    EXPECT_EQ(host::read_at(d, back, sizeof back, 0), 16);
    EXPECT_EQ(std::memcmp(back, "12345\0\0\0\0\0abcdef", 16), 0);
    EXPECT_EQ(host::read_at(d, back, 4, 16), 0);  // at the end
    EXPECT_TRUE(host::set_size(d, 4096));
    uint64_t bytes = 0;
    ASSERT_TRUE(host::measure(d, &bytes));
    EXPECT_EQ(bytes, 4096u);
    EXPECT_TRUE(host::sync(d));
    host::FileStatus st;
    ASSERT_TRUE(host::status_of(d, &st));
    EXPECT_EQ(st.kind, host::Kind::Regular);
    EXPECT_EQ(st.size, 4096u);
    EXPECT_TRUE(host::close_file(d));
}

TEST(HostFile, CreatingNewRefusesAnExistingFileAndKeepsItsBytes) {
    testcards::TempDir dir;
    const std::string path = dir.file("kept.bin");
    testcards::write_host_file(path, {1, 2, 3});
    EXPECT_EQ(host::open_file(path, host::OPEN_WRITE | host::OPEN_CREATE_NEW), host::NO_DESCRIPTOR);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(testcards::read_host_file(path), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(HostFile, SequentialWritesMoveTheDescriptorsOwnPosition) {
    testcards::TempDir dir;
    const host::Descriptor d = host::open_file(dir.file("seq"), host::OPEN_WRITE | host::OPEN_CREATE_NEW);
    ASSERT_NE(d, host::NO_DESCRIPTOR);
    EXPECT_EQ(host::write_here(d, "one", 3), 3);
    EXPECT_EQ(host::write_here(d, "two", 3), 3);
    EXPECT_EQ(host::position_of(d), 6);
    host::close_file(d);
    const auto bytes = testcards::read_host_file(dir.file("seq"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "onetwo");
}

TEST(HostFile, ChineseNamesSurviveTheRoundTripThroughTheHost) {
    testcards::TempDir dir;
    const std::string folder = dir.file("文件夹");
    const host::Descriptor made = host::open_file(folder, host::OPEN_WRITE | host::OPEN_CREATE_NEW);
    ASSERT_NE(made, host::NO_DESCRIPTOR);
    host::close_file(made);
    ASSERT_TRUE(host::remove_file(folder));
    const std::string path = dir.file(CHINESE_NAME);
    const host::Descriptor d = host::open_file(path, host::OPEN_WRITE | host::OPEN_CREATE_NEW);
    ASSERT_NE(d, host::NO_DESCRIPTOR);
    EXPECT_EQ(host::write_here(d, "x", 1), 1);
    host::close_file(d);
    EXPECT_TRUE(host::is_regular_file(path));
    std::vector<std::string> names;
    ASSERT_TRUE(host::list_folder(dir.path(), &names));
    EXPECT_NE(std::find(names.begin(), names.end(), CHINESE_NAME), names.end());
    EXPECT_TRUE(host::remove_file(path));
    EXPECT_EQ(host::kind_of(path), host::Kind::Missing);
}

TEST(HostFile, TellsFoldersFilesAndMissingPathsApartAndNoticesAChangedFile) {
    testcards::TempDir dir;
    EXPECT_TRUE(host::is_folder(dir.path()));
    EXPECT_FALSE(host::is_regular_file(dir.path()));
    EXPECT_EQ(host::kind_of(dir.file("none")), host::Kind::Missing);
    std::vector<std::string> none;
    EXPECT_FALSE(host::list_folder(dir.file("none"), &none));
    const std::string path = dir.file("f");
    testcards::write_host_file(path, {1});
    host::FileStatus before, after;
    ASSERT_TRUE(host::status_of(path, &before));
    testcards::write_host_file(path, {1, 2});
    ASSERT_TRUE(host::status_of(path, &after));
    EXPECT_EQ(before.device, after.device);
    EXPECT_EQ(before.file, after.file);
    EXPECT_NE(before.size, after.size);
}

TEST(HostFile, WholeTransfersStopAtTheEndAndRenamesReplaceTheOldFile) {
    testcards::TempDir dir;
    const std::string part = dir.file(CHINESE_NAME + ".part"), final_name = dir.file(CHINESE_NAME);
    testcards::write_host_file(final_name, {9, 9});
    const host::Descriptor d = host::open_file(part, host::OPEN_READ_WRITE | host::OPEN_CREATE_NEW);
    ASSERT_NE(d, host::NO_DESCRIPTOR);
    const std::vector<uint8_t> bytes = testcards::pattern_bytes(300000, 7);
    // A file set to its size first and written only in places: the rest reads as zeros.
    ASSERT_TRUE(host::set_size(d, 1u << 20));
    ASSERT_TRUE(host::write_all_at(d, bytes.data(), bytes.size(), 65536));
    std::vector<uint8_t> back(bytes.size());
    ASSERT_TRUE(host::read_all_at(d, back.data(), back.size(), 65536));
    EXPECT_EQ(back, bytes);
    ASSERT_TRUE(host::read_all_at(d, back.data(), 4096, 0));
    EXPECT_TRUE(std::all_of(back.begin(), back.begin() + 4096, [](uint8_t b) { return b == 0; }));
    EXPECT_FALSE(host::read_all_at(d, back.data(), 4096, (1u << 20) - 100));  // runs past the end
    host::FileStatus st;
    ASSERT_TRUE(host::status_of(d, &st));
    EXPECT_EQ(st.size, 1u << 20);
    EXPECT_GT(st.allocated, 0u);
    ASSERT_TRUE(host::sync(d));
    ASSERT_TRUE(host::close_file(d));
    ASSERT_TRUE(host::rename_file(part, final_name));
    host::sync_folder_of(final_name);
    EXPECT_EQ(host::kind_of(part), host::Kind::Missing);
    EXPECT_EQ(testcards::read_host_file(final_name).size(), 1u << 20);
    EXPECT_FALSE(host::rename_file(part, final_name));  // nothing left to rename
}

TEST(HostFile, AlignedMemoryIsAligned) {
    void* p = host::aligned_alloc(4096, 1 << 20);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4096, 0u);
    host::aligned_free(p);
}

TEST(HostFolder, TheProgramKnowsWhereItLies) {
    const std::string exe = host::program_path();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(host::is_regular_file(exe));
    EXPECT_NE(exe.find_last_of(host::path_separators()), std::string::npos);
}

TEST(HostConsole, ColumnsCountChineseTwiceAndCaptureKeepsPrintedText) {
    std::setlocale(LC_CTYPE, "C.UTF-8");  // what obtool sets up before it pads columns
    EXPECT_EQ(host::display_width("abc"), 3u);
    EXPECT_EQ(host::display_width("中文.txt"), 8u);
    host::TextCapture capture;
    ASSERT_NE(capture.stream(), nullptr);
    std::fprintf(capture.stream(), "line %d\n", 1);
    EXPECT_EQ(capture.take(), "line 1\n");
    ASSERT_NE(capture.stream(), nullptr);
    std::fputs("again", capture.stream());
    EXPECT_EQ(capture.take(), "again");
}
