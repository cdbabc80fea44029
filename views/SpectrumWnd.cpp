#include "views/SpectrumWnd.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "plot/SpectrumPlot.h"
#include "spectrum/Level.h"

namespace {

constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowCloseButtonHint;

constexpr QRect kBand{60, 72, 920, 250};
constexpr QRect kWide{60, 400, 430, 280};
constexpr QRect kNarrow{550, 400, 430, 280};
constexpr QRect kColourBar{60, 722, 200, 12};
constexpr int kTextLeft = 12;
const QColor kText{230, 230, 235};
const QColor kFaint{150, 150, 160};
// Where the scale sits when no noise floor is known yet.
constexpr double kNoNoiseDb = -100.0;

QString Db(double v) {
    return v < 0.0 ? QStringLiteral("−") + QString::number(-v, 'f', 1) : QString::number(v, 'f', 1);
}

QString Offset(double hz, int decimals) {
    return (hz >= 0.0 ? QStringLiteral("+") : QStringLiteral("−")) +
           QString::number(std::abs(hz), 'f', decimals);
}

}  // namespace

CSpectrumWnd::CSpectrumWnd(QWidget* owner) : QWidget(owner, kWindowFlags) {
    setWindowTitle(tr("スペクトル"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kWidth, kHeight);
    setMouseTracking(true);
}

QRect CSpectrumWnd::BandRect() { return kBand; }
QRect CSpectrumWnd::WideRect() { return kWide; }
QRect CSpectrumWnd::NarrowRect() { return kNarrow; }
QRect CSpectrumWnd::ColourBarRect() { return kColourBar; }

void CSpectrumWnd::SetAnalyser(velto::CSpectrumAnalyser* analyser) {
    m_analyser = analyser;
    Changed();
}

void CSpectrumWnd::OnSpectrum() { Changed(); }

void CSpectrumWnd::Changed() {
    if (isVisible()) {
        update();
    }
}

void CSpectrumWnd::SetColourRange(double low, double high) {
    if (high - low < kMinSpanDb) {
        high = low + kMinSpanDb;
    }
    m_manual = ColourScale{low, high};
    Changed();
}

void CSpectrumWnd::FollowNoise() {
    m_manual.reset();
    Changed();
}

ColourScale CSpectrumWnd::Colours() const {
    if (m_manual) {
        return *m_manual;
    }
    const auto noise = m_analyser != nullptr ? m_analyser->NoiseDb() : std::nullopt;
    return ColourScale::Following(noise.value_or(kNoNoiseDb));
}

QString CSpectrumWnd::HoverText() const {
    if (!m_pointer || m_analyser == nullptr) {
        return {};
    }
    const QPoint at = *m_pointer;
    const velto::CSpectrumAnalyser& a = *m_analyser;
    if (kBand.contains(at) && a.Band().Frames() > 0) {
        const double hz = spectrumplot::BandFrequencies(a, kBand).FromPixel(at.x());
        const int bin = a.Band().BinOf(hz);
        return tr("%1 Hz　%2 dB/Hz")
            .arg(QString::number(bin * a.Band().BinHz(), 'f', 1),
                 Db(velto::level::ToDb(a.Band().Average(bin))));
    }
    for (const auto& [rect, waterfall] :
         {std::pair{kWide, &a.Wide()}, std::pair{kNarrow, &a.Narrow()}}) {
        const auto point = spectrumplot::WaterfallAt(*waterfall, rect, at);
        if (point) {
            const int decimals = waterfall->BinHz() < 1.0 ? 2 : 0;
            return tr("%1 Hz (%2 Hz)　%3 dB/Hz　%4 秒前")
                .arg(Offset(point->offsetHz, decimals),
                     QString::number(a.Options().carrierHz + point->offsetHz, 'f', decimals),
                     Db(point->db))
                .arg(point->age);
        }
    }
    return {};
}

QImage CSpectrumWnd::Render() const {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setFont(font());
    Draw(p);
    return image;
}

void CSpectrumWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Draw(p);
}

void CSpectrumWnd::Draw(QPainter& p) const {
    p.fillRect(QRect(0, 0, kWidth, kHeight), spectrumplot::Background());
    p.setPen(kText);
    if (m_analyser == nullptr) {
        p.drawText(QRect(0, 0, kWidth, kHeight), Qt::AlignCenter,
                   tr("受信を開始するとスペクトルを表示します"));
        return;
    }
    const velto::CSpectrumAnalyser& a = *m_analyser;
    p.drawText(QRect(kTextLeft, 6, kWidth - 2 * kTextLeft, 18), Qt::AlignLeft | Qt::AlignVCenter,
               spectrumplot::LevelsText(a));
    p.drawText(QRect(kTextLeft, 26, kWidth - 2 * kTextLeft, 18), Qt::AlignLeft | Qt::AlignVCenter,
               spectrumplot::CarriersText(a));
    spectrumplot::DrawBand(p, kBand, a);
    const ColourScale scale = Colours();
    const auto carriers = a.Carriers();
    spectrumplot::DrawWaterfall(p, kWide, a.Wide(), scale, tr("搬送波 ±500 Hz (1 Hz)、1秒ごと"),
                                carriers);
    spectrumplot::DrawWaterfall(p, kNarrow, a.Narrow(), scale,
                                tr("搬送波 ±25 Hz (0.05 Hz)、1秒ごと"), carriers);
    spectrumplot::DrawColourBar(p, kColourBar, scale, m_manual ? tr("(手動)") : tr("(自動)"));
    p.setPen(kText);
    p.drawText(QRect(kWidth / 2, kColourBar.top() - 4, kWidth / 2 - kTextLeft, 20),
               Qt::AlignRight | Qt::AlignVCenter, HoverText());
    p.setPen(kFaint);
    p.drawText(QRect(kTextLeft, kHeight - 22, kWidth - 2 * kTextLeft, 18),
               Qt::AlignLeft | Qt::AlignVCenter,
               tr("ホイール: 色の範囲を移動　Shift+ホイール: 幅を変更　"
                  "ダブルクリック: 色を自動に戻す (スペクトル上ではピークホールドを"
                  "リセット)"));
}

void CSpectrumWnd::closeEvent(QCloseEvent* e) {
    e->ignore();
    hide();
}

void CSpectrumWnd::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    emit VisibilityChanged(true);
}

void CSpectrumWnd::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    emit VisibilityChanged(false);
}

void CSpectrumWnd::mouseMoveEvent(QMouseEvent* e) {
    m_pointer = e->position().toPoint();
    Changed();
}

void CSpectrumWnd::leaveEvent(QEvent*) {
    m_pointer.reset();
    Changed();
}

void CSpectrumWnd::wheelEvent(QWheelEvent* e) {
    const QPoint at = e->position().toPoint();
    // Some platforms turn Shift+wheel into a horizontal turn.
    const QPoint turn = e->angleDelta();
    const int notches = (turn.y() != 0 ? turn.y() : turn.x()) / 120;
    if (notches == 0 || !(kWide.contains(at) || kNarrow.contains(at) ||
                          kColourBar.adjusted(0, -6, 300, 6).contains(at))) {
        e->ignore();
        return;
    }
    ColourScale s = Colours();
    if (e->modifiers() & Qt::ShiftModifier) {
        SetColourRange(s.low, s.high + notches * kSpanStepDb);
    } else {
        SetColourRange(s.low + notches * kShiftDb, s.high + notches * kShiftDb);
    }
    e->accept();
}

void CSpectrumWnd::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (kBand.contains(at)) {
        if (m_analyser != nullptr) {
            m_analyser->Band().ResetPeak();
        }
        Changed();
    } else {
        FollowNoise();
    }
}
