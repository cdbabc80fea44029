#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "log/ReceptionRecord.h"
#include "plot/ReceptionChart.h"
#include "station/Station.h"
#include "timecode/DecoderEvents.h"
#include "views/TimeCodeHistory.h"

class QAbstractButton;
class QButtonGroup;
class QPainter;
class QTimer;

// The time-code window: the minute now as 60 cells filling second by second
// and the five minutes before as rows below, the fields of the last decoded
// minute, and two charts, the on-time point against the sample clock over
// 10 minutes and C/N0 over an hour (or, from the reception log, over 24
// hours or 7 days, as a selector above it chooses). It keeps what it was told while hidden;
// closing only hides it. Events cost a few stores; the window is drawn only
// while shown, once per second received (or per status without a signal).
class CTimeCodeWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 600;

    // A top-level window that belongs to its owner; hidden until shown.
    explicit CTimeCodeWnd(QWidget* owner = nullptr);

    void OnSecond(const velto::DecoderSecond& s);
    void OnMinute(const velto::DecoderMinute& m);
    void OnStatus(const velto::DecoderStatus& s);
    // The station received: the rows are named in its civil time and the
    // fields checked by its parities.
    void SetStation(const velto::Station& station);
    // A new run: its sample indices start again.
    void Clear();
    // The second now, as the status bar's clock shows it (none without a
    // valid time): the highlighted cell. Until the decoder has reported the
    // first second of a new minute, that minute is drawn as an empty row on
    // top.
    void SetPresent(std::optional<std::int64_t> minuteUtc, int second);

    // The reception log, for the C/N0 chart's longer spans: with it the
    // selector 1時間 / 24時間 / 7日 shows above the chart.
    void SetReceptionLog(const std::filesystem::path& directory);
    // The C/N0 chart's span: the last hour as received (10 s points), or
    // 24 hours or 7 days of the log's minutes, read again each minute
    // while shown.
    void SetCn0Span(receptionchart::Span span);
    receptionchart::Span Cn0Span() const { return m_span; }
    QAbstractButton* SpanButton(receptionchart::Span span) const;
    static QRect Cn0ChartRect();
    // Where the log's chart lies (above its strip of decoded minutes).
    static QRect LogChartRect();

    const velto::CTimeCodeHistory& History() const { return m_history; }

    // Where a second's cell of the minute `age` minutes back lies (age 0 is
    // the minute now), and the colour that fills it for each symbol.
    static QRect CellRect(int age, int second);
    static QColor CellColour(velto::TimeSymbol symbol);
    static QColor EmptyCellColour();
    static QColor HighlightColour();
    // The texts of the fields panel, one line each, as drawn.
    QStringList FieldLines() const;

    // Draws the whole client area as a paint would.
    QImage Render() const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void Draw(QPainter& p) const;
    void DrawGrid(QPainter& p) const;
    void DrawLegend(QPainter& p) const;
    void DrawFields(QPainter& p) const;
    void DrawOffsetChart(QPainter& p, const QRect& r) const;
    void DrawCn0Chart(QPainter& p, const QRect& r) const;
    void Changed();
    void ReadLog();
    bool ParityFailed(const velto::DecoderMinute& m) const;

    const velto::Station* m_station = &velto::GetStation(velto::StationId::Jjy40);
    velto::CTimeCodeHistory m_history;
    std::optional<std::int64_t> m_presentMinute;
    int m_presentSecond = -1;
    std::optional<std::filesystem::path> m_logDirectory;
    receptionchart::Span m_span = receptionchart::Span::Hour;
    std::vector<velto::ReceptionRecord> m_logRecords;
    std::int64_t m_logNow = 0;  // the UTC time the log was read at, the chart's right end
    QButtonGroup* m_spans = nullptr;
    QTimer* m_logTimer = nullptr;
};
