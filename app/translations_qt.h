// Sets the window's language: the program's own texts from orbelle_en.ts (built into
// the program as a .qm resource) for English, Qt's own Chinese (qtbase_zh_CN from the
// system's Qt translations) for Chinese, so that standard buttons, file dialogs and the
// host folder list speak the window's language. Also sets the core's language.
#pragma once

#include "common/ui_text.h"

// false when a translation file the language needs could not be loaded (the window
// then shows those texts untranslated).
bool install_translations(UiLanguage language);
