#include "app/ElidedLabel.h"

#include <QFontMetrics>

CElidedLabel::CElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), m_mode(mode) {
    // As wide as its row leaves it, whatever the text.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void CElidedLabel::SetFullText(const QString& text) {
    m_full = text;
    Elide();
}

void CElidedLabel::resizeEvent(QResizeEvent* e) {
    QLabel::resizeEvent(e);
    Elide();
}

void CElidedLabel::Elide() {
    const int width = contentsRect().width();
    setText(width > 0 ? fontMetrics().elidedText(m_full, m_mode, width) : m_full);
}
