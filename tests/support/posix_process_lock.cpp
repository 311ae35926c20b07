#include "support/process_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace testcards {

ProcessLock::ProcessLock(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) ::flock(fd, LOCK_EX);
    handle_ = fd;
}

ProcessLock::~ProcessLock() {
    if (handle_ >= 0) ::close(int(handle_));  // closing releases the lock
}

}  // namespace testcards
