#include "app/Controls.h"

#include "app/Accessible.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>

namespace {

class CommandButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        // Held down, the key presses the button once. (Qt's autoDefault would
        // press it too, but draws a focused button as the default one.)
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!event->isAutoRepeat())
                click();
            event->accept();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

} // namespace

QRect twips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
}

QFont arialBold(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

QGroupBox *captionedFrame(const QString &caption, QWidget *parent)
{
    installAccessibleInterfaces();
    return new QGroupBox(caption, parent);
}

QPushButton *commandButton(QWidget *parent, const char *name, const QString &caption, const QRect &geometry)
{
    auto *result = placed(new CommandButton(caption, parent), name, geometry);
    result->setFont(arialBold(11.25));
    result->setMouseTracking(true);
    return result;
}

int FieldBox::value() const
{
    switch (checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

void FieldBox::setValue(int value)
{
    setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

void FieldBox::nextCheckState()
{
    const bool tick = checkState() != Qt::Checked;
    setTristate(false);
    setCheckState(tick ? Qt::Checked : Qt::Unchecked);
}
