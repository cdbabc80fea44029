#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

#include "views/StripSource.h"

class CFilteredWav;
class QPainter;

// The panel over the frame's whole client area: the intro screen until the
// first start or click, then two captions above the two strip charts.
class CChildView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 816;
    static constexpr int kClientHeight = 369;
    static constexpr int kBorder = 1;

    CChildView(const CStripSource& source, QWidget* parent = nullptr);

    // Switches to the working face once: captions and both strips shown.
    void LeaveIntro();
    // Repaints the view and makes both strips redraw from the rows.
    void InvalidateWithErase();

    // The client area as the paint handler draws it (strips not included).
    QImage Render() const;

    QSize sizeHint() const override;

    CFilteredWav* m_wndRawStrip = nullptr;
    CFilteredWav* m_wndCorrectedStrip = nullptr;
    QFont m_logFont;
    int m_bIntro = 1;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void OnPaint(QPainter& dc, const QRect& client) const;
    void OnLButtonDown();
    void DrawIntro(QPainter& dc, const QRect& client) const;
};
