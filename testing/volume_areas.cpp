#include "testing/volume_areas.h"

std::vector<drive_layer::CardArea> volume_areas(const Superblock& sb) {
    using drive_layer::ByteKind;
    return {{0, ByteKind::Superblock},
            {uint64_t(OBFS_MENU_START) * 512, ByteKind::Menu},
            {uint64_t(sb.map_start) * 512, ByteKind::Map},
            {uint64_t(sb.hash_start) * 512, ByteKind::Hash},
            {uint64_t(sb.dir_start) * 512, ByteKind::Directory},
            {uint64_t(sb.data_start) * 512, ByteKind::Data}};
}
