#pragma once

#include "shell/CommandHost.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

// The window's progress bar: a real value on 0 to 100, shown to a hundredth,
// with a caption drawn on the bar. Setting a value only repaints when what the
// bar shows changes, so a run may set it once per row. Assistive technology
// reads it as a progress bar named by its caption (Accessible.h),
// told of changes at most once a frame, and only of those the eye would take
// as news: once the bar has been off zero for half a second (a shorter command
// is over before a reader could say how far it got), never of its return to
// zero (a command's end, told on its own), nor while a message box is open.
class ProgressBar : public QWidget, public ProgressIndicator
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget *parent = nullptr);

    void setValue(double value) override;
    double value() const override { return m_value; }
    void setText(const QString &text) override;
    QString text() const override { return m_text; }
    // The value as the bar shows it: within 0 to 100, to a hundredth.
    double shownValue() const { return m_shown / double(steps / 100); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int steps = 10000;          // hundredths of a percent
    static constexpr qint64 notifyInterval = 16; // milliseconds between two notifications
    static constexpr qint64 quietStart = 500;    // milliseconds off zero before the value is told
    static int shownSteps(double value);
    enum Change
    {
        ValueChange = 1,
        NameChange = 2
    };
    void changed(Change change);
    void notifyAccessibility();

    double m_value = 0;
    int m_shown = 0;
    QString m_text = QStringLiteral("Progress Bar");
    int m_unnotified = 0; // changes assistive technology has not heard of yet
    QElapsedTimer m_sinceNotified;
    QElapsedTimer m_offZero; // since the bar left zero; invalid while at zero
    QTimer m_notifyTimer;
};
