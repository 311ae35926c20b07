#include "obfs/card_name.h"

#include "obfs/directory.h"

const char* card_name_problem(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name.size() > MAX_NAME_BYTES) return "the name is longer than 259 bytes";
    if (name == "." || name == "..") return "the name is \".\" or \"..\"";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "the name holds a control character (tab, newline and the like) or DEL";
        if (c == '/' || c == '\\') return "the name holds \"/\" or \"\\\"";
    }
    if (name_hash(name) == 0) return "the name hashes to 0, the mark of a free directory slot";
    return nullptr;
}
