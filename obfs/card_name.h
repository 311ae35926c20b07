// The one rule for names of card files, the same both ways: a name this system will
// not write onto a card it will not copy off one either, so nothing goes onto the
// card that cannot come back.
//
// A card name is 1 to 259 bytes (the entry keeps a terminating 0). It holds no
// control byte (0x01..0x1F: tab and newline among them) and no DEL (0x7F): no one can
// see or type those, and they would steer a terminal that shows the name. It holds no
// "/" or "\" and is not "." or "..", so it always names a file inside the host folder
// it is copied into. Its hash is not 0, the mark of a free directory slot.
//
// Names on a card that break the rule (written by another tool, or damaged) are still
// listed, found and deleted by their exact bytes; they are only never created or
// copied to the host.
#pragma once

#include <string>

// Why `name` cannot be a card file name, as a short English phrase ("the name holds a
// control character ..."); nullptr when it can.
const char* card_name_problem(const std::string& name);
