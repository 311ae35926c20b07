#include "app/translations_qt.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// One translator of each kind for the life of the program; a new language replaces it.
QTranslator& program_translator() {
    static QTranslator* translator = new QTranslator;
    return *translator;
}

QTranslator& qt_translator() {
    static QTranslator* translator = new QTranslator;
    return *translator;
}

}  // namespace

bool install_translations(UiLanguage language) {
    set_ui_language(language);
    QCoreApplication::removeTranslator(&program_translator());
    QCoreApplication::removeTranslator(&qt_translator());
    bool loaded = true;
    if (language == UiLanguage::English) {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        loaded = program_translator().load(QStringLiteral(":/translations/orbelle_en.qm"));
        if (loaded) QCoreApplication::installTranslator(&program_translator());
    } else {
        // The desktop's file type descriptions follow the default locale.
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        QLocale::setDefault(chinese);
        loaded = qt_translator().load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                                      QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        if (loaded) QCoreApplication::installTranslator(&qt_translator());
    }
    return loaded;
}
