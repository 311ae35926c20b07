// Card images that once broke a reader, replayed through every reader of cards, and
// hand-made hostile images.
#include "support/card_image_exercise.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(HostileImages, FuzzRegressionsStayFixed) {
    const std::filesystem::path dir = std::filesystem::path(OB_SOURCE_DIR) / "tests/fuzz/regressions";
    int replayed = 0;
    if (std::filesystem::exists(dir)) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file() || entry.path().filename() == "README") continue;
            auto bytes = testcards::read_host_file(entry.path().string());
            exercise_card_image(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    RecordProperty("replayed", replayed);
}

}  // namespace
