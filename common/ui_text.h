// The language of what the user reads. The program's texts are written in Chinese in
// the code; translations/orbelle_en.ts holds their English. The window loads that file
// through Qt's translator; the core and obtool look texts up here, in a table the build
// generates from the same file, so both speak the same words.
#pragma once

#include <string>

enum class UiLanguage { Chinese, English };

// Marks a text that a table keeps for later (lupdate collects it under `context`); the
// text is looked up with ui_text(context, text) when it is shown.
#define UI_TEXT_NOOP(context, text) text

// The text in the current language: the Chinese source itself, or its English from the
// table (the source again where the table has none).
const char* ui_text(const char* context, const char* source);
// ui_text for a text whose context is not known: the first entry with this source.
const char* ui_text_any_context(const char* source);
// `text` with "%1" and "%2" replaced by the arguments, as Qt's arg() does:
// with_args(ui_text("app", "等 %1 个文件"), "7").
std::string with_args(const std::string& text, const std::string& arg1, const std::string& arg2 = {});

void set_ui_language(UiLanguage language);
UiLanguage ui_language();

// The language the locale asks for (LC_ALL, then LC_MESSAGES, then LANG; `env` looks a
// variable up): Chinese for zh_* and where no language is set (C, POSIX, unset) since
// Chinese is the program's own language; English for every other language.
UiLanguage language_from_locale(const char* (*env)(const char*));
// "zh" or "en" (as given to --lang); false for anything else.
bool parse_ui_language(const std::string& name, UiLanguage* language);

// One translated text of the generated table. The table also keeps the texts that
// lupdate no longer finds in the code (marked vanished), so a text shown without a
// mark (a table of messages, a caption passed on) is translated by its line in the
// file alone.
struct UiTextEntry {
    const char* context;
    const char* source;
    const char* english;
};
// The generated table (ui_text_table.cpp in the build folder) and its length.
extern const UiTextEntry UI_TEXT_TABLE[];
extern const unsigned UI_TEXT_TABLE_SIZE;
