// Writes the seed corpus: small valid card images in the fuzzers' compact form.
#include "obfs/af_file.h"
#include "obfs/obfs.h"
#include "support/card_image_exercise.h"
#include "support/card_surgery.h"
#include "support/test_cards.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

void dump(const drive_layer::FakeDrive& d, uint64_t capacity, const std::string& path, bool reseal = false) {
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> sectors;
    for (uint32_t s = 0; uint64_t(s + 1) * 512 <= capacity; ++s) {
        std::vector<uint8_t> bytes = d.peek(uint64_t(s) * 512, 512);
        bool zero = true;
        for (uint8_t b : bytes) zero = zero && b == 0;
        if (!zero || s == 0) sectors.emplace_back(s, bytes);
    }
    // The top bit of the capacity word asks the harness to fix the header CRC, so
    // mutations of this seed's superblock fields reach the layout checks.
    std::vector<uint8_t> out = compact_image(capacity | (reseal ? 0x80000000ull : 0), sectors);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
}

void put(const std::string& name, size_t bytes, uint32_t seed) {
    cAFFile f;
    if (!f.open(name, "w+", uint32_t(bytes))) return;
    auto data = testcards::pattern_bytes(bytes, seed);
    f.write(data.data(), uint32_t(data.size()));
    f.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const uint32_t capacity = 6u << 20;  // room for a few clusters beyond the fixed areas
    auto empty = testcards::blank_card(1, capacity);
    dump(*empty, capacity, dir + "/empty.card");

    auto files = testcards::blank_card(1, capacity);
    volume().mount(1);
    put("GAME.NDS", 200000, 1);
    put("save.sav", 512, 2);
    put("sd_speed.ini", 2, 3);
    put("notes", 0, 4);
    dump(*files, capacity, dir + "/files.card");

    auto fenced = testcards::attach_fake(1, capacity);
    testcards::write_blank_volume(*fenced, capacity, {3}, {0x00500000});
    volume().mount(1);
    put("a.nds", 131072 * 2, 5);
    dump(*fenced, capacity, dir + "/fenced.card");

    // Damage of every kind the check knows, small files, superblock open to mutation.
    auto hostile = testcards::blank_card(1, capacity);
    testcards::CardSurgery s(*hostile);
    s.entry(0, "dup.nds", 0, 1, 200000);
    s.entry(1, "dup.nds", 2, 2, 10);
    s.entry(2, std::string(260, 'n'), 3, 3, 5);
    s.entry(3, "over.bin", 1, 4, 4 * 131072, false);
    s.entry(4, "big.sav", 5, 5, 900000);
    s.entry(5, "../up.txt", 6, 6, 3);
    s.entry(6, "ghost", 7, 7, 1, true, 0);
    s.hash(9, 0x1234);
    s.map(8, 0x02);
    s.map(9, 0x80);
    s.data(0, std::vector<uint8_t>(600, 0x11));
    dump(*hostile, capacity, dir + "/hostile.card", true);
    dump(*empty, capacity, dir + "/empty-open.card", true);
    return 0;
}
