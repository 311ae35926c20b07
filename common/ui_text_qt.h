// The window's side of common/ui_text.h: a text of the program in the user's language,
// through the translator that app/translations_qt.cpp installs from orbelle_en.ts.
#pragma once

#include <QCoreApplication>
#include <QString>

inline QString ui_qtext(const char* context, const char* source) {
    return QCoreApplication::translate(context, source);
}
