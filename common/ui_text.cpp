#include "common/ui_text.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<UiLanguage> current_language{UiLanguage::Chinese};

const char* locale_value(const char* (*env)(const char*)) {
    // The first one set wins, as for the C library's LC_MESSAGES.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = env(name);
        if (value && *value) return value;
    }
    return nullptr;
}

}  // namespace

const char* ui_text(const char* context, const char* source) {
    if (current_language.load() == UiLanguage::Chinese) return source;
    for (unsigned i = 0; i < UI_TEXT_TABLE_SIZE; ++i) {
        const UiTextEntry& entry = UI_TEXT_TABLE[i];
        if (*entry.english && std::strcmp(entry.source, source) == 0 && std::strcmp(entry.context, context) == 0)
            return entry.english;
    }
    return source;
}

const char* ui_text_any_context(const char* source) {
    if (current_language.load() == UiLanguage::Chinese) return source;
    for (unsigned i = 0; i < UI_TEXT_TABLE_SIZE; ++i)
        if (std::strcmp(UI_TEXT_TABLE[i].source, source) == 0 && *UI_TEXT_TABLE[i].english)
            return UI_TEXT_TABLE[i].english;
    return source;
}

std::string with_args(const std::string& text, const std::string& arg1, const std::string& arg2) {
    // One pass, so a "%2" inside an argument stays as it is.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += text[i + 1] == '1' ? arg1 : arg2;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void set_ui_language(UiLanguage language) { current_language.store(language); }
UiLanguage ui_language() { return current_language.load(); }

UiLanguage language_from_locale(const char* (*env)(const char*)) {
    const char* value = locale_value(env);
    if (!value) return UiLanguage::Chinese;
    const std::string locale = value;
    if (locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) return UiLanguage::Chinese;
    if (locale.rfind("zh", 0) == 0) return UiLanguage::Chinese;
    return UiLanguage::English;
}

bool parse_ui_language(const std::string& name, UiLanguage* language) {
    if (name == "zh") *language = UiLanguage::Chinese;
    else if (name == "en") *language = UiLanguage::English;
    else return false;
    return true;
}
