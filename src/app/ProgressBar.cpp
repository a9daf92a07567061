#include "app/ProgressBar.h"

#include "app/Accessible.h"

#include <QAccessible>
#include <QApplication>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <cmath>
#include <utility>

ProgressBar::ProgressBar(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    installAccessibleInterfaces();
    m_notifyTimer.setSingleShot(true);
    m_notifyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_notifyTimer, &QTimer::timeout, this, &ProgressBar::notifyAccessibility);
    m_sinceNotified.start();
}

int ProgressBar::shownSteps(double value)
{
    if (!(value > 0)) // also NaN
        return 0;
    if (value >= 100)
        return steps;
    return int(std::lround(value * (steps / 100)));
}

void ProgressBar::setValue(double value)
{
    m_value = value;
    const int shown = shownSteps(value);
    if (shown != m_shown) {
        if (shown == 0)
            m_offZero.invalidate();
        else if (m_shown == 0)
            m_offZero.start();
        m_shown = shown;
        changed(ValueChange);
    }
}

void ProgressBar::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    changed(NameChange);
}

void ProgressBar::changed(Change change)
{
    update();
    if (!QAccessible::isActive())
        return;
    // At most one notification a frame; the last change of a burst follows
    // once the frame is over.
    m_unnotified |= change;
    if (m_notifyTimer.isActive())
        return;
    const qint64 wait = notifyInterval - m_sinceNotified.elapsed();
    if (wait <= 0)
        notifyAccessibility();
    else
        m_notifyTimer.start(int(wait));
}

void ProgressBar::notifyAccessibility()
{
    m_sinceNotified.restart();
    const int changes = std::exchange(m_unnotified, 0);
    if (!QAccessible::isActive())
        return;
    if ((changes & ValueChange) && m_shown > 0) {
        const qint64 early = quietStart - m_offZero.elapsed();
        if (early > 0) { // told once it is news
            m_unnotified |= ValueChange;
            m_notifyTimer.start(int(early));
        } else if (!QApplication::activeModalWidget()) {
            QAccessibleValueChangeEvent event(this, shownValue());
            QAccessible::updateAccessibility(&event);
        }
    }
    if (changes & NameChange) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

QSize ProgressBar::sizeHint() const
{
    return QSize(200, 27);
}

void ProgressBar::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.state |= QStyle::State_Horizontal;
    option.minimum = 0;
    option.maximum = steps;
    option.progress = m_shown;
    option.text = m_text;
    option.textVisible = true;
    option.textAlignment = Qt::AlignCenter;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}
