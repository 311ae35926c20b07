#include "stream_card_fixture.h"

using AllocatorTest = CardTest;

TEST_F(AllocatorTest, FirstFitTakesTheLowestRunThatHoldsTheBytes) {
    take_clusters(0, 3);
    take_clusters(10, 10, MAP_FIRST);
    EXPECT_EQ(find_free_run(5 * K), 4u);
    EXPECT_EQ(find_free_run(6 * K), 4u);
    EXPECT_EQ(find_free_run(6 * K + 1), 11u);
    EXPECT_EQ(find_free_run(0), 4u);
    EXPECT_EQ(find_free_run(1), 4u);
}

TEST_F(AllocatorTest, FenceSplitsFreeStretchesAndFullMapHasNoRun) {
    take_clusters(0, clusters() - 1);
    // Two free stretches of 3 clusters with a fence between them.
    for (uint32_t c : {100u, 101u, 102u, 104u, 105u, 106u}) vol().cluster_map[c] = MAP_FREE;
    vol().cluster_map[103] = MAP_FENCE;
    EXPECT_EQ(find_free_run(3 * K), 100u);
    EXPECT_EQ(find_free_run(4 * K), NO_RUN);
    for (uint32_t c : {100u, 101u, 102u, 104u, 105u, 106u}) vol().cluster_map[c] = MAP_NEXT;
    EXPECT_EQ(find_free_run(0), NO_RUN);
}

TEST_F(AllocatorTest, EntriesBeyondTheDataAreaAreNeverGivenOut) {
    // A release may have turned the 0xFF entries behind the data area into 0x00.
    ASSERT_GT(vol().map_bytes(), clusters());
    take_clusters(0, clusters() - 1);
    vol().cluster_map[clusters()] = MAP_FREE;
    EXPECT_EQ(find_free_run(0), NO_RUN);
    EXPECT_EQ(claim_cluster(clusters()), NO_RUN);
    EXPECT_EQ(vol().cluster_map[clusters()], MAP_FREE);
}

TEST_F(AllocatorTest, ClaimMarksOnlyAFreeClusterAndWritesNothing) {
    EXPECT_EQ(claim_cluster(4), 4u);
    EXPECT_EQ(vol().cluster_map[4], MAP_FIRST);
    EXPECT_EQ(claim_cluster(4), NO_RUN);
    vol().cluster_map[5] = MAP_FENCE;
    EXPECT_EQ(claim_cluster(5), NO_RUN);
    EXPECT_EQ(claim_cluster(NO_CLUSTER), NO_RUN);
    EXPECT_EQ(drive->counters().writes, 0u);
}

TEST_F(AllocatorTest, ExtendGrowsOnlyIntoAFreeNextDataCluster) {
    vol().cluster_map[4] = MAP_FIRST;
    EXPECT_EQ(extend_cluster(4), 5u);
    EXPECT_EQ(vol().cluster_map[5], MAP_NEXT);
    vol().cluster_map[6] = MAP_FIRST;
    EXPECT_EQ(extend_cluster(5), 5u);
    vol().cluster_map[7] = MAP_FENCE;
    EXPECT_EQ(extend_cluster(6), 6u);
    EXPECT_EQ(extend_cluster(clusters() - 1), clusters() - 1);
    // The no-cluster value must not wrap around to cluster 0.
    EXPECT_EQ(extend_cluster(NO_CLUSTER), NO_CLUSTER);
    EXPECT_EQ(vol().cluster_map[0], MAP_FREE);
    EXPECT_EQ(drive->counters().writes, 0u);
}

TEST_F(AllocatorTest, ReleaseFreesTheRunAndWhatAStreamGrewBehindIt) {
    const uint8_t before[] = {MAP_FIRST, MAP_NEXT, MAP_NEXT, MAP_NEXT, MAP_NEXT, MAP_FREE, MAP_FIRST};
    for (uint32_t i = 0; i < sizeof before; ++i) vol().cluster_map[5 + i] = before[i];
    drive->reset_counters();
    ASSERT_TRUE(release_run(5, 7));
    for (uint32_t c = 5; c <= 10; ++c) {
        EXPECT_EQ(vol().cluster_map[c], MAP_FREE) << c;
        EXPECT_EQ(map_on_card(c), MAP_FREE) << c;
    }
    EXPECT_EQ(vol().cluster_map[11], MAP_FIRST);
    EXPECT_EQ(map_on_card(11), MAP_FIRST);
    EXPECT_GE(drive->counters().flushes, 1u);  // the medium holds the release
}

TEST_F(AllocatorTest, ReleaseStopsAtAFenceAndClearsTheEndOfTheMap) {
    vol().cluster_map[20] = MAP_FIRST;
    vol().cluster_map[21] = MAP_NEXT;
    vol().cluster_map[23] = MAP_FENCE;
    vol().cluster_map[24] = MAP_NEXT;
    ASSERT_TRUE(release_run(20, 20));
    EXPECT_EQ(vol().cluster_map[21], MAP_FREE);
    EXPECT_EQ(vol().cluster_map[23], MAP_FENCE);
    EXPECT_EQ(vol().cluster_map[24], MAP_NEXT);

    // The last file before the end of the data area: the 0xFF entries behind it turn
    // into 0x00, and still none of them is given out.
    const uint32_t last = clusters() - 1;
    take_clusters(25, last - 1);
    vol().cluster_map[last] = MAP_FIRST;
    ASSERT_TRUE(release_run(last, last));
    for (uint32_t c = last; c < vol().map_bytes(); ++c) EXPECT_EQ(map_on_card(c), MAP_FREE) << c;
    EXPECT_EQ(find_free_run(K), 0u);
    take_clusters(0, 22);
    EXPECT_EQ(find_free_run(K), last);
    EXPECT_EQ(find_free_run(2 * K), NO_RUN);
}

TEST_F(AllocatorTest, ReleaseRefusesARunOutsideTheMapAndChangesNothing) {
    vol().cluster_map[5] = MAP_FIRST;
    EXPECT_FALSE(release_run(NO_CLUSTER, NO_CLUSTER));
    EXPECT_FALSE(release_run(7, 5));
    EXPECT_FALSE(release_run(5, vol().map_bytes()));
    EXPECT_EQ(vol().cluster_map[5], MAP_FIRST);
    EXPECT_EQ(drive->counters().writes, 0u);
}

TEST_F(AllocatorTest, UnmountedVolumeRefusesEveryOperation) {
    testcards::attach_fake(2, 8u << 20);  // no volume on it
    ASSERT_FALSE(volume().mount(2));
    EXPECT_EQ(find_free_run(0), NO_RUN);
    EXPECT_EQ(claim_cluster(0), NO_RUN);
    EXPECT_EQ(extend_cluster(0), NO_RUN);
    EXPECT_FALSE(release_run(0, 0));
    drive_layer::drive_table().detach(2);
}
