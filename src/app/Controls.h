#pragma once

#include <QCheckBox>
#include <QFont>
#include <QRect>

class QGroupBox;
class QPushButton;

// The window's layout is given in twips; 15 twips make a pixel.
QRect twips(int left, int top, int width, int height);
// The window's bold Arial at the given size.
QFont arialBold(double points);

// Names a control and puts it in its place.
template <typename W> W *placed(W *widget, const char *name, const QRect &geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// A frame with a caption, which a reader's review of the screen finds where
// it is drawn (Accessible.h: the reader's view of it is made at its birth).
QGroupBox *captionedFrame(const QString &caption, QWidget *parent);

// A command button in the buttons' font, watching the pointer. Enter and the
// keypad's Enter press it while it has the focus, as Space does; outside a
// dialog Qt's own button leaves them alone. Its look is Qt's button's.
QPushButton *commandButton(QWidget *parent, const char *name, const QString &caption, const QRect &geometry);

// A field box: the user's clicks tick and untick it; the greyed state comes
// only from the settings and lasts until the first click.
class FieldBox : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;

    // The state as stored: 0 unticked, 1 ticked, 2 greyed.
    int value() const;
    void setValue(int value);

    // Calls the receiver's slot at every change of state, the end of the
    // greyed state included (where the box stays "checked" to Qt, so toggled()
    // says nothing). Qt 6.7 renamed the signal that says so.
    template <typename Receiver> void onValueChanged(Receiver *receiver, void (Receiver::*slot)())
    {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
        connect(this, &QCheckBox::checkStateChanged, receiver, slot);
#else
        connect(this, &QCheckBox::stateChanged, receiver, slot);
#endif
    }

protected:
    void nextCheckState() override;
};
