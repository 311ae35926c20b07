// The flat directory: 1024 slots, each a directory entry sector plus a name-hash
// table entry. Names are byte strings compared exactly and case-sensitively.
#pragma once

class cCard;

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t DIR_SLOTS = 1024;
constexpr uint32_t NAME_FIELD_BYTES = 260;
constexpr uint32_t MAX_NAME_BYTES = 259;
constexpr uint16_t ATTR_READONLY = 0x01;
constexpr uint16_t ATTR_ARCHIVE = 0x20;
constexpr uint32_t NO_SECTOR = 0xFFFFFFFFu;  // "no such directory sector"

// Directory entry field offsets within its sector.
constexpr uint32_t DE_NAME = 0;
constexpr uint32_t DE_ATTRIBUTES = 260;
constexpr uint32_t DE_FIRST_CLUSTER = 262;
constexpr uint32_t DE_LAST_CLUSTER = 266;
constexpr uint32_t DE_SIZE = 270;

struct AF_FIND_DATA_T {
    uint8_t name[NAME_FIELD_BYTES] = {};
    uint32_t attributes = 0;
    uint32_t size = 0;
    uint32_t reserved[3] = {0, 0, 0};
    uint32_t first_cluster = 0;
    uint32_t last_cluster = 0;
};

using DirSector = std::array<uint8_t, 512>;

uint32_t name_hash(const uint8_t* bytes, size_t length);
uint32_t name_hash(const std::string& name);
// Whether this system accepts `name` for a new file: the card-name rule of
// obfs/card_name.h.
bool valid_new_name(const std::string& name);

DirSector find_file(cCard& card, const std::string& name);
DirSector find_file(const std::string& name);
// One lookup for both: the entry's sector number (0xFFFFFFFF when absent) and its bytes
// in `entry` (zeros when absent).
uint32_t find_file_entry(cCard& card, const std::string& name, DirSector& entry);
uint32_t find_file_entry(const std::string& name, DirSector& entry);
bool file_exists(cCard& card, const std::string& name);
bool file_exists(const std::string& name);
uint32_t find_file_sector(cCard& card, const std::string& name);
uint32_t find_file_sector(const std::string& name);
int find_first(cCard& card, AF_FIND_DATA_T& out);
int find_first(AF_FIND_DATA_T& out);
int find_next(cCard& card, int slot, AF_FIND_DATA_T& out);
int find_next(int slot, AF_FIND_DATA_T& out);
uint32_t find_free_slot(cCard& card);
uint32_t find_free_slot();
bool create_file(cCard& card, const std::string& name, uint32_t first_cluster);
bool create_file(const std::string& name, uint32_t first_cluster);
bool delete_file(cCard& card, const std::string& name);
bool delete_file(const std::string& name);

// For each cluster of the map, whether the run of a file other than the one in
// directory sector `except_sector` names it. Reads every used slot's entry; false when
// a directory sector cannot be read (nothing can then be released safely).
bool clusters_of_other_files(cCard& card, uint32_t except_sector, std::vector<bool>& named);
bool clusters_of_other_files(uint32_t except_sector, std::vector<bool>& named);
