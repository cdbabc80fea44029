#include "plot/SpectrumPng.h"

#include <QCoreApplication>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>

#include "plot/SpectrumPlot.h"

namespace spectrumpng {
namespace {

constexpr int kMargin = 60;
constexpr int kTextTop = 10;
constexpr int kBandTop = 90;
constexpr int kBandHeight = 260;
constexpr int kWaterfallTop = kBandTop + kBandHeight + 80;
constexpr int kGap = 60;
constexpr int kBottom = 70;

int WaterfallRows(const velto::CSpectrumAnalyser& a) {
    return std::clamp(a.Wide().Lines(), 60, kMaxWaterfallRows);
}

}  // namespace

QRect BandRect() { return {kMargin, kBandTop, kWidth - 2 * kMargin, kBandHeight}; }

QRect WideRect(const velto::CSpectrumAnalyser& a) {
    return {kMargin, kWaterfallTop, (kWidth - 2 * kMargin - kGap) / 2, WaterfallRows(a)};
}

QRect NarrowRect(const velto::CSpectrumAnalyser& a) {
    const QRect wide = WideRect(a);
    return {wide.right() + 1 + kGap, kWaterfallTop, wide.width(), wide.height()};
}

QImage Render(const velto::CSpectrumAnalyser& a) {
    const QRect narrow = NarrowRect(a);
    QImage image(kWidth, narrow.bottom() + kBottom, QImage::Format_RGB32);
    image.fill(spectrumplot::Background());
    QPainter p(&image);
    const auto& o = a.Options();
    p.setPen(QColor(230, 230, 235));
    const QString title =
        QCoreApplication::translate("SpectrumPng", "Velto スペクトル　%1 Hz　搬送波 %2 kHz　%3 秒")
            .arg(o.sampleRate)
            .arg(o.carrierHz / 1000.0, 0, 'f', 1)
            .arg(a.Wide().Added());
    p.drawText(QRect(kMargin, kTextTop, kWidth - 2 * kMargin, 18), Qt::AlignLeft, title);
    p.drawText(QRect(kMargin, kTextTop + 20, kWidth - 2 * kMargin, 18), Qt::AlignLeft,
               spectrumplot::LevelsText(a));
    p.drawText(QRect(kMargin, kTextTop + 40, kWidth - 2 * kMargin, 18), Qt::AlignLeft,
               spectrumplot::CarriersText(a));
    spectrumplot::DrawBand(p, BandRect(), a);
    const ColourScale scale = ColourScale::Following(a.NoiseDb().value_or(-100.0));
    const auto carriers = a.Carriers();
    spectrumplot::DrawWaterfall(p, WideRect(a), a.Wide(), scale,
                                QCoreApplication::translate("SpectrumPng", "搬送波 ±500 Hz (1 Hz)"),
                                carriers);
    spectrumplot::DrawWaterfall(
        p, NarrowRect(a), a.Narrow(), scale,
        QCoreApplication::translate("SpectrumPng", "搬送波 ±25 Hz (0.05 Hz)"), carriers);
    spectrumplot::DrawColourBar(p, QRect(kMargin, narrow.bottom() + 40, 200, 12), scale, QString());
    return image;
}

// The picture replaces the file whole or not at all: a full disk leaves the
// old one as it was, not half a PNG.
bool Write(const velto::CSpectrumAnalyser& a, const QString& path, QString* error) {
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    const bool written =
        file.open(QIODevice::WriteOnly) && writer.write(Render(a)) && file.commit();
    if (!written) {
        const QString why =
            file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        *error = QStringLiteral("Cannot write the spectrum image %1: %2.").arg(path, why);
        return false;
    }
    return true;
}

}  // namespace spectrumpng
