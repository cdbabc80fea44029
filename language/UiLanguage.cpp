#include "language/UiLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

UiLanguage UiLanguageOf(const std::function<QString(const char*)>& variable) {
    QString chosen = variable("LANGUAGE").section(QLatin1Char(':'), 0, 0);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (!chosen.isEmpty()) {
            break;
        }
        chosen = variable(name);
    }
    const bool japanese = chosen == QLatin1String("ja") ||
                          chosen.startsWith(QLatin1String("ja_")) ||
                          chosen.startsWith(QLatin1String("ja."));
    return japanese ? UiLanguage::Japanese : UiLanguage::English;
}

UiLanguage UiLanguageFromEnvironment() {
    return UiLanguageOf([](const char* name) { return qEnvironmentVariable(name); });
}

CUiTranslations::CUiTranslations(UiLanguage language) : m_locale(QLocale()) {
    // The translation lives in a static library; naming it keeps it linked.
    Q_INIT_RESOURCE(velto_translations);
    auto translator = std::make_unique<QTranslator>();
    const bool loaded = language == UiLanguage::English
                            ? translator->load(QStringLiteral(":/i18n/velto_en.qm"))
                            : translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"),
                                               QStringLiteral("_"),
                                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded && QCoreApplication::installTranslator(translator.get())) {
        m_installed.push_back(std::move(translator));
    }
    // The intro's pictures carry words too: the resources pick the English
    // ones by the default locale.
    QLocale::setDefault(
        QLocale(language == UiLanguage::English ? QLocale::English : QLocale::Japanese));
}

CUiTranslations::~CUiTranslations() {
    for (const auto& translator : m_installed) {
        QCoreApplication::removeTranslator(translator.get());
    }
    QLocale::setDefault(m_locale);
}
