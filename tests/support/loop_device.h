// A loop block device over an image file, for tests that go through a real Linux
// block device. Needs root and /dev/loop-control; `available()` says why not.
#pragma once

#include <string>

namespace testcards {

class LoopDevice {
public:
    // Binds a free loop device to `image` (read-write). Check ok() afterwards.
    explicit LoopDevice(const std::string& image);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }   // "/dev/loop3"
    std::string name() const;                           // "loop3"
    const std::string& error() const { return error_; }

    // Empty when loop devices can be made here, else the reason to skip.
    static std::string unavailable_reason();

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
};

}  // namespace testcards
