#include "common/printable_name.h"

#include "platform/host_folder.h"

#include <cstdint>
#include <cstdio>

namespace {

void put_hex(std::string& out, unsigned char byte) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    out += escape;
}

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at `i` (1 to 4), or 0 when the bytes there
// are not one. Overlong forms, surrogates and code points above U+10FFFF are not.
size_t utf8_sequence(const std::string& s, size_t i, uint32_t* code_point) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = at(i);
    size_t length;
    uint32_t cp;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (size_t k = 1; k < length; ++k) {
        if (!continuation(at(i + k))) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    *code_point = cp;
    return length;
}

}  // namespace

std::string printable_name(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\') out += '\\';
            out += char(c);
            ++i;
            continue;
        }
        if (c == '\t' || c == '\n' || c == '\r') {
            out += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
            ++i;
            continue;
        }
        uint32_t cp = 0;
        const size_t length = c >= 0x80 ? utf8_sequence(name, i, &cp) : 0;
        if (length == 0) {
            put_hex(out, c);  // a control byte, DEL, or a byte that is not UTF-8
            ++i;
            continue;
        }
        // The C1 controls are escape sequences to terminals that read UTF-8 too.
        if (cp >= 0x80 && cp <= 0x9F) {
            for (size_t k = 0; k < length; ++k) put_hex(out, static_cast<unsigned char>(name[i + k]));
        } else {
            out.append(name, i, length);
        }
        i += length;
    }
    return out;
}

std::string printable_host_path(const std::string& path) {
    const std::string separators = host::path_separators();
    std::string out;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && separators.find(path[i]) == std::string::npos) continue;
        out += printable_name(path.substr(start, i - start));
        if (i < path.size()) out += path[i];
        start = i + 1;
    }
    return out;
}
