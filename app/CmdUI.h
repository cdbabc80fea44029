#pragma once

#include <QAction>
#include <QString>

// What an update handler may change of a command's menu item.
class CCmdUI {
public:
    explicit CCmdUI(QAction* action) : m_action(action) {}

    void SetText(const QString& text) { m_action->setText(text); }
    void Enable(bool on = true) { m_action->setEnabled(on); }
    void SetCheck(bool on) { m_action->setChecked(on); }

private:
    QAction* m_action;
};
