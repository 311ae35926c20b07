// Reads what a HostReader holds, chunk by chunk, for the host I/O tests.
#pragma once

#include "transfer/host_io.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

inline std::vector<uint8_t> read_all(HostReader& reader, uint32_t chunk) {
    AlignedBuffer buffer(chunk);
    std::vector<uint8_t> out;
    for (;;) {
        uint32_t got = 0;
        EXPECT_TRUE(reader.read(buffer.data(), chunk, &got));
        out.insert(out.end(), buffer.data(), buffer.data() + got);
        if (got < chunk) return out;
    }
}
