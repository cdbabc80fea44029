#pragma once

#include <QImage>
#include <QWidget>

#include "dsp/ProcessedBuffer.h"

class QPainter;

// One strip chart of the last eight seconds of carrier amplitude: one pixel
// column per 10 ms slot, one grid cell per capture buffer. The client area is
// an image kept as the window's surface; buffers are drawn into it as they
// come, and only an invalidation redraws it whole from the chain's rows,
// which it reads through the last buffer it was handed and never copies.
class CFilteredWav : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = velto::kRowSlots;  // 800
    static constexpr int kClientHeight = 128;
    static constexpr int kBorder = 1;
    static constexpr int kLeft = 10;
    static constexpr int kRawTop = 32;
    static constexpr int kCorrectedTop = 200;

    // bRawRow 1: the raw row at the upper position; 0: the corrected row below.
    // Created hidden, at its place in the parent's client area.
    CFilteredWav(int bRawRow, QWidget* parent);

    // A cycle's result: its rows and level are what the strip draws from
    // now on, and its display index the buffer appended.
    void AppendBuffer(const velto::ProcessedBuffer& buffer);
    // Draws the ten slots of capture buffer nBuffer (0..79) straight into the
    // surface, scrolling first once the strip is full; negative: nothing.
    void AppendBuffer(int nBuffer);
    // A new run: empty, not yet filled, and nothing to draw until its first buffer.
    void Restart();

    // The next paint redraws the whole surface from the rows.
    void InvalidateFull();

    const QImage& Surface() const { return m_surface; }
    // The strip has drawn buffer 79 of its run and scrolls from then on.
    bool Filled() const { return m_bFilled != 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnPaint();
    void DrawGridCell(QPainter& dc, int nCell) const;
    void DrawBars(QPainter& dc, int xFrom, int xTo, int nSlot) const;
    void DrawHistory(QPainter& dc) const;
    void ScrollLeft();
    bool HasData() const { return !m_source.rawRow.empty(); }

    const int m_bRawRow;
    int m_bFilled = 0;
    // The newest buffer of the run; nothing before its first.
    velto::ProcessedBuffer m_source;
    QImage m_surface;
    bool m_fullPaintPending = true;
};
