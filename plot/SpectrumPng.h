#pragma once

#include <QImage>
#include <QString>

#include "spectrum/SpectrumAnalyser.h"

// The band of a recording as a picture: the averaged spectrum with its peak
// hold and markers, the figures, and both waterfalls (the newest line on
// top, as many lines as the analyser kept, up to kMaxWaterfallRows).
// Drawing text needs a QGuiApplication; the console front end makes one on
// the offscreen platform for this.
namespace spectrumpng {

inline constexpr int kWidth = 1200;
inline constexpr int kMaxWaterfallRows = 600;

QImage Render(const velto::CSpectrumAnalyser& a);
// False with a sentence in *error when the file cannot be written.
bool Write(const velto::CSpectrumAnalyser& a, const QString& path, QString* error);

// Where the parts lie in the picture.
QRect BandRect();
QRect WideRect(const velto::CSpectrumAnalyser& a);
QRect NarrowRect(const velto::CSpectrumAnalyser& a);

}  // namespace spectrumpng
