#include "language/LibraryTexts.h"

#include <QCoreApplication>
#include <string>
#include <string_view>
#include <vector>

#include "audio/SimulatedWaveIn.h"
#include "health/Warning.h"

namespace {

// A sentence's pattern: the words between its figures, and the n of each
// %n in order.
struct Pattern {
    const char* sentence;
    std::vector<std::string> words;  // one more than the figures
    std::vector<int> figures;
};

Pattern PatternOf(const char* sentence) {
    Pattern pattern{sentence, {{}}, {}};
    for (const char* c = sentence; *c != '\0'; ++c) {
        if (c[0] == '%' && c[1] >= '1' && c[1] <= '9') {
            pattern.figures.push_back(c[1] - '0');
            pattern.words.emplace_back();
            ++c;
        } else {
            pattern.words.back() += *c;
        }
    }
    return pattern;
}

// The figures of `text` from the k-th on, where `text` must read as the
// pattern's words from k on; each figure as long as the rest allows, as a
// regular expression's (.*) would take it.
bool MatchFrom(const Pattern& pattern, std::size_t k, std::string_view text,
               std::vector<std::string_view>* figures) {
    const std::string& word = pattern.words[k];
    if (text.substr(0, word.size()) != word) {
        return false;
    }
    text.remove_prefix(word.size());
    if (k == pattern.figures.size()) {
        return text.empty();
    }
    for (std::size_t length = text.size() + 1; length-- > 0;) {
        figures->push_back(text.substr(0, length));
        if (MatchFrom(pattern, k + 1, text.substr(length), figures)) {
            return true;
        }
        figures->pop_back();
    }
    return false;
}

}  // namespace

std::string ToldWarningText(const std::string& text) {
    static const std::vector<Pattern> patterns = [] {
        std::vector<Pattern> all;
        for (const char* sentence : velto::WarningSentences()) {
            all.push_back(PatternOf(sentence));
        }
        return all;
    }();
    for (const Pattern& pattern : patterns) {
        std::vector<std::string_view> captured;
        if (!MatchFrom(pattern, 0, text, &captured)) {
            continue;
        }
        std::vector<std::string> byNumber(9);
        for (std::size_t i = 0; i < captured.size(); ++i) {
            byNumber[static_cast<std::size_t>(pattern.figures[i] - 1)] = captured[i];
        }
        // One pass, so that a figure with a "%2" in it (a card's name) stays as it is.
        return velto::FillSentence(
            QCoreApplication::translate("Warning", pattern.sentence).toStdString(), byNumber);
    }
    return text;
}

QString ShownWarningText(const std::string& text) {
    return QString::fromStdString(ToldWarningText(text));
}

QString ShownDeviceName(const QString& name) {
    return name == QString::fromUtf8(velto::kSimulatorName)
               ? QCoreApplication::translate("Device", velto::kSimulatorName)
               : name;
}
