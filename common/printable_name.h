// Card names are data from outside: a name may hold any byte but 0. Before one reaches
// a terminal or a message box it is shown escaped, so a name can never move the
// cursor, clear the screen, start a new line or pose as another name.
#pragma once

#include <string>

// `name` with every byte that could steer a terminal written as an escape: tab,
// newline and carriage return as \t, \n, \r; other control bytes and DEL as \xNN; the
// C1 controls (U+0080..U+009F) and bytes that are not UTF-8 as \xNN per byte; a
// backslash as \\ so that an escape can never be mistaken for name bytes. Valid UTF-8
// text (Chinese included) stays as it is.
std::string printable_name(const std::string& name);

// A host path shown the same way, except that the host's own separators stay as they
// are: a Windows path keeps its "\" (on POSIX hosts this is printable_name).
std::string printable_host_path(const std::string& path);
