#include "app/ProgressBar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <cmath>

ProgressBar::ProgressBar(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
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
        m_shown = shown;
        update();
    }
}

void ProgressBar::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
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
