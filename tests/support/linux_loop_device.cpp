#include "support/loop_device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace testcards {

std::string LoopDevice::unavailable_reason() {
    if (::geteuid() != 0) return "needs root to set up a loop device";
    if (::access("/dev/loop-control", F_OK) != 0) return "no /dev/loop-control on this host";
    return {};
}

LoopDevice::LoopDevice(const std::string& image) {
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) {
        error_ = std::string("/dev/loop-control: ") + std::strerror(errno);
        return;
    }
    const int backing = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    if (backing < 0) {
        error_ = image + ": " + std::strerror(errno);
        ::close(control);
        return;
    }
    // Other test programs may grab the same free device at the same moment: try again.
    for (int attempt = 0; attempt < 20 && fd_ < 0; ++attempt) {
        const int n = ::ioctl(control, LOOP_CTL_GET_FREE);
        if (n < 0) {
            error_ = std::string("LOOP_CTL_GET_FREE: ") + std::strerror(errno);
            break;
        }
        const std::string path = "/dev/loop" + std::to_string(n);
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            error_ = path + ": " + std::strerror(errno);
            break;
        }
        loop_config config{};
        config.fd = uint32_t(backing);
        config.block_size = 512;
        config.info.lo_flags = LO_FLAGS_AUTOCLEAR;  // freed when the last user closes it
        if (::ioctl(fd, LOOP_CONFIGURE, &config) == 0 ||
            (errno == EINVAL && ::ioctl(fd, LOOP_SET_FD, backing) == 0)) {
            fd_ = fd;
            path_ = path;
            error_.clear();
        } else {
            const int why = errno;
            error_ = path + ": " + std::strerror(why);
            ::close(fd);
            if (why != EBUSY) break;
        }
    }
    ::close(backing);
    ::close(control);
}

LoopDevice::~LoopDevice() {
    if (fd_ < 0) return;
    ::ioctl(fd_, LOOP_CLR_FD, 0);
    ::close(fd_);
}

std::string LoopDevice::name() const { return path_.substr(path_.find_last_of('/') + 1); }

}  // namespace testcards
