// Taking host paths apart: the name a host file gets on the card, the lower-case
// extension by which the card list picks a picture and type text, and the folder of
// the program itself, beside which the menu program and the other side files lie.
#pragma once

#include <string>

// The last component of `path`; "\" counts as a separator like "/". A path that ends
// in a separator yields "". Case and length are left alone.
std::string file_name_of(const std::string& path);

// The text after the last "." of the last component, with ASCII letters lowered;
// "" when the last component has no ".". Other bytes (UTF-8, double-byte text) stay.
std::string file_extension_of(const std::string& path);

// The folder of the running program with its trailing "/" (on Linux the folder of
// /proc/self/exe). "" when the platform does not tell.
std::string program_dir();

// Whether a card file name can become a host file name in a folder without reaching
// outside it: the card-name rule (obfs/card_name.h), the same that copies onto the
// card obey — not empty, not "." or "..", no "/" or "\", no control bytes or DEL.
bool card_name_fits_host(const std::string& card_name);
