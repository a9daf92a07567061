#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Runs a box's lost-focus handler the way the user meets it. Leaving the box
// by the keyboard runs it once the focus has moved. A click elsewhere in the
// window moves the focus before the press arrives: when the box's text is not
// acceptable, the press then runs the handler instead of reaching its target,
// and its release is held back too; not the next click's, should the release
// have gone astray while the handler's message blocked the window.
class LostFocusWatch : public QObject
{
public:
    LostFocusWatch(QWidget *window, QWidget *box, std::function<bool()> acceptable, std::function<void()> lostFocus);
    ~LostFocusWatch() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *const m_window;
    QWidget *const m_box;
    const std::function<bool()> m_acceptable;
    const std::function<void()> m_lostFocus;
    bool m_clickLeftBox = false;
    bool m_swallowRelease = false;
};
