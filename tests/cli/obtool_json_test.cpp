// obtool --json: every document parses with a JSON parser, says what the table says,
// and leaves the exit status as it was; card names that could steer a terminal or are
// not UTF-8 come out escaped as in the tables.
#include "support/card_surgery.h"
#include "support/obtool_runner.h"
#include "support/test_cards.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using nlohmann::json;

namespace {

constexpr uint32_t IMAGE_BYTES = 16u << 20;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string number_or_dash(const json& value) { return value.is_null() ? "-" : std::to_string(value.get<uint64_t>()); }

class ObtoolJson : public ::testing::Test {
protected:
    void SetUp() override {
        testcards::write_blank_volume(card, IMAGE_BYTES);
        testcards::CardSurgery s(card);
        s.entry(0, "game.nds", 0, 2, 300000);
        s.entry(1, "save.sav", 3, 3, 8192);
        s.entry(2, "empty.txt", 0xFFFFFFFFu, 0xFFFFFFFFu, 0);
        s.entry(3, "esc\x1b[2J\xff.bin", 6, 6, 10);   // a control sequence and a byte that is no UTF-8
        write_image();
    }
    void write_image() { testcards::write_host_file(image, card.peek(0, IMAGE_BYTES)); }

    // The command run twice, as a table and with --json: the parsed document.
    json both(const std::vector<std::string>& command, testcards::ToolResult* table) {
        std::vector<std::string> args = {"--image", image};
        args.insert(args.end(), command.begin(), command.end());
        *table = testcards::run_tool(OB_TOOL_PATH, args);
        if (!command.empty() && command[0] == "check") write_image();  // --repair changed the card
        args.push_back("--json");
        const testcards::ToolResult r = testcards::run_tool(OB_TOOL_PATH, args);
        EXPECT_EQ(r.status, table->status) << "the same exit status: " << r.err;
        EXPECT_TRUE(json::accept(r.out)) << r.out;
        return json::accept(r.out) ? json::parse(r.out) : json();
    }

    drive_layer::FakeDrive card{IMAGE_BYTES};
    testcards::TempDir dir;
    std::string image = dir.file("card.img");
};

TEST_F(ObtoolJson, DrivesAndInfoMatchTheirTables) {
    testcards::ToolResult table;
    const json drives = both({"drives"}, &table);
    // The image is drive 1; the host's own card drives may be listed too.
    const auto it = std::find_if(drives["drives"].begin(), drives["drives"].end(),
                                 [](const json& d) { return d["number"] == 1; });
    ASSERT_NE(it, drives["drives"].end()) << drives.dump(2);
    EXPECT_EQ(drives["drives"].size(), lines_of(table.out).size());
    const json d = *it;
    EXPECT_EQ(d["number"], 1);
    EXPECT_EQ(d["path"], image);
    EXPECT_EQ(d["size"], IMAGE_BYTES);
    EXPECT_EQ(d["removable"], true);
    EXPECT_EQ(d["mounted"], false);
    EXPECT_EQ(d["mount_points"], json::array());
    EXPECT_EQ(d["read_only"], false);
    // "1 -    16 MB, Image card.img   Removable Disk"
    std::string line;
    for (const std::string& l : lines_of(table.out))
        if (l.rfind("1 - ", 0) == 0) line = l;
    const std::vector<std::string> caption = words_of(line);
    ASSERT_GE(caption.size(), 5u) << table.out;
    EXPECT_EQ(caption[2], std::to_string(IMAGE_BYTES >> 20));
    EXPECT_NE(line.find(d["model"].get<std::string>()), std::string::npos) << line;

    const json info = both({"info"}, &table);
    EXPECT_EQ(info["drive"], d);
    const json& volume = info["volume"];
    ASSERT_EQ(volume["mounted"], true);
    size_t matched = 0;
    for (const std::string& line : lines_of(table.out)) {
        const std::vector<std::string> w = words_of(line);
        if (w.size() < 2 || !volume.contains(w[0])) continue;
        ++matched;
        SCOPED_TRACE(line);
        if (w[0] == "partition_start") {
            ASSERT_EQ(w.size(), 17u);
            for (size_t k = 0; k < 16; ++k) EXPECT_EQ(std::stoul(w[k + 1], nullptr, 16), volume[w[0]][k].get<uint32_t>());
        } else {
            EXPECT_EQ(std::stoul(w[1], nullptr, 0), volume[w[0]].get<uint32_t>());
        }
    }
    EXPECT_EQ(matched, volume.size() - 1) << "every field but \"mounted\" is a line of the table";

    // No volume: the reason, as the table gives it.
    card.poke(0, std::vector<uint8_t>(512, 0).data(), 512);
    write_image();
    const json none = both({"info"}, &table);
    EXPECT_EQ(none["volume"]["mounted"], false);
    EXPECT_NE(table.out.find(none["volume"]["problem"].get<std::string>()), std::string::npos) << table.out;
}

TEST_F(ObtoolJson, TheListingMatchesTheLongTableRowByRow) {
    testcards::ToolResult table;
    const json listing = both({"ls", "-l"}, &table);
    const json& entries = listing["entries"];
    const std::vector<std::string> rows = lines_of(table.out);
    ASSERT_EQ(rows.size(), entries.size() + 1) << table.out;  // and the heading
    unsigned files = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        const json& e = entries[k];
        const std::string& row = rows[k + 1];
        SCOPED_TRACE(row);
        const std::vector<std::string> w = words_of(row);
        ASSERT_GE(w.size(), 5u);
        // The last four columns: slot, first and last cluster, bytes.
        EXPECT_EQ(w[w.size() - 4], number_or_dash(e["slot"]));
        EXPECT_EQ(w[w.size() - 3], number_or_dash(e["first_cluster"]));
        EXPECT_EQ(w[w.size() - 2],
                  e["first_cluster"].is_null() ? "-" : std::to_string(e["first_cluster"].get<uint32_t>() + e["clusters"].get<uint32_t>() - 1));
        EXPECT_EQ(w.back(), std::to_string(e["size"].get<uint64_t>()));
        if (e["kind"] == "file") {
            ++files;
            EXPECT_EQ(row.rfind(e["name"].get<std::string>(), 0), 0u);
            EXPECT_NE(row.find(e["type"].get<std::string>()), std::string::npos);
        } else {
            EXPECT_EQ(e["kind"], "free");
            EXPECT_EQ(row.rfind("<< FREE SPACE >>", 0), 0u);
            EXPECT_TRUE(e["name"].is_null());
        }
    }
    EXPECT_EQ(files, 4u);
    bool escaped = false;
    for (const json& e : entries) escaped |= e["name"] == "esc\\x1B[2J\\xFF.bin";
    EXPECT_TRUE(escaped) << listing.dump();
}

TEST_F(ObtoolJson, CheckGivesEachProblemAsARecordBeforeAndAfterRepair) {
    testcards::CardSurgery s(card);
    s.map(9, 0xAC);                      // an orphan
    s.entry(4, "big.sav", 10, 10, 999999);  // larger than its run
    s.entry(5, "game.nds", 12, 12, 100);    // a second "game.nds": the first keeps the name
    write_image();
    struct Want { const char* kind; int slot; const char* name; bool mended; };
    const Want wanted[] = {
        {"size_exceeds_run", 4, "big.sav", true},
        {"same_name", 0, "game.nds", true},
        {"orphan_clusters", -1, nullptr, true},
    };
    testcards::ToolResult table;
    const json found = both({"check"}, &table);
    EXPECT_EQ(found["volume_found"], true);
    EXPECT_EQ(found["clean"], false);
    const std::vector<std::string> lines = lines_of(table.out);
    ASSERT_EQ(lines.size(), found["problems"].size() + 1) << table.out;  // and the summary
    for (size_t k = 0; k < found["problems"].size(); ++k) EXPECT_EQ(found["problems"][k]["text"], lines[k]);
    for (const Want& w : wanted) {
        SCOPED_TRACE(w.kind);
        const auto it = std::find_if(found["problems"].begin(), found["problems"].end(),
                                     [&](const json& p) { return p["kind"] == w.kind; });
        ASSERT_NE(it, found["problems"].end()) << found.dump(2);
        EXPECT_EQ((*it)["slot"], w.slot < 0 ? json() : json(w.slot));
        EXPECT_EQ((*it)["name"], w.name ? json(w.name) : json());
        EXPECT_EQ((*it)["repair"].is_string(), w.mended);
    }

    const json repaired = both({"check", "--repair"}, &table);
    EXPECT_EQ(repaired["clean"], true);
    EXPECT_EQ(repaired["remaining"], json::array());
    size_t repair_lines = 0;
    for (const std::string& line : lines_of(table.out)) repair_lines += line.rfind("repaired: ", 0) == 0;
    EXPECT_EQ(repaired["repairs"].size(), repair_lines) << table.out;
}

TEST_F(ObtoolJson, ModelsMatchTheirTable) {
    testcards::ToolResult table;
    const json models = both({"models"}, &table);
    const std::vector<std::string> rows = lines_of(table.out);
    ASSERT_EQ(rows.size(), models["models"].size() + 1);
    for (size_t k = 0; k < models["models"].size(); ++k) {
        const json& m = models["models"][k];
        const std::vector<std::string> w = words_of(rows[k + 1]);
        SCOPED_TRACE(rows[k + 1]);
        EXPECT_EQ(w[0], std::to_string(m["row"].get<int>()));
        EXPECT_EQ(w[1], std::to_string(m["speed"].get<int>()));
        EXPECT_NE(rows[k + 1].find(m["name"].get<std::string>()), std::string::npos);
        EXPECT_EQ(m["partition_start"][0], 0);
    }
}

TEST_F(ObtoolJson, FailuresPrintNoDocumentAndKeepTheirStatus) {
    card.poke(0, std::vector<uint8_t>(512, 0).data(), 512);
    write_image();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--image", image, "ls", "--json"}, std::vector<std::string>{"info", "--json"}}) {
        const testcards::ToolResult r = testcards::run_tool(OB_TOOL_PATH, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("obtool: "), std::string::npos);
    }
}

}  // namespace
