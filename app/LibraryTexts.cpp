#include "app/LibraryTexts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

#include "audio/SimulatedWaveIn.h"
#include "health/Warning.h"

namespace {

// A sentence's pattern: its words as they are, each %n a figure to capture.
struct Pattern {
    const char* sentence;
    QRegularExpression match;
    std::vector<int> figures;  // the n of each capture, in order
};

std::vector<Pattern> MakePatterns() {
    static const QRegularExpression figure(QStringLiteral("%([1-9])"));
    std::vector<Pattern> patterns;
    for (const char* sentence : velto::WarningSentences()) {
        const QString text = QString::fromUtf8(sentence);
        QString regex = QStringLiteral("\\A");
        std::vector<int> figures;
        qsizetype from = 0;
        for (auto it = figure.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            regex += QRegularExpression::escape(text.mid(from, m.capturedStart() - from)) +
                     QStringLiteral("(.*)");
            figures.push_back(m.captured(1).toInt());
            from = m.capturedEnd();
        }
        regex += QRegularExpression::escape(text.mid(from)) + QStringLiteral("\\z");
        patterns.push_back(
            {sentence, QRegularExpression(regex, QRegularExpression::DotMatchesEverythingOption),
             std::move(figures)});
    }
    return patterns;
}

}  // namespace

QString ShownWarningText(const std::string& text) {
    static const std::vector<Pattern> patterns = MakePatterns();
    const QString told = QString::fromStdString(text);
    for (const Pattern& pattern : patterns) {
        const QRegularExpressionMatch m = pattern.match.match(told);
        if (!m.hasMatch()) {
            continue;
        }
        // One pass, so that a figure with a "%2" in it (a card's name) stays as it is.
        const QString translated = QCoreApplication::translate("Warning", pattern.sentence);
        QString shown;
        for (qsizetype i = 0; i < translated.size(); ++i) {
            const int n = i + 1 < translated.size() && translated[i] == QLatin1Char('%')
                              ? translated[i + 1].digitValue()
                              : -1;
            const auto at = std::find(pattern.figures.begin(), pattern.figures.end(), n);
            if (n > 0 && at != pattern.figures.end()) {
                shown += m.captured(static_cast<int>(at - pattern.figures.begin()) + 1);
                ++i;
            } else {
                shown += translated[i];
            }
        }
        return shown;
    }
    return told;
}

QString ShownDeviceName(const QString& name) {
    return name == QString::fromUtf8(velto::kSimulatorName)
               ? QCoreApplication::translate("Device", velto::kSimulatorName)
               : name;
}
