// UTF-8 inside the program, UTF-16 at the Windows calls; and Windows error codes as
// errno values for the callers of the host layer.
#pragma once

#include <string>

namespace host::win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16);
// Sets errno from a Windows error code (GetLastError() when none is given) and
// returns that errno value.
int set_errno_from(unsigned long code);
int set_errno_from_last_error();

}  // namespace host::win32
