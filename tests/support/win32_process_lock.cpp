#include "support/process_lock.h"

#include "platform/win32_text.h"

#include <windows.h>

namespace testcards {

ProcessLock::ProcessLock(const std::string& path) {
    // A file opened without sharing is the lock; others wait until it closes.
    const std::wstring name = host::win32::widen(path);
    for (int tries = 0; tries < 6000; ++tries) {
        HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<intptr_t>(h);
            return;
        }
        Sleep(10);
    }
}

ProcessLock::~ProcessLock() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace testcards
