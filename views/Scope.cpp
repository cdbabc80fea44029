#include "views/Scope.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

#include "base/Geometry.h"

namespace {

// A captioned, resizable window with a close box and no minimise or
// maximise button.
constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowCloseButtonHint;

constexpr int kMaxMagnification = 64;
// A pixel of drag in the compressed view moves 4.8 columns of 100 samples.
constexpr int kCompressedDragSamples = 480;
constexpr int kDragHotX = 16;
constexpr int kDragHotY = 9;

QPoint ClientPoint(const QPointF& position) {
    return {velto::ClampToInt(std::floor(position.x())),
            velto::ClampToInt(std::floor(position.y()))};
}

QString Number(double v) { return QString::asprintf("%1.0f", v); }

// The channels' labels differ in their blanks, and the VLF microvolt form
// carries a V before the number; both are kept as the caption has them.
QString ScaleLabel(bool vlf, double v) {
    if (v >= 1.0) {
        return (vlf ? QStringLiteral("  VLF:%1V/DIV") : QStringLiteral(" GPS:%1V/DIV"))
            .arg(Number(v));
    }
    if (v >= 0.001) {
        return (vlf ? QStringLiteral(" VLF:%1mV/DIV") : QStringLiteral(" GPS:%1mV/DIV"))
            .arg(Number(v * 1000.0));
    }
    if (v >= 0.000001) {
        return (vlf ? QStringLiteral(" VLF:V%1μV/DIV") : QStringLiteral(" GPS:%1μV/DIV"))
            .arg(Number(v * 1000000.0));
    }
    return {};
}

}  // namespace

CScope::CScope(QWidget* owner) : QWidget(owner, kWindowFlags), m_baseTitle(tr("オシロスコープ")) {
    // The images live in a static library; nothing else would pull them in.
    Q_INIT_RESOURCE(scope);
    setWindowTitle(m_baseTitle);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
}

CScope::~CScope() = default;

int CScope::CreateScope(QWidget* pOwner) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return 0;
    }
    setParent(pOwner, kWindowFlags);
    setWindowTitle(m_baseTitle);
    setGeometry(velto::ScopeWindowRect(screen->geometry()));
    return 1;
}

void CScope::SetBaseTitle(QString title) { m_baseTitle = std::move(title); }

void CScope::FeedBuffer(const std::int16_t* vlf, const double* gps, int count, int rate,
                        double carrierHz) {
    const int n = count;
    m_rate = rate;
    m_vlfSamples.resize(n);
    m_gpsSamples.resize(n);
    std::copy(vlf, vlf + n, m_vlfSamples.begin());
    std::transform(gps, gps + n, m_gpsSamples.begin(),
                   [](double v) { return velto::ClampToInt(std::round(v)); });
    m_sampleCount = n;
    m_bitsPerSample = velto::kBitsPerSample;
    m_startIndex = std::min(m_startIndex, m_sampleCount);
    m_marker = kNoMarker;
    m_frequency = carrierHz;
    m_overlayFlagA = 1;
    update();
}

void CScope::SetSamples(std::vector<std::int32_t> vlf, std::vector<std::int32_t> gps,
                        int bitsPerSample) {
    const std::size_t n = std::min(vlf.size(), gps.size());
    m_vlfSamples = std::move(vlf);
    m_gpsSamples = std::move(gps);
    m_vlfSamples.resize(n);
    m_gpsSamples.resize(n);
    m_sampleCount = static_cast<int>(n);
    m_bitsPerSample = bitsPerSample;
    m_startIndex = std::min(m_startIndex, m_sampleCount);
    update();
}

void CScope::SetMarker(double marker) {
    m_marker = marker;
    update();
}

void CScope::SetFrequency(double hz) {
    m_frequency = hz;
    update();
}

void CScope::SetOverlayFlags(int a, int b) {
    m_overlayFlagA = a;
    m_overlayFlagB = b;
    update();
}

void CScope::UpdateCaption() {
    setWindowTitle(m_baseTitle + ScaleLabel(true, velto::VoltsPerDivision[m_vlfScale]) +
                   ScaleLabel(false, velto::VoltsPerDivision[m_gpsScale]));
}

void CScope::closeEvent(QCloseEvent* e) {
    // Closing keeps the window, its buffers and its settings for the next show.
    e->ignore();
    hide();
}

void CScope::wheelEvent(QWheelEvent* e) {
    const bool shift = e->modifiers().testFlag(Qt::ShiftModifier);
    const QPoint angle = e->angleDelta();
    int delta = angle.y();
    if (delta == 0 && angle.x() != 0) {
        // Sideways scrolling is not a wheel turn, except where the system
        // itself turns Shift+wheel into it.
        if (!shift) {
            e->ignore();
            return;
        }
        delta = angle.x();
    }
    // Touchpads mark the start and end of a gesture with empty events.
    if (delta == 0 && (e->phase() == Qt::ScrollBegin || e->phase() == Qt::ScrollEnd)) {
        e->ignore();
        return;
    }
    if (shift) {
        StepScale(ClientPoint(e->position()).y(), delta);
    } else {
        StepMagnification(delta);
    }
    e->accept();
}

// One step per event whatever its size, along 0, 1, 2, 4, ..., 64; a turn
// toward the user magnifies.
void CScope::StepMagnification(int delta) {
    const int before = m_magnification;
    if (delta < 0) {
        if (m_magnification == 0) {
            m_magnification = 1;
        } else if (m_magnification < kMaxMagnification) {
            m_magnification *= 2;
        }
    } else if (m_magnification > 1) {
        m_magnification /= 2;
    } else if (m_magnification == 1) {
        m_magnification = 0;
    }
    if (m_magnification != before) {
        update();
    }
}

// Steps the scale of the panel under the pointer; over the header or the gap
// nothing changes. A turn toward the user makes the scale finer.
void CScope::StepScale(int y, int delta) {
    const velto::ScopeLayout layout = velto::MakeScopeLayout(width(), height());
    int* target = nullptr;
    if (y > layout.upper.top && y < layout.upper.bottom) {
        target = &m_gpsScale;
    } else if (y > layout.lower.top) {
        target = &m_vlfScale;
    } else {
        return;
    }
    if (delta < 0 && *target < velto::kMaxScaleIndex) {
        ++*target;
        update();
    } else if (delta >= 0 && *target > 0) {
        --*target;
        update();
    }
}

void CScope::mousePressEvent(QMouseEvent* e) {
    e->accept();
    if (e->button() != Qt::LeftButton) {
        return;
    }
    setCursor(QCursor(QPixmap(QStringLiteral(":/scope/drag.png")), kDragHotX, kDragHotY));
    const QPoint point = ClientPoint(e->position());
    m_dragX = point.x();
    m_dragY = point.y();
    m_dragging = 1;
    grabMouse();
}

void CScope::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
    if (e->button() != Qt::LeftButton) {
        return;
    }
    m_dragging = 0;
    releaseMouse();
    unsetCursor();
}

void CScope::mouseMoveEvent(QMouseEvent* e) {
    e->accept();
    if (m_dragging == 0) {
        return;
    }
    const QPoint point = ClientPoint(e->position());
    Pan(point.x(), point.y());
}

// Dragging left brings later samples into view. At either end the drag has
// slack: the reference point stays until the pointer turns back past it.
void CScope::Pan(int x, int y) {
    const long long dx = static_cast<long long>(x) - m_dragX;
    if ((dx < 0 && m_startIndex >= m_sampleCount) || (dx >= 0 && m_startIndex <= 0)) {
        return;
    }
    const long long step = m_magnification > 0 ? dx : dx * kCompressedDragSamples;
    const long long start = std::clamp<long long>(m_startIndex - step, 0, m_sampleCount);
    m_startIndex = static_cast<int>(start);
    m_dragY = y;
    m_dragX = x;
    update();
}

void CScope::keyPressEvent(QKeyEvent* e) { e->accept(); }
