#pragma once

#include <QLocale>
#include <QString>
#include <QTranslator>
#include <functional>
#include <memory>
#include <vector>

// The language the window and the console speak. Their texts are written in
// Japanese, which a Japanese locale shows as they are; every other locale
// gets the English translation compiled into the program
// (res/translations/velto_en.ts).
enum class UiLanguage { Japanese, English };

// The language the environment asks for, in gettext's order: LANGUAGE's first
// entry, then LC_ALL, LC_MESSAGES and LANG, the first one set deciding;
// Japanese for "ja" or "ja_JP..." and English for anything else or nothing.
UiLanguage UiLanguageOf(const std::function<QString(const char*)>& variable);
UiLanguage UiLanguageFromEnvironment();

// The translators of a language installed in the application for as long as
// this lives: Velto's English, or Qt's own texts (the file dialog's, the
// question box's buttons) in Japanese where those are installed; and the
// language's default locale, which picks the intro's pictures.
class CUiTranslations {
public:
    explicit CUiTranslations(UiLanguage language);
    ~CUiTranslations();
    CUiTranslations(const CUiTranslations&) = delete;
    CUiTranslations& operator=(const CUiTranslations&) = delete;

private:
    std::vector<std::unique_ptr<QTranslator>> m_installed;
    QLocale m_locale;  // the default before, given back at the end
};
