#pragma once

#include <QString>

#include "receiver/DeviceProfile.h"

class QWidget;

// What a dialog says when OK could not write the profile (a home or profile
// that is read-only or another user's), which the user would otherwise find
// out only at the next start.
QString ProfileUnwritableText();

// What the window says at its start about values of the profile that would
// not do: the file, and each key with its value and what is used instead.
QString ProfileFallbackText(const velto::ProfileFallbacks& fallbacks);

// Shows a dialog's problem in a box over it while it is on screen; a test's
// dialog, never shown, keeps it for the test to read.
void ShowDialogProblem(QWidget* dialog, const QString& text);
