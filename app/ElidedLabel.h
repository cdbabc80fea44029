#pragma once

#include <QLabel>
#include <QString>

// A one-line label that shows its whole text when it fits and else shortens
// it ("…" in the middle or at the end), again at every change of its width;
// the whole text stays in FullText().
class CElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit CElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    QString FullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Elide();

    Qt::TextElideMode m_mode;
    QString m_full;
};
