#pragma once

// Marks a Japanese text of a library without Qt that the window shows in
// its own language: the text stays as it is here (the console prints it so),
// and scripts/update-translations collects it under `context` for the
// window, which looks it up with QCoreApplication::translate.
#define VELTO_TRANSLATE_NOOP(context, text) text
