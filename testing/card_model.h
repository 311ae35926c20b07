// A timing model of a real card behind a card reader, for benchmarks on the fake
// drive: what each command, each write or read that does not continue the previous
// one, each flush and each byte would cost on such a card. Time is virtual: a
// benchmark on it runs as fast as the host allows and gives the same figure on every
// run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drive_layer {

struct CardModel {
    std::string name;
    double read_bytes_per_second = 0;
    double write_bytes_per_second = 0;
    double nonsequential_write_seconds = 0;  // a write that does not continue the previous write
    double nonsequential_read_seconds = 0;   // a read that does not continue the previous read
    double command_seconds = 0;              // every read or write command
    double flush_seconds = 0;
};

// The named presets: "usb2-a1" (a class A1 card in a USB 2 reader) and "uhs1-u3".
const std::vector<CardModel>& card_model_presets();
// The preset of that name; false when there is none.
bool find_card_model(const std::string& name, CardModel* out);

// What the bytes at a place of a card are, by the place's role in the volume layout.
enum class ByteKind : unsigned { Superblock, Menu, Map, Hash, Directory, Data, Count };
const char* byte_kind_name(ByteKind kind);

// Where each kind of bytes begins: areas in ascending order, each reaching up to the
// next. Bytes before the first area count as data.
struct CardArea {
    uint64_t first_byte = 0;
    ByteKind kind = ByteKind::Data;
};

struct CardModelCounters {
    double seconds = 0;  // the virtual clock
    uint64_t commands = 0;
    uint64_t nonsequential_writes = 0;
    uint64_t nonsequential_reads = 0;
    uint64_t flushes = 0;
    uint64_t bytes_written[unsigned(ByteKind::Count)] = {};
    uint64_t bytes_read[unsigned(ByteKind::Count)] = {};
};

// The clock and counters of one card: the fake drive tells it every command.
class CardClock {
public:
    void set_model(const CardModel& model) { model_ = model; }
    void set_areas(std::vector<CardArea> areas) { areas_ = std::move(areas); }
    const CardModel& model() const { return model_; }

    void transfer(bool writing, uint64_t offset, uint64_t bytes);
    void flush();
    const CardModelCounters& counters() const { return counters_; }
    // Starts the clock and the counts again; the card's position stays.
    void reset() { counters_ = CardModelCounters{}; }

private:
    void count_bytes(uint64_t* by_kind, uint64_t offset, uint64_t bytes) const;

    CardModel model_;
    std::vector<CardArea> areas_;
    CardModelCounters counters_;
    static constexpr uint64_t NOWHERE = ~0ull;
    uint64_t write_end_ = NOWHERE;  // where the previous write ended
    uint64_t read_end_ = NOWHERE;
};

}  // namespace drive_layer
