#include "common/volume_busy.h"

#include <atomic>

namespace {
std::atomic<int> busy_count{0};
}

VolumeBusy::VolumeBusy() { ++busy_count; }
VolumeBusy::~VolumeBusy() { --busy_count; }

bool volume_busy() { return busy_count.load() > 0; }
