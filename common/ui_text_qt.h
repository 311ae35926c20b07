// The window's side of common/ui_text.h: a text of the program in the user's language,
// through the translator that app/translations_qt.cpp installs from orbelle_en.ts.
#pragma once

#include "common/ui_text.h"

#include <QCoreApplication>
#include <QString>

// Qt's translator first; where it has nothing (a text lupdate did not find in the code,
// whose English was added to the file by hand), the core's table, which keeps those.
inline QString ui_qtext(const char* context, const char* source) {
    const QString translated = QCoreApplication::translate(context, source);
    if (ui_language() == UiLanguage::Chinese || translated != QString::fromUtf8(source)) return translated;
    return QString::fromUtf8(ui_text(context, source));
}
