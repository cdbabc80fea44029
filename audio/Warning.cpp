#include "audio/Warning.h"

#include <cstdio>
#include <utility>

namespace velto {
namespace {

WarningFunction& Installed() {
    static WarningFunction function;
    return function;
}

}  // namespace

void SetWarningFunction(WarningFunction function) { Installed() = std::move(function); }

void ShowWarning(const std::string& text, const std::string& caption) {
    if (Installed()) {
        Installed()(text, caption);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
}

}  // namespace velto
