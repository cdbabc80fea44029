#pragma once

#include <QString>

class QWidget;

// The file dialogs of the window, Qt's own (not the desktop's), so that they
// speak Japanese like the rest of it. Each returns the chosen path, or an
// empty string when the user cancelled.

// A recording to replay; the filter lists every format libsndfile reads.
QString ChooseRecordingToOpen(QWidget* parent);
// The WAV file to record to. Whether to overwrite an existing one is asked
// by the caller, who also knows whether it is the input.
QString ChooseRecordingTarget(QWidget* parent);
// The filter of the first, as its dialog shows it.
QString RecordingFilter();
