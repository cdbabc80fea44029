#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "app/MainFrame.h"
#include "headless/CommandLine.h"
#include "tests/audio/FakeWaveService.h"

namespace {

QString Read(const char* name) {
    QFile file(QStringLiteral(VELTO_SOURCE_DIR "/") + QString::fromLatin1(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

// The texts of the window's menus as the user reads them: "開始(S)" for
// "開始(&S)\tSpace".
QStringList MenuItems(const CMainFrame& frame) {
    QStringList items;
    for (const QAction* top : frame.menuBar()->actions()) {
        items << top->text().remove(QLatin1Char('&'));
        for (const QAction* item : top->menu()->actions()) {
            if (!item->isSeparator()) {
                items << item->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
            }
        }
    }
    return items;
}

// The README is the user's manual and the manual page its summary: each
// names every option of the one option table and every item of the menus.
TEST(Manual, ReadmeAndManualPageNameEveryOptionAndMenuItem) {
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
    velto::CFakeWaveService service;
    velto::SetWaveService(&service);
    QSettings().clear();
    {
        const CMainFrame frame;
        const QStringList items = MenuItems(frame);
        EXPECT_GE(items.size(), 10);
        for (const QString& item : items) {
            EXPECT_TRUE(readme.contains(item)) << "README.md lacks " << item.toStdString();
            EXPECT_TRUE(page.contains(item)) << "res/velto.1 lacks " << item.toStdString();
        }
    }
    velto::SetWaveService(nullptr);
}

}  // namespace
