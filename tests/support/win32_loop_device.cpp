// Windows has no loop devices: the tests that need one skip there with this reason
// (the raw-drive test under wine reaches a Linux loop device as \\.\D: instead).
#include "support/loop_device.h"

namespace testcards {

LoopDevice::LoopDevice(const std::string&) : error_("no loop devices on Windows") {}

LoopDevice::~LoopDevice() = default;

std::string LoopDevice::name() const { return {}; }

std::string LoopDevice::unavailable_reason() { return "no loop devices on Windows"; }

}  // namespace testcards
