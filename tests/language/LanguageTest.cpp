#include <gtest/gtest.h>

#include <QCoreApplication>
#include <map>
#include <string>

#include "health/Warning.h"
#include "language/LibraryTexts.h"
#include "language/UiLanguage.h"

namespace {

UiLanguage LanguageOf(const std::map<std::string, QString>& environment) {
    return UiLanguageOf([&](const char* name) {
        const auto it = environment.find(name);
        return it == environment.end() ? QString() : it->second;
    });
}

TEST(UiLanguage, TheFirstVariableSetDecidesInGettextsOrder) {
    const auto ja = UiLanguage::Japanese;
    const auto en = UiLanguage::English;
    EXPECT_EQ(LanguageOf({}), en);
    EXPECT_EQ(LanguageOf({{"LANG", "ja"}}), ja);
    EXPECT_EQ(LanguageOf({{"LANG", "jam"}}), en);
    EXPECT_EQ(LanguageOf({{"LANG", "ja_JP.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}), en);
    EXPECT_EQ(LanguageOf({{"LC_MESSAGES", "en_GB.UTF-8"}, {"LC_ALL", "ja_JP.UTF-8"}}), ja);
    // LANGUAGE's first entry comes before all of them; an empty one counts as unset.
    EXPECT_EQ(LanguageOf({{"LC_ALL", "en_US.UTF-8"}, {"LANGUAGE", "ja:en"}}), ja);
    EXPECT_EQ(LanguageOf({{"LC_ALL", "ja_JP.UTF-8"}, {"LANGUAGE", "en_US:ja"}}), en);
    EXPECT_EQ(LanguageOf({{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", ""}}), ja);
}

// Figures byte for byte: names in any encoding, or looking like a figure's mark.
TEST(ToldWarningText, TheSentenceIsTranslatedAndItsFiguresKeptAsTheyAre) {
    const std::string card = "Karte \xff\xfe %2 (hw:1)";
    const std::string missing = velto::StoredDeviceMissingText(card);
    const std::string dropped = velto::SamplesDroppedText(120, 99999);
    const std::string own = "writing /tmp/\xff.wav failed (File too large).";
    {
        const CUiTranslations english(UiLanguage::English);
        EXPECT_EQ(ToldWarningText(missing), "The stored sound card \"" + card +
                                                "\" is not there. The default device is used");
        EXPECT_EQ(ToldWarningText(dropped), "120 ms of samples lost (99999 ms in this run)");
        EXPECT_EQ(ToldWarningText(own), own);
    }
    const CUiTranslations japanese(UiLanguage::Japanese);
    EXPECT_EQ(ToldWarningText(missing), missing);
    EXPECT_EQ(ToldWarningText(dropped), dropped);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // for the translators
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
