#pragma once

#include "shell/CommandHost.h"

#include <QWidget>

// The window's progress bar: a real value on 0 to 100, shown to a hundredth,
// with a caption drawn on the bar. Setting a value only repaints when what the
// bar shows changes, so a run may set it once per row.
class ProgressBar : public QWidget, public ProgressIndicator
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget *parent = nullptr);

    void setValue(double value) override;
    double value() const override { return m_value; }
    void setText(const QString &text) override;
    QString text() const override { return m_text; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int steps = 10000; // hundredths of a percent
    static int shownSteps(double value);

    double m_value = 0;
    int m_shown = 0;
    QString m_text = QStringLiteral("Progress Bar");
};
