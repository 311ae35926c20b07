// The cart's own files that the manager keeps beside its program file. They belong
// to the cart's maker: this program neither ships nor fetches them, it only copies
// them onto a card byte for byte.
#pragma once

#include <string>

constexpr const char* MENU_PROGRAM_FILE = "obmenu2.nds";
constexpr const char* SAVE_LIST_FILE = "savelist.bin";
constexpr const char* SAVE_INFO_FILE = "save_info.dat";
constexpr const char* SPEED_FILE = "sd_speed.ini";   // written on the card only
constexpr const char* MOONSHELL_FOLDER = "msob";

// The host path of `name` in the program's folder.
std::string beside_program(const std::string& name);
