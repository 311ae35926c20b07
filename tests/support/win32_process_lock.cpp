#include "support/process_lock.h"

#include "platform/win32_text.h"

#include <windows.h>

namespace testcards {

ProcessLock::ProcessLock(const std::string& path) {
    // A byte range lock on a file all of them open: LockFileEx waits as long as another
    // holds it, as flock does on POSIX hosts (a test with the side files may run for
    // minutes under wine; ctest's own timeout bounds the wait).
    HANDLE h = CreateFileW(host::win32::widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
}

ProcessLock::~ProcessLock() {
    // Closing the file lets go of its lock.
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace testcards
