#include "views/TimeCodeWnd.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Geometry.h"
#include "base/SystemTime.h"
#include "log/ReceptionLogReader.h"
#include "views/TimeTexts.h"

using velto::CTimeCodeHistory;
using velto::TimeSymbol;

namespace {

constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowCloseButtonHint;

// The grid: a label column, 61 cells (the 61st only for a leap second) and a
// tag column; the minute now on top, a gap, then the five before.
constexpr int kLabelX = 8;
constexpr int kCellX = 60;
constexpr int kCellW = 11;
constexpr int kCellH = 18;
constexpr int kHeaderY = 6;
constexpr int kNowY = 24;
constexpr int kPastY = kNowY + kCellH + 8;
constexpr int kTagX = kCellX + CTimeCodeHistory::kCells * kCellW + 6;
constexpr int kLegendY = kPastY + (CTimeCodeHistory::kRows - 1) * kCellH + 8;
constexpr int kFieldsY = kLegendY + 26;
constexpr int kFieldLineH = 20;
constexpr QRect kOffsetChart{48, 272, 736, 128};
constexpr QRect kCn0Chart{48, 450, 736, 128};
// The log's chart leaves room below for its strip of decoded minutes.
constexpr QRect kLogChart{48, 450, 736, 114};
// The span selector, in the chart's title row.
constexpr int kSpanX = 440;
constexpr int kSpanW = 64;
constexpr int kSpanH = 20;
constexpr int kLogReadMs = 60 * 1000;

const QColor kBackground{255, 255, 255};
const QColor kGridLine{200, 200, 200};
const QColor kInk{0, 0, 0};
const QColor kFaint{110, 110, 110};
const QColor kOffsetTrace{20, 90, 200};
const QColor kCn0Trace{0, 150, 70};

// The decoder's reports count samples at the base rate, whatever the capture's.
constexpr double kSamplesPerSecond = velto::kSampleRate;

QChar CellLetter(TimeSymbol s) {
    switch (s) {
        case TimeSymbol::Zero:
            return QLatin1Char('0');
        case TimeSymbol::One:
            return QLatin1Char('1');
        case TimeSymbol::Marker:
            return QLatin1Char('M');
        case TimeSymbol::Erasure:
            return QLatin1Char('?');
        case TimeSymbol::CallSign:
            return QLatin1Char('C');
    }
    return QLatin1Char(' ');
}

QColor LetterColour(TimeSymbol s) { return s == TimeSymbol::Zero ? kInk : QColor(Qt::white); }

QString HourMinute(velto::CivilZone zone, std::int64_t utcUnix) {
    const velto::CivilTime t = velto::CivilTimeAt(zone, utcUnix);
    return QStringLiteral("%1:%2")
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'));
}

// JJY's two parities have names of their own; the other stations' are told
// together.
bool IsJjy(const velto::Station& station) {
    return station.id == velto::StationId::Jjy40 || station.id == velto::StationId::Jjy60;
}

// A step of 1, 2 or 5 times a power of ten that cuts `span` into at most five.
double NiceStep(double span) {
    const double base = std::pow(10.0, std::floor(std::log10(span / 5.0)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (span / (m * base) <= 5.0) {
            return m * base;
        }
    }
    return 10.0 * base;
}

struct Chart {
    QString title;
    QString right;       // a figure at the title's right
    double spanSeconds;  // the x axis runs from -spanSeconds to now
    QString leftLabel, midLabel;
    double minSpan;  // of the y axis, in the value's unit
    QColor trace;
};

// Points are (seconds before the newest, value). An empty set says so.
void DrawChart(QPainter& p, const QRect& r, const Chart& c, const QPolygonF& points) {
    p.setPen(kInk);
    p.drawText(QRect(r.left(), r.top() - 22, r.width(), 20), Qt::AlignLeft | Qt::AlignVCenter,
               c.title);
    p.drawText(QRect(r.left(), r.top() - 22, r.width(), 20), Qt::AlignRight | Qt::AlignVCenter,
               c.right);
    p.fillRect(r, QColor(248, 248, 248));
    p.setPen(kGridLine);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (points.isEmpty()) {
        p.setPen(kFaint);
        p.drawText(r, Qt::AlignCenter, QCoreApplication::translate("CTimeCodeWnd", "データなし"));
        return;
    }
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const QPointF& pt : points) {
        lo = std::min(lo, pt.y());
        hi = std::max(hi, pt.y());
    }
    if (hi - lo < c.minSpan) {
        const double mid = (hi + lo) / 2.0;
        lo = mid - c.minSpan / 2.0;
        hi = mid + c.minSpan / 2.0;
    }
    const double step = NiceStep(hi - lo);
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    const double xScale = (r.width() - 1) / c.spanSeconds;
    const double yScale = (r.height() - 1) / (hi - lo);
    auto toX = [&](double seconds) { return r.right() - (seconds * xScale); };
    auto toY = [&](double v) { return r.bottom() - (v - lo) * yScale; };

    QFont small = p.font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    for (double v = lo; v <= hi + step / 2.0; v += step) {
        const int y = static_cast<int>(std::lround(toY(v)));
        p.setPen(kGridLine);
        p.drawLine(r.left(), y, r.right(), y);
        p.setPen(kFaint);
        p.drawText(QRect(r.left() - 46, y - 8, 42, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(std::abs(v) < step / 2.0 ? 0.0 : v, 'f', step < 1.0 ? 1 : 0));
    }
    p.setPen(kFaint);
    const int below = r.bottom() + 2;
    p.drawText(QRect(r.left(), below, 80, 14), Qt::AlignLeft | Qt::AlignTop, c.leftLabel);
    p.drawText(QRect(r.center().x() - 40, below, 80, 14), Qt::AlignHCenter | Qt::AlignTop,
               c.midLabel);
    p.drawText(QRect(r.right() - 80, below, 80, 14), Qt::AlignRight | Qt::AlignTop,
               QCoreApplication::translate("CTimeCodeWnd", "現在"));
    p.setPen(kGridLine);
    p.drawLine(r.center().x(), r.top(), r.center().x(), r.bottom());

    QPolygonF line;
    line.reserve(points.size());
    for (const QPointF& pt : points) {
        line.append(QPointF(toX(pt.x()), toY(pt.y())));
    }
    p.setClipRect(r);
    p.setPen(QPen(c.trace, 1.5));
    p.setRenderHint(QPainter::Antialiasing, true);
    if (line.size() == 1) {
        p.drawEllipse(line.front(), 2.0, 2.0);
    } else {
        p.drawPolyline(line);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipping(false);
}

}  // namespace

CTimeCodeWnd::CTimeCodeWnd(QWidget* owner) : QWidget(owner, kWindowFlags) {
    setWindowTitle(tr("タイムコード"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kWidth, kHeight);
    m_spans = new QButtonGroup(this);
    const std::pair<receptionchart::Span, QString> spans[] = {
        {receptionchart::Span::Hour, tr("1時間")},
        {receptionchart::Span::Day, tr("24時間")},
        {receptionchart::Span::Week, tr("7日")}};
    int x = kSpanX;
    for (const auto& [span, text] : spans) {
        auto* button = new QPushButton(text, this);
        button->setCheckable(true);
        button->setChecked(span == m_span);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(x, kCn0Chart.top() - kSpanH - 4, kSpanW, kSpanH);
        button->hide();
        m_spans->addButton(button, static_cast<int>(span));
        x += kSpanW;
    }
    connect(m_spans, &QButtonGroup::idClicked, this,
            [this](int id) { SetCn0Span(static_cast<receptionchart::Span>(id)); });
    m_logTimer = new QTimer(this);
    m_logTimer->setInterval(kLogReadMs);
    connect(m_logTimer, &QTimer::timeout, this, [this] {
        ReadLog();
        Changed();
    });
}

void CTimeCodeWnd::SetReceptionLog(const std::filesystem::path& directory) {
    m_logDirectory = directory;
    for (QAbstractButton* button : m_spans->buttons()) {
        button->show();
    }
}

QAbstractButton* CTimeCodeWnd::SpanButton(receptionchart::Span span) const {
    return m_spans->button(static_cast<int>(span));
}

QRect CTimeCodeWnd::Cn0ChartRect() { return kCn0Chart; }
QRect CTimeCodeWnd::LogChartRect() { return kLogChart; }

// The log's spans are read when chosen, and again each minute while shown,
// as the log gains a line a minute. The hour needs no file.
void CTimeCodeWnd::SetCn0Span(receptionchart::Span span) {
    if (span != receptionchart::Span::Hour && !m_logDirectory) {
        span = receptionchart::Span::Hour;
    }
    m_span = span;
    if (QAbstractButton* button = SpanButton(span)) {
        button->setChecked(true);
    }
    ReadLog();
    if (m_span != receptionchart::Span::Hour && isVisible()) {
        m_logTimer->start();
    } else {
        m_logTimer->stop();
    }
    Changed();
}

void CTimeCodeWnd::ReadLog() {
    if (m_span == receptionchart::Span::Hour || !m_logDirectory) {
        m_logRecords.clear();
        return;
    }
    m_logNow = velto::SystemTime::Now().sec;
    m_logRecords = velto::ReadReceptionLog(*m_logDirectory,
                                           m_logNow - receptionchart::Seconds(m_span), m_logNow)
                       .records;
}

void CTimeCodeWnd::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (m_span != receptionchart::Span::Hour) {
        ReadLog();
        m_logTimer->start();
    }
}

void CTimeCodeWnd::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    m_logTimer->stop();
}

void CTimeCodeWnd::OnSecond(const velto::DecoderSecond& s) {
    m_history.AddSecond(s);
    Changed();
}

void CTimeCodeWnd::OnMinute(const velto::DecoderMinute& m) {
    m_history.AddMinute(m);
    Changed();
}

void CTimeCodeWnd::OnStatus(const velto::DecoderStatus& s) {
    m_history.AddStatus(s);
    // With seconds coming, the next one repaints; without, the status does.
    if (s.state == velto::ReceptionState::NoSignal) {
        Changed();
    }
}

void CTimeCodeWnd::SetStation(const velto::Station& station) {
    m_station = &station;
    Changed();
}

void CTimeCodeWnd::Clear() {
    m_history.Clear();
    m_presentMinute.reset();
    Changed();
}

void CTimeCodeWnd::SetPresent(std::optional<std::int64_t> minuteUtc, int second) {
    m_presentMinute = minuteUtc;
    m_presentSecond = second;
    Changed();
}

// A hidden window is not drawn; showing it paints what it holds. Qt merges
// the requests of one pass of the event loop into one paint.
void CTimeCodeWnd::Changed() {
    if (isVisible()) {
        update();
    }
}

void CTimeCodeWnd::closeEvent(QCloseEvent* e) {
    e->ignore();
    hide();
}

QRect CTimeCodeWnd::CellRect(int age, int second) {
    const int y = age == 0 ? kNowY : kPastY + (age - 1) * kCellH;
    return {kCellX + second * kCellW, y, kCellW, kCellH};
}

QColor CTimeCodeWnd::CellColour(TimeSymbol symbol) {
    switch (symbol) {
        case TimeSymbol::Zero:
            return {225, 225, 225};
        case TimeSymbol::One:
            return {40, 110, 220};
        case TimeSymbol::Marker:
            return {210, 40, 40};
        case TimeSymbol::Erasure:
            return {80, 80, 80};
        case TimeSymbol::CallSign:
            return {150, 60, 200};
    }
    return EmptyCellColour();
}

QColor CTimeCodeWnd::EmptyCellColour() { return kBackground; }

QColor CTimeCodeWnd::HighlightColour() { return {255, 190, 0}; }

QImage CTimeCodeWnd::Render() const {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    Draw(p);
    return image;
}

void CTimeCodeWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Draw(p);
}

void CTimeCodeWnd::Draw(QPainter& p) const {
    p.fillRect(QRect(0, 0, kWidth, kHeight), kBackground);
    p.setFont(font());
    DrawGrid(p);
    DrawLegend(p);
    DrawFields(p);
    DrawOffsetChart(p, kOffsetChart);
    DrawCn0Chart(p, kCn0Chart);
}

void CTimeCodeWnd::DrawGrid(QPainter& p) const {
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    QFont bold = small;
    bold.setBold(true);

    p.setFont(small);
    p.setPen(kFaint);
    for (int second = 0; second < 60; second += 10) {
        const QRect cell = CellRect(0, second);
        p.drawText(QRect(cell.left(), kHeaderY, 40, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(second));
    }

    // The minute now on top: a minute the decoder has not reached yet is an
    // empty row above the ones it filled.
    const std::optional<std::int64_t> top = m_history.RowAt(0).minuteUtc;
    const int shift = m_presentMinute && top && *m_presentMinute > *top ? 1 : 0;
    const bool present = m_presentMinute && (shift == 1 || top == m_presentMinute);
    CTimeCodeHistory::Row coming;
    coming.minuteUtc = m_presentMinute;
    const int now = present ? m_presentSecond : m_history.Now();
    for (int age = 0; age < CTimeCodeHistory::kRows; ++age) {
        const CTimeCodeHistory::Row& row = age < shift ? coming : m_history.RowAt(age - shift);
        const QRect first = CellRect(age, 0);
        p.setFont(small);
        p.setPen(age == 0 ? kInk : kFaint);
        const QString label = row.minuteUtc   ? HourMinute(m_station->zone, *row.minuteUtc)
                              : age == 0      ? tr("現在")
                              : row.last >= 0 ? QStringLiteral("--:--")
                                              : QString();
        p.drawText(QRect(kLabelX, first.top(), kCellX - kLabelX - 4, kCellH),
                   Qt::AlignRight | Qt::AlignVCenter, label);
        if (row.callSign) {
            p.setPen(CellColour(TimeSymbol::CallSign));
            p.drawText(QRect(kTagX, first.top(), kWidth - kTagX, kCellH),
                       Qt::AlignLeft | Qt::AlignVCenter, tr("呼出符号"));
        }
        const int cells = row.last >= 60 ? CTimeCodeHistory::kCells : 60;
        p.setFont(bold);
        for (int second = 0; second < cells; ++second) {
            const QRect cell = CellRect(age, second);
            const auto& symbol = row.cells[static_cast<std::size_t>(second)];
            p.fillRect(cell, symbol ? CellColour(*symbol) : EmptyCellColour());
            p.setPen(kGridLine);
            p.drawRect(cell.adjusted(0, 0, -1, -1));
            if (symbol) {
                p.setPen(LetterColour(*symbol));
                p.drawText(cell.adjusted(1, 3, 0, -1), Qt::AlignCenter,
                           QString(CellLetter(*symbol)));
            }
        }
    }
    if (now >= 0) {
        p.setPen(QPen(HighlightColour(), 2));
        p.drawRect(CellRect(0, now).adjusted(0, 0, -1, -1));
    }
    p.setFont(font());
}

void CTimeCodeWnd::DrawLegend(QPainter& p) const {
    struct Item {
        TimeSymbol symbol;
        const char* text;
    };
    static constexpr Item items[] = {
        {TimeSymbol::Marker, QT_TRANSLATE_NOOP("CTimeCodeWnd", "マーカー")},
        {TimeSymbol::One, "1"},
        {TimeSymbol::Zero, "0"},
        {TimeSymbol::Erasure, QT_TRANSLATE_NOOP("CTimeCodeWnd", "判定不能")},
        {TimeSymbol::CallSign, QT_TRANSLATE_NOOP("CTimeCodeWnd", "呼出符号 (JJY)")}};
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    int x = kCellX;
    for (const Item& item : items) {
        if (item.symbol == TimeSymbol::CallSign && !m_station->callSignMinutes) {
            continue;
        }
        const QRect swatch(x, kLegendY + 3, kCellW, 12);
        p.fillRect(swatch, CellColour(item.symbol));
        p.setPen(kGridLine);
        p.drawRect(swatch.adjusted(0, 0, -1, -1));
        p.setPen(kFaint);
        const QString text = tr(item.text);
        p.drawText(QRect(x + kCellW + 4, kLegendY, 120, 18), Qt::AlignLeft | Qt::AlignVCenter,
                   text);
        x += kCellW + 4 + p.fontMetrics().horizontalAdvance(text) + 18;
    }
    p.setFont(font());
}

QStringList CTimeCodeWnd::FieldLines() const {
    const auto& m = m_history.LastMinute();
    if (!m) {
        return {tr("解読した分はまだありません")};
    }
    QStringList lines;
    lines << tr("最後に解読した分:  時 %1　分 %2　通算日 %3　年 %4　曜日 %5")
                 .arg(m->hour)
                 .arg(m->minute)
                 .arg(m->dayOfYear)
                 .arg(m->year)
                 .arg(velto::WeekdayText(m->weekday));
    const auto ok = [](bool good) { return good ? QStringLiteral("OK") : QStringLiteral("NG"); };
    const int confidence = static_cast<int>(std::lround(m->confidence * 100.0));
    QString checks = IsJjy(*m_station)
                         ? tr("PA1 %1　PA2 %2　信頼度 %3%")
                               .arg(ok(m->pa1Ok), ok(m->pa2Ok), QString::number(confidence))
                     : m_station->layout.parityCount > 0
                         ? tr("パリティ %1　信頼度 %2%").arg(ok(m->paritiesOk)).arg(confidence)
                         : tr("信頼度 %1%").arg(confidence);
    if (m->flywheel) {
        checks += tr("　(フライホイール)");
    }
    lines << checks;
    if (m->ls1) {
        lines << (m->ls2 ? tr("うるう秒予告: 今月末 (UTC) に1秒挿入")
                         : tr("うるう秒予告: 今月末 (UTC) に1秒削除"));
    }
    if (m->callSignMinute) {
        lines << tr("呼出符号の分: 年・曜日・うるう秒の符号は送られません");
    }
    return lines;
}

bool CTimeCodeWnd::ParityFailed(const velto::DecoderMinute& m) const {
    return IsJjy(*m_station) ? !m.pa1Ok || !m.pa2Ok : !m.paritiesOk;
}

void CTimeCodeWnd::DrawFields(QPainter& p) const {
    const QStringList lines = FieldLines();
    const auto& m = m_history.LastMinute();
    int y = kFieldsY;
    for (int i = 0; i < lines.size(); ++i) {
        QColor colour = kInk;
        if (m && i == 1 && ParityFailed(*m)) {
            colour = CellColour(TimeSymbol::Marker);
        } else if (m && i >= 2) {
            colour = lines[i].startsWith(tr("うるう秒")) ? CellColour(TimeSymbol::Marker)
                                                         : CellColour(TimeSymbol::CallSign);
        }
        p.setPen(colour);
        p.drawText(QRect(kLabelX, y, kWidth - 2 * kLabelX, kFieldLineH),
                   Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
        y += kFieldLineH;
    }
}

void CTimeCodeWnd::DrawOffsetChart(QPainter& p, const QRect& r) const {
    constexpr double span = CTimeCodeHistory::kOffsetPoints;
    QPolygonF points;
    const int n = m_history.OffsetCount();
    if (n > 0) {
        const double newest = m_history.OffsetAt(n - 1).sample;
        points.reserve(n);
        for (int i = 0; i < n; ++i) {
            const auto pt = m_history.OffsetAt(i);
            const double back = (newest - pt.sample) / kSamplesPerSecond;
            if (back <= span) {
                points.append(QPointF(back, pt.value));
            }
        }
    }
    const auto& status = m_history.LastStatus();
    QString drift;
    if (status && std::isfinite(status->driftPpm)) {
        const double ppm = std::round(status->driftPpm * 10.0) / 10.0;  // no "-0.0"
        drift = tr("クロック偏差 %1%2 ppm")
                    .arg(ppm < 0.0 ? QStringLiteral("-") : QStringLiteral("+"))
                    .arg(std::abs(ppm), 0, 'f', 1);
    }
    DrawChart(p, r,
              {tr("オンタイム点のずれ (サンプルクロック基準, 過去10分) [ms]"), drift, span,
               tr("-10分"), tr("-5分"), 2.0, kOffsetTrace},
              points);
}

void CTimeCodeWnd::DrawCn0Chart(QPainter& p, const QRect& r) const {
    const auto& last = m_history.LastStatus();
    if (m_span != receptionchart::Span::Hour) {
        receptionchart::Draw(p, kLogChart, m_logRecords, m_logNow, m_span);
        p.setPen(kInk);
        p.drawText(QRect(r.left(), r.top() - 22, r.width(), 20), Qt::AlignRight | Qt::AlignVCenter,
                   last ? velto::Cn0Text(last->cn0DbHz) : QString());
        return;
    }
    constexpr double span = CTimeCodeHistory::kCn0Points * CTimeCodeHistory::kCn0Bin;
    QPolygonF points;
    const auto& status = m_history.LastStatus();
    const int n = m_history.Cn0Count();
    if (n > 0 && status) {
        const double newest = static_cast<double>(status->sample);
        points.reserve(n);
        for (int i = 0; i < n; ++i) {
            const auto pt = m_history.Cn0At(i);
            const double back = (newest - pt.sample) / kSamplesPerSecond;
            if (back >= 0.0 && back <= span) {
                points.append(QPointF(back, pt.value));
            }
        }
    }
    DrawChart(p, r,
              {tr("C/N0 (過去1時間, 10秒平均) [dB-Hz]"),
               status ? velto::Cn0Text(status->cn0DbHz) : QString(), span, tr("-60分"), tr("-30分"),
               10.0, kCn0Trace},
              points);
}
