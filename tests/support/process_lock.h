// An exclusive lock on a file, held across processes until the object goes: test
// programs that ctest runs side by side share the side files beside them.
#pragma once

#include <cstdint>
#include <string>

namespace testcards {

class ProcessLock {
public:
    explicit ProcessLock(const std::string& path);  // waits until the lock is had
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

private:
    intptr_t handle_ = -1;
};

}  // namespace testcards
