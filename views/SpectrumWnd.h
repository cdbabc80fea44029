#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <optional>

#include "plot/ColourScale.h"
#include "spectrum/SpectrumAnalyser.h"

class QPainter;

// The スペクトル window: the whole band's averaged spectrum with its peak hold,
// the noise floor and the markers, the figures (noise floor, carrier level,
// the steady carriers beside it), and the two waterfalls around the carrier.
// The pointer reads frequency and level; the wheel moves the waterfalls'
// colour scale, which otherwise follows the noise floor.
//
// The window keeps no copy of what it shows: it reads the owner's analyser
// when it paints, and paints only while shown. It tells the owner when it is
// shown or hidden, so that the analyser is fed only while someone looks.
class CSpectrumWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 1000;
    static constexpr int kHeight = 760;
    // Wheel steps of the colour scale.
    static constexpr double kShiftDb = 2.0;
    static constexpr double kSpanStepDb = 5.0;
    static constexpr double kMinSpanDb = 10.0;

    // A top-level window that belongs to its owner; hidden until shown.
    explicit CSpectrumWnd(QWidget* owner = nullptr);

    // The analyser to show (the owner's; nullptr: none). Double-clicking the
    // band resets its peak hold.
    void SetAnalyser(velto::CSpectrumAnalyser* analyser);
    // The analyser has new results: drawn if the window is shown.
    void OnSpectrum();

    // The waterfalls' colours: a range of the user's, or following the
    // noise floor.
    void SetColourRange(double low, double high);
    void FollowNoise();
    bool FollowsNoise() const { return !m_manual; }
    ColourScale Colours() const;

    // What the pointer rests on, as the window writes it; empty elsewhere.
    QString HoverText() const;

    static QRect BandRect();
    static QRect WideRect();
    static QRect NarrowRect();
    static QRect ColourBarRect();

    // Draws the whole client area as a paint would.
    QImage Render() const;

signals:
    void VisibilityChanged(bool visible);

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void Draw(QPainter& p) const;
    void Changed();

    velto::CSpectrumAnalyser* m_analyser = nullptr;
    std::optional<ColourScale> m_manual;
    std::optional<QPoint> m_pointer;
};
