// libFuzzer entry: mutated card images through every reader of cards.
#include "support/card_image_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    exercise_card_image(data, size);
    return 0;
}
