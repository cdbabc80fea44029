#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <string>

#include "app/StatusBar.h"
#include "headless/CommandLine.h"
#include "health/Warning.h"
#include "language/UiLanguage.h"
#include "tests/app/FrameFixture.h"
#include "views/ChildView.h"
#include "views/ClockStatus.h"
#include "views/TimeCodeWnd.h"

namespace {

using velto::WarningCode;

class TranslatedFrame : public CFrameFixture {
protected:
    void Build(UiLanguage language) {
        m_frame.reset();
        m_translations = std::make_unique<CUiTranslations>(language);
        m_frame = std::make_unique<CMainFrame>();
        m_frame->show();
    }
    void TearDown() override {
        m_frame.reset();
        m_translations.reset();
    }
    // The menus as they stand before they are first opened, then the window's texts.
    QStringList Face() const {
        QStringList titles, commands;
        for (const QAction* menu : m_frame->menuBar()->actions()) titles << menu->text();
        for (const QAction* a : m_frame->ReceiveMenu()->actions()) commands << a->text();
        return QStringList{titles.join('|'), commands.join('|')}
               << m_frame->StatusBar()->ReceptionText() << m_frame->StatusBar()->DeviceText()
               << m_frame->ClockStatus()->StateText() << m_frame->View()->RawCaption()
               << m_frame->View()->IntroCaption();
    }
    // The longest figures and names included.
    void EveryWarningFits(bool english) {
        std::vector<std::pair<WarningCode, std::string>> warnings{
            {WarningCode::SamplesDropped, velto::SamplesDroppedText(99999, 999999)},
            {WarningCode::StoredDeviceMissing,
             velto::StoredDeviceMissingText("HDA Intel PCH: ALC892 Analog (hw:0,0)")}};
        for (WarningCode code : {WarningCode::NoUltrasound, WarningCode::Clipping,
                                 WarningCode::Silence, WarningCode::DeviceLost}) {
            warnings.emplace_back(code, velto::WarningText(code));
        }
        CStatusBar* bar = m_frame->StatusBar();
        for (const auto& [code, text] : warnings) {
            bar->OnHealthEvent({code, true, text});
            const QString shown = bar->MessageText();
            EXPECT_TRUE(bar->MessageFits()) << shown.toStdString();
            bar->OnHealthEvent({code, false, {}});
            if (english) {
                EXPECT_FALSE(shown.contains(QRegularExpression("[\\x{3000}-\\x{9fff}]")))
                    << shown.toStdString();
            } else {
                EXPECT_EQ(shown, QString::fromStdString(text));
            }
        }
        bar->OnHealthEvent(
            {WarningCode::NoUltrasound, true, warnings[2].second + warnings[2].second});
        EXPECT_FALSE(bar->MessageFits()) << "a text too long is cut short";
        bar->OnHealthEvent({WarningCode::NoUltrasound, false, {}});
        EXPECT_FALSE(bar->ShowsWarning());
    }
    QImage RowLabel() const {
        m_frame->TimeCode()->OnSecond(
            viewtest::Second(viewtest::kMinute2016, 5, velto::TimeSymbol::Zero));
        const QRect first = CTimeCodeWnd::CellRect(0, 0);
        return m_frame->TimeCode()->Render().copy(0, first.top(), first.left(), first.height());
    }
    std::unique_ptr<CUiTranslations> m_translations;
};

// The Japanese texts are the code's own: the face of the frame built without translations.
TEST_F(TranslatedFrame, EachLocaleShowsEveryTextInItsLanguage) {
    const std::pair<UiLanguage, QStringList> faces[] = {
        {UiLanguage::Japanese, Face()},
        {UiLanguage::English,
         {"&Receive|&Help",
          "&Start\tSpace|&Open File...|&Record...|Sound &Card...|Cloc&k Setting...|"
          "&Waveform|&Time Code|S&pectrum||E&xit",
          "Stopped", "Default device", "No signal", "Extracted JJY amplitude",
          "JJY 40 kHz time-signal monitor"}},
    };
    QImage japanese;
    for (const auto& [language, face] : faces) {
        const bool english = language == UiLanguage::English;
        Build(language);
        EXPECT_EQ(Face(), face);
        EveryWarningFits(english);
        // A minute's row is named hh:mm whatever the language's date reads like.
        if (english) {
            EXPECT_EQ(RowLabel(), japanese);
        } else {
            japanese = RowLabel();
        }
    }
    Space();
    CStatusBar* bar = m_frame->StatusBar();
    EXPECT_EQ((QStringList{bar->ReceptionText(), bar->MessageText(), StartText()}),
              (QStringList{"Receiving", "Checking the input…", "Stop\tSpace"}));
}

QString Read(const char* name) {
    QFile file(QStringLiteral(VELTO_SOURCE_DIR "/") + QString::fromLatin1(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

using Manual = CFrameFixture;

// The README is the user's manual and the manual page its summary.
TEST_F(Manual, ReadmeAndManualPageNameEveryOptionAndMenuItem) {
    const QString readme = Read("README.md");
    // The manual page writes "-" as "\-"; its options stand in .TP entries.
    const QString page = Read("res/velto.1").replace(QStringLiteral("\\-"), QStringLiteral("-"));
    for (const OptionEntry& o : OptionTable()) {
        const QString name = QString::fromStdString(o.name);
        EXPECT_TRUE(readme.contains(QLatin1Char('`') + name)) << "README.md lacks " << o.name;
        EXPECT_TRUE(page.contains(QStringLiteral(".TP\n.B ") + name) ||
                    page.contains(QStringLiteral(".TP\n.BI ") + name) ||
                    page.contains(QStringLiteral(".TP\n.BR ") + name))
            << "res/velto.1 has no entry for " << o.name;
    }
    // The menus' texts as the user reads them: "開始(S)" for "開始(&S)\tSpace".
    QStringList items;
    for (const QAction* top : m_frame->menuBar()->actions()) {
        items << top->text().remove(QLatin1Char('&'));
        for (const QAction* item : top->menu()->actions()) {
            if (!item->isSeparator()) {
                items << item->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
            }
        }
    }
    EXPECT_GE(items.size(), 10);
    for (const QString& item : items) {
        EXPECT_TRUE(readme.contains(item)) << "README.md lacks " << item.toStdString();
        EXPECT_TRUE(page.contains(item)) << "res/velto.1 lacks " << item.toStdString();
    }
}

}  // namespace
