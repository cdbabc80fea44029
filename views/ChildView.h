#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

#include "dsp/ProcessedBuffer.h"
#include "station/Station.h"

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

    explicit CChildView(QWidget* parent = nullptr);

    // Switches to the working face once: captions and both strips shown.
    void LeaveIntro();
    bool Intro() const { return m_bIntro != 0; }
    // Repaints the view and makes both strips redraw from the rows.
    void InvalidateWithErase();
    // A cycle's buffer: the raw strip appends it, then the corrected strip.
    void AppendBuffer(const velto::ProcessedBuffer& buffer);
    // A new run: both strips empty until its first buffer.
    void RestartStrips();
    // The station the captions name: "抽出したJJYの振幅" for JJY 40 kHz,
    // "抽出したDCF77の振幅" and so on for the others.
    void SetStation(const velto::Station& station);
    QString RawCaption() const;
    QString CorrectedCaption() const;
    // The intro's logo strip names the station with its carrier:
    // "JJY 40 kHz 標準電波受信モニター".
    QString IntroCaption() const;

    CFilteredWav* RawStrip() const { return m_wndRawStrip; }
    CFilteredWav* CorrectedStrip() const { return m_wndCorrectedStrip; }

    // The client area as the paint handler draws it (strips not included).
    QImage Render() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void OnPaint(QPainter& dc, const QRect& client) const;
    void OnLButtonDown();
    void DrawIntro(QPainter& dc, const QRect& client) const;

    CFilteredWav* m_wndRawStrip = nullptr;  // owned by Qt parenthood
    CFilteredWav* m_wndCorrectedStrip = nullptr;
    QFont m_logFont;
    int m_bIntro = 1;
    QString m_stationName = QStringLiteral("JJY");
    QString m_stationTitle = QStringLiteral("JJY 40 kHz");
};
