// The read-ahead helper of verify and backup: chunks come in order whatever the
// helper's pace, a failed read ends the stream there, and a pipeline dropped early
// stops its helper.
#include "transfer/chunk_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr uint32_t CHUNK = 4096;

TEST(ChunkPipeline, ChunksComeInOrderAndEachOnce) {
    for (size_t depth : {2u, 3u, 5u}) {
        std::atomic<int> reads{0};
        ChunkPipeline pipe(20, CHUNK, [&](size_t k, uint8_t* into) {
            ++reads;
            if (k % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::fill(into, into + CHUNK, uint8_t(k));
            return true;
        }, depth);
        ASSERT_TRUE(pipe.ready());
        for (size_t k = 0; k < 20; ++k) {
            const uint8_t* chunk = pipe.next();
            ASSERT_NE(chunk, nullptr);
            EXPECT_EQ(chunk[0], uint8_t(k));
            EXPECT_EQ(chunk[CHUNK - 1], uint8_t(k));
            // The chunk handed out is not refilled while it is held.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            EXPECT_EQ(chunk[CHUNK / 2], uint8_t(k)) << "depth " << depth;
        }
        EXPECT_EQ(pipe.next(), nullptr);
        EXPECT_EQ(reads, 20);
    }
}

TEST(ChunkPipeline, AFailedReadEndsTheStreamThere) {
    std::atomic<int> reads{0};
    ChunkPipeline pipe(10, CHUNK, [&](size_t k, uint8_t*) {
        ++reads;
        return k != 4;
    });
    for (int k = 0; k < 4; ++k) EXPECT_NE(pipe.next(), nullptr);
    EXPECT_EQ(pipe.next(), nullptr);
    EXPECT_EQ(pipe.next(), nullptr);
    EXPECT_EQ(reads, 5);  // nothing behind the failed chunk is read
}

TEST(ChunkPipeline, DroppedEarlyItStopsItsHelper) {
    std::atomic<int> reads{0};
    {
        ChunkPipeline pipe(1000, CHUNK, [&](size_t, uint8_t*) {
            ++reads;
            return true;
        });
        EXPECT_NE(pipe.next(), nullptr);
    }
    EXPECT_LE(reads, 4);  // the chunk handed out and the buffers ahead of it
}

}  // namespace
