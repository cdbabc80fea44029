#include "views/FilteredWav.h"

#include <QPainter>
#include <QShowEvent>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

constexpr QRgb kGray = qRgb(128, 128, 128);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kBlack = qRgb(0, 0, 0);

constexpr int kCellWidth = velto::kSlotsPerBuffer;  // one buffer per grid cell
constexpr int kCells = velto::kRingBuffers;
constexpr int kGridSteps = 5;     // grid lines are half / 5 apart
constexpr int kDashedLines = 4;   // on each side of the centre line
constexpr int kDashLength = 6;    // of every 10-pixel segment, the rest is a gap
constexpr double kBarFill = 0.8;  // a value equal to the scale reaches 0.8 of half
constexpr double kDefaultScale = 200.0;

int WrapSlot(int s) { return ((s % velto::kRowSlots) + velto::kRowSlots) % velto::kRowSlots; }

// Half height of a bar, truncated like the integer arithmetic it replaces but
// defined for every value: NaN and a zero or negative scale give 0, and
// anything past the window's edge is held at half, where it is clipped anyway.
int BarHalfHeight(double v, double scale, int half) {
    if (std::isnan(v) || !(scale > 0.0)) {
        return 0;
    }
    const double a = std::fabs(std::trunc(v));
    const double d = a * (half * kBarFill) / scale;
    if (!(d > 0.0)) {
        return 0;
    }
    if (d >= half) {
        return half;
    }
    return static_cast<int>(d);
}

}  // namespace

CFilteredWav::CFilteredWav(int bRawRow, QWidget* parent)
    : QWidget(parent),
      m_bRawRow(bRawRow),
      m_surface(kClientWidth, kClientHeight, QImage::Format_RGB32) {
    m_surface.fill(kBlack);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(kLeft, bRawRow != 0 ? kRawTop : kCorrectedTop, kClientWidth + 2 * kBorder,
                kClientHeight + 2 * kBorder);
    hide();
}

void CFilteredWav::InvalidateFull() {
    m_fullPaintPending = true;
    update();
}

void CFilteredWav::showEvent(QShowEvent* event) {
    m_fullPaintPending = true;
    QWidget::showEvent(event);
}

void CFilteredWav::paintEvent(QPaintEvent*) {
    if (m_fullPaintPending) {
        OnPaint();
    }
    QPainter dc(this);
    dc.fillRect(rect(), QColor(kBlack));
    dc.drawImage(kBorder, kBorder, m_surface);
}

void CFilteredWav::OnPaint() {
    m_fullPaintPending = false;
    m_surface.fill(kBlack);
    QPainter dc(&m_surface);
    for (int i = 0; i < kCells; ++i) {
        DrawGridCell(dc, i);
    }
    DrawHistory(dc);
}

void CFilteredWav::DrawGridCell(QPainter& dc, int nCell) const {
    const int half = m_surface.height() / 2;
    const int step = half / kGridSteps;
    const int x0 = nCell * kCellWidth;
    dc.fillRect(x0, half, kCellWidth, 1, QColor(kGray));
    for (int k = 1; k <= kDashedLines; ++k) {
        dc.fillRect(x0, half + k * step, kDashLength, 1, QColor(kGray));
        dc.fillRect(x0, half - k * step, kDashLength, 1, QColor(kGray));
    }
}

void CFilteredWav::DrawBars(QPainter& dc, int xFrom, int xTo, int nSlot) const {
    const auto& row = m_bRawRow == 1 ? m_source.rawRow : m_source.correctedRow;
    const int half = m_surface.height() / 2;
    const double level = m_source.sliceLevel;
    const double scale = level != velto::kSliceLevelUnset ? level : kDefaultScale;
    int s = WrapSlot(nSlot);
    for (int x = xFrom; x >= xTo; --x) {
        const int d = BarHalfHeight(row[static_cast<std::size_t>(s)], scale, half);
        dc.fillRect(x, half - d, 1, 2 * d + 1, QColor(kGreen));
        s = WrapSlot(s - 1);
    }
}

void CFilteredWav::DrawHistory(QPainter& dc) const {
    if (!HasData()) {
        return;
    }
    const int s = kCellWidth * m_source.buffer + kCellWidth - 1;
    const int xFrom = m_bFilled != 0 ? kClientWidth - 1 : s;
    DrawBars(dc, xFrom, 0, s);
}

void CFilteredWav::ScrollLeft() {
    const int rowPixels = kClientWidth - kCellWidth;
    for (int y = 0; y < m_surface.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(m_surface.scanLine(y));
        std::memmove(line, line + kCellWidth, sizeof(QRgb) * static_cast<std::size_t>(rowPixels));
    }
}

void CFilteredWav::AppendBuffer(const velto::ProcessedBuffer& buffer) {
    m_source = buffer;
    AppendBuffer(buffer.displayIndex);
}

void CFilteredWav::Restart() {
    m_bFilled = 0;
    m_source = {};
}

void CFilteredWav::AppendBuffer(int nBuffer) {
    if (nBuffer < 0 || nBuffer >= kCells || !HasData()) {
        return;
    }
    const int s = kCellWidth * nBuffer + kCellWidth - 1;
    int xFrom = s;
    if (m_bFilled != 0) {
        ScrollLeft();
        xFrom = kClientWidth - 1;
    }
    QPainter dc(&m_surface);
    if (m_bFilled != 0) {
        dc.fillRect(kClientWidth - kCellWidth, 0, kCellWidth, m_surface.height(), QColor(kBlack));
        DrawGridCell(dc, kCells - 1);
    }
    DrawBars(dc, xFrom, xFrom - kCellWidth, s);
    dc.end();
    if (m_bFilled == 0 && nBuffer == kCells - 1) {
        m_bFilled = 1;
    }
    update();
}
