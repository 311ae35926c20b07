// obtool's --json (drives, info, ls, check, models): one JSON document on standard
// output instead of the table, with the same exit status. A command that fails before
// it has anything to show prints no document, only its message on standard error.
// Keys are listed in the man page (JSON OUTPUT); a reader should ignore keys it does
// not know, as later versions may add some. Card names are escaped as in the tables,
// so every document is valid UTF-8.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

class c_disk_info;

using Json = nlohmann::ordered_json;

// Takes "--json" out of a command's arguments (not after "--"); true when it was there.
bool take_json_option(std::vector<std::string>& args);

// The document, indented, and a line end.
void print_json(const Json& document);

// A drive that the probe accepted: number, path, size, model, removable, mounted,
// mount_points, read_only (null where the host cannot tell).
Json drive_json(const c_disk_info& info);

// A string, or null for "" (a name or a path that is not there).
Json text_or_null(const std::string& text);
