#include "views/ChildView.h"

#include <QFile>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>

#include "views/FilteredWav.h"

namespace {

constexpr QRgb kLightGray = qRgb(192, 192, 192);
constexpr QRgb kBorderColour = qRgb(0, 0, 0);

constexpr int kCaptionCellHeight = 28;
constexpr QPoint kRawCaption(12, 4);
constexpr QPoint kCorrectedCaption(12, 170);

// The intro images and the sizes they are drawn at.
struct IntroImage {
    const char* path;
    QSize size;
};
constexpr IntroImage kInfoPanel{":/intro/panel.svg", QSize(416, 376)};
constexpr IntroImage kEquipment{":/intro/equipment.svg", QSize(432, 324)};
constexpr IntroImage kLogoStrip{":/intro/logo.svg", QSize(432, 53)};

// Where the logo strip's caption names the station.
constexpr char kCaptionMark[] = "{caption}";

// Renders one image at its own size, `caption` in place of its mark; a
// missing resource draws nothing.
void DrawImage(QPainter& dc, const IntroImage& image, QPoint at, const QString& caption = {}) {
    QFile file(QString::fromLatin1(image.path));
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    QByteArray svg = file.readAll();
    svg.replace(kCaptionMark, caption.toHtmlEscaped().toUtf8());
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        return;
    }
    QImage bitmap(image.size, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::transparent);
    QPainter memory(&bitmap);
    renderer.render(&memory, QRectF(QPointF(0, 0), QSizeF(image.size)));
    memory.end();
    dc.drawImage(at, bitmap);
}

// A font whose character cell (ascent plus descent) is at most `cellHeight`
// pixels, the largest such size.
QFont CellHeightFont(const QFont& logFont, int cellHeight) {
    QFont font(logFont);
    int size = cellHeight;
    font.setPixelSize(size);
    while (size > 1 && QFontMetrics(font).height() > cellHeight) {
        font.setPixelSize(--size);
    }
    return font;
}

}  // namespace

// The images are compiled into a static library, whose resource initialiser
// the linker drops unless something refers to it. Registering twice is harmless.
static void InitIntroResources() { Q_INIT_RESOURCE(app); }

CChildView::CChildView(QWidget* parent) : QWidget(parent) {
    InitIntroResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_logFont.setFamilies(
        {QStringLiteral("Meiryo UI"), QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic")});
    m_logFont.setWeight(QFont::Normal);
    m_logFont.setFixedPitch(true);
    m_wndRawStrip = new CFilteredWav(1, this);
    m_wndCorrectedStrip = new CFilteredWav(0, this);
    // Strip positions are in client coordinates, inside the view's border.
    m_wndRawStrip->move(m_wndRawStrip->pos() + QPoint(kBorder, kBorder));
    m_wndCorrectedStrip->move(m_wndCorrectedStrip->pos() + QPoint(kBorder, kBorder));
}

QSize CChildView::sizeHint() const {
    return QSize(kClientWidth + 2 * kBorder, kClientHeight + 2 * kBorder);
}

void CChildView::LeaveIntro() {
    if (m_bIntro != 1) {
        return;
    }
    m_bIntro = 0;
    m_wndRawStrip->show();
    m_wndCorrectedStrip->show();
    InvalidateWithErase();
}

void CChildView::AppendBuffer(const velto::ProcessedBuffer& buffer) {
    m_wndRawStrip->AppendBuffer(buffer);
    m_wndCorrectedStrip->AppendBuffer(buffer);
}

void CChildView::RestartStrips() {
    m_wndRawStrip->Restart();
    m_wndCorrectedStrip->Restart();
}

void CChildView::InvalidateWithErase() {
    update();
    m_wndRawStrip->InvalidateFull();
    m_wndCorrectedStrip->InvalidateFull();
}

QImage CChildView::Render() const {
    const QSize client(std::max(0, width() - 2 * kBorder), std::max(0, height() - 2 * kBorder));
    QImage image(client, QImage::Format_RGB32);
    if (image.isNull()) {
        return image;
    }
    image.fill(kLightGray);
    QPainter dc(&image);
    OnPaint(dc, image.rect());
    return image;
}

void CChildView::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    dc.fillRect(rect(), QColor(kBorderColour));
    dc.drawImage(kBorder, kBorder, Render());
}

void CChildView::OnPaint(QPainter& dc, const QRect& client) const {
    const QFont font = CellHeightFont(m_logFont, kCaptionCellHeight);
    dc.setFont(font);
    dc.setPen(QColor(Qt::black));
    if (m_bIntro != 0) {
        DrawIntro(dc, client);
        return;
    }
    const int ascent = QFontMetrics(font).ascent();
    dc.drawText(kRawCaption + QPoint(0, ascent), RawCaption());
    dc.drawText(kCorrectedCaption + QPoint(0, ascent), CorrectedCaption());
}

void CChildView::SetStation(const velto::Station& station) {
    m_stationTitle = QString::fromStdString(velto::TitleWithCarrier(station));
    m_stationName =
        station.id == velto::StationId::Jjy40
            ? QStringLiteral("JJY")
            : QString::fromUtf8(station.title.data(), static_cast<qsizetype>(station.title.size()));
    update();
}

QString CChildView::RawCaption() const { return tr("抽出した%1の振幅").arg(m_stationName); }

QString CChildView::CorrectedCaption() const { return tr("補正した%1の振幅").arg(m_stationName); }

QString CChildView::IntroCaption() const {
    return tr("%1 標準電波受信モニター").arg(m_stationTitle);
}

void CChildView::DrawIntro(QPainter& dc, const QRect& client) const {
    DrawImage(dc, kInfoPanel, QPoint(0, 0));
    const int x = client.left() + client.width() - kEquipment.size.width();
    DrawImage(dc, kEquipment, QPoint(x, 0));
    DrawImage(dc, kLogoStrip, QPoint(x, kEquipment.size.height()), IntroCaption());
}

void CChildView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown();
    }
    QWidget::mousePressEvent(event);
}

void CChildView::OnLButtonDown() {
    if (m_bIntro == 1) {
        LeaveIntro();
    }
}
