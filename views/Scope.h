#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "base/Geometry.h"
#include "views/ScopeGeometry.h"

class QPainter;

// A two-channel oscilloscope window: the GPS channel in the upper panel, the
// VLF channel in the lower, a shared time axis that zooms from 100 samples per
// column to 64 pixels per sample, a marker, a fitted sine over the VLF trace
// and a frequency readout. Operated with the mouse; closing only hides it.
// It keeps its own copy of what it shows and reads nothing else while it draws.
class CScope : public QWidget {
    Q_OBJECT

public:
    static constexpr double kNoMarker = -1.0;

    // A top-level window that belongs to its owner: it stays above the owner
    // and goes with it. Hidden until shown.
    explicit CScope(QWidget* owner = nullptr);
    ~CScope() override;

    // Sets the window up on the primary screen; returns nonzero on success.
    int CreateScope(QWidget* pOwner);
    // The caption follows at the next paint.
    void SetBaseTitle(QString title);

    // Hands over a received buffer: its `count` raw 16-bit samples at `rate`
    // as the VLF channel and the band-pass output of the same buffer,
    // rounded, as the GPS channel; the overlay is fitted at the carrier and
    // no marker is shown. Once sized, the buffers are reused, so a cycle
    // allocates nothing.
    void FeedBuffer(const std::int16_t* vlf, const double* gps, int count = velto::kBufferSamples,
                    int rate = velto::kSampleRate, double carrierHz = velto::kCarrierHz);
    // Hands over two channels of any length (the longer is cut to the
    // shorter), 16-bit or, with bitsPerSample 24, 24-bit values.
    void SetSamples(std::vector<std::int32_t> vlf, std::vector<std::int32_t> gps,
                    int bitsPerSample);
    // In samples, fractions allowed; -1.0 for none.
    void SetMarker(double marker);
    // Of the sine overlay and the readout, in Hz; 0.0 for none.
    void SetFrequency(double hz);
    // Either at 1 enables the sine overlay; b non-zero also drops the marker's
    // one-sample offset.
    void SetOverlayFlags(int a, int b);

    // Draws the whole client area as a paint would, caption included.
    QImage Render();

    const std::vector<std::int32_t>& VlfSamples() const { return m_vlfSamples; }
    const std::vector<std::int32_t>& GpsSamples() const { return m_gpsSamples; }
    int SampleCount() const { return m_sampleCount; }
    int BitsPerSample() const { return m_bitsPerSample; }
    int Magnification() const { return m_magnification; }
    int VlfScale() const { return m_vlfScale; }
    int GpsScale() const { return m_gpsScale; }
    int StartIndex() const { return m_startIndex; }
    int Dragging() const { return m_dragging; }
    int DragX() const { return m_dragX; }
    int DragY() const { return m_dragY; }
    double Marker() const { return m_marker; }
    double Frequency() const { return m_frequency; }
    int OverlayFlagA() const { return m_overlayFlagA; }
    int OverlayFlagB() const { return m_overlayFlagB; }
    const QString& BaseTitle() const { return m_baseTitle; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void StepMagnification(int delta);
    void StepScale(int y, int delta);
    void Pan(int x, int y);

    void DrawTimeAxis(QPainter& p, const velto::ScopeRect& r);
    void UpdateCaption();
    void DrawPanelGrid(QPainter& p, const velto::ScopeRect& panel);
    void DrawMarker(QPainter& p, const velto::ScopeRect& r);
    void DrawSampleTrace(QPainter& p, const velto::ScopeRect& panel,
                         const std::vector<std::int32_t>& buffer, int scale);
    void DrawEnvelopeTrace(QPainter& p, const velto::ScopeRect& panel,
                           const std::vector<std::int32_t>& buffer, int scale);
    void DrawSineOverlay(QPainter& p, const velto::ScopeRect& lower);
    int SineValueToY(double value, const velto::ScopeRect& lower) const;
    void DrawFrequency(QPainter& p, const velto::ScopeRect& lower);
    void DrawSeparator(QPainter& p, const velto::ScopeRect& r);

    // Empty stands for no buffers; both are always of m_sampleCount.
    std::vector<std::int32_t> m_vlfSamples;
    std::vector<std::int32_t> m_gpsSamples;
    int m_sampleCount = 0;
    // 0 is the compressed view (100 samples a column), else pixels per sample.
    int m_magnification = 1;
    int m_vlfScale = 0;  // index into VoltsPerDivision
    int m_gpsScale = 0;
    int m_bitsPerSample = 16;
    int m_rate = velto::kSampleRate;  // samples per second of the channels
    int m_dragX = 0;
    int m_dragY = 0;
    int m_dragging = 0;
    int m_startIndex = 0;  // sample at the left edge, 0..m_sampleCount
    double m_marker = -1.0;
    QString m_baseTitle;
    double m_frequency = 0.0;
    int m_overlayFlagA = 0;
    int m_overlayFlagB = 0;
};
