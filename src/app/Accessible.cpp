#include "app/Accessible.h"

#include "app/AccessibleResultView.h"
#include "app/ProgressBar.h"
#include "app/ResultView.h"
#include "app/WindowCoordinates.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

// The progress bar: named by the caption drawn on it, its value what it shows.
class AccessibleProgressBar : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit AccessibleProgressBar(ProgressBar *bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return bar()->text();
        return QAccessibleWidget::text(t);
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return bar()->shownValue(); }
    // The bar shows the program's progress: nothing outside sets it.
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return 100.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    ProgressBar *bar() const { return static_cast<ProgressBar *>(widget()); }
};

// What a screen reader is told without the focus moving: a notification of
// the window, shown anew for each announcement, which readers speak whenever
// it shows. It has no place on screen.
class Announcement : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    QString text;
};

class AccessibleAnnouncement : public QAccessibleObject
{
public:
    explicit AccessibleAnnouncement(Announcement *announcement)
        : QAccessibleObject(announcement)
    {
    }

    QWindow *window() const override { return owner() ? owner()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(owner()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? static_cast<Announcement *>(object())->text : QString();
    }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override { return {}; }

private:
    QWidget *owner() const { return isValid() ? qobject_cast<QWidget *>(object()->parent()) : nullptr; }
};

// A plain line edit, read as Qt reads one, except that it answers a question
// about the text's attributes with the whole text: it has one font and one
// language throughout. Qt's own answers an empty range, and a reader that
// joins the ranges up then reads the text one character short.
class AccessibleLineEdit : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface
{
public:
    explicit AccessibleLineEdit(QLineEdit *edit)
        : QAccessibleWidget(edit, QAccessible::EditableText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return edit()->text();
        return QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t == QAccessible::Value && !edit()->isReadOnly())
            edit()->setText(text);
        else
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = !edit()->isReadOnly();
        state.readOnly = edit()->isReadOnly();
        state.selectableText = true;
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // QAccessibleTextInterface
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }
    QString text(int startOffset, int endOffset) const override
    {
        return edit()->text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(edit()->text().size()); }
    int cursorPosition() const override { return edit()->cursorPosition(); }
    void setCursorPosition(int position) override { edit()->setCursorPosition(position); }
    int selectionCount() const override { return edit()->hasSelectedText() ? 1 : 0; }
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && edit()->hasSelectedText()) {
            *startOffset = edit()->selectionStart();
            *endOffset = edit()->selectionEnd();
        }
    }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            edit()->deselect();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            edit()->setSelection(startOffset, endOffset - startOffset);
    }
    QRect characterRect(int offset) const override
    {
        // Where the text is laid out, as the style frames it.
        QStyleOptionFrame option;
        option.initFrom(edit());
        const QRect area = edit()
                               ->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, edit())
                               .marginsRemoved(edit()->textMargins());
        const QString text = edit()->text();
        const QFontMetrics metrics = edit()->fontMetrics();
        const int left = metrics.horizontalAdvance(text.left(offset));
        const QRect character(area.left() + left, area.top(), metrics.horizontalAdvance(text.mid(offset, 1)),
                              area.height());
        return QRect(edit()->mapToGlobal(character.topLeft()), character.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return edit()->cursorPositionAt(edit()->mapFromGlobal(point));
    }
    void scrollToSubstring(int, int endIndex) override { edit()->setCursorPosition(endIndex); }

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override { replaceText(startOffset, endOffset, QString()); }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        if (edit()->isReadOnly())
            return;
        QString whole = edit()->text();
        whole.replace(startOffset, endOffset - startOffset, text);
        edit()->setText(whole);
    }

private:
    QLineEdit *edit() const { return static_cast<QLineEdit *>(widget()); }
};

// A frame's caption, drawn on its top edge: a label of its own, the frame's
// first child, so that a reader reviewing the screen line by line finds it
// where it is drawn (Qt's frame carries it only as its name).
class AccessibleCaption : public QAccessibleInterface
{
public:
    explicit AccessibleCaption(QGroupBox *frame)
        : m_frame(frame)
    {
    }

    bool isValid() const override { return m_frame; }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_frame ? m_frame->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_frame); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && m_frame ? m_frame->title() : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!m_frame)
            return QRect();
        QStyleOptionGroupBox option;
        option.initFrom(m_frame);
        option.text = m_frame->title();
        option.textAlignment = m_frame->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label = m_frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                                             m_frame);
        return QRect(m_frame->mapToGlobal(label.topLeft()), label.size());
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invalid = !m_frame;
        state.readOnly = true;
        return state;
    }

private:
    QPointer<QGroupBox> m_frame;
};

class AccessibleFrame : public QAccessibleWidget
{
public:
    explicit AccessibleFrame(QGroupBox *frame)
        : QAccessibleWidget(frame, QAccessible::Grouping)
        , m_caption(QAccessible::registerAccessibleInterface(new AccessibleCaption(frame)))
    {
    }
    ~AccessibleFrame() override { QAccessible::deleteAccessibleInterface(m_caption); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<QGroupBox *>(widget())->title();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return QAccessibleWidget::childCount() + 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::accessibleInterface(m_caption) : QAccessibleWidget::child(index - 1);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child == QAccessible::accessibleInterface(m_caption))
            return 0;
        const int index = QAccessibleWidget::indexOfChild(child);
        return index < 0 ? -1 : index + 1;
    }

private:
    const QAccessible::Id m_caption;
};

QAccessibleInterface *widgetInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("QGroupBox") && !static_cast<QGroupBox *>(object)->title().isEmpty())
        return new AccessibleFrame(static_cast<QGroupBox *>(object));
    // The window is a frame named by its title; Qt reads a plain widget as a filler.
    if (className == QLatin1String("Form1"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("ResultView"))
        return accessibleResultView(static_cast<ResultView *>(object));
    if (className == QLatin1String("QLineEdit") && object->metaObject() == &QLineEdit::staticMetaObject
        && static_cast<QLineEdit *>(object)->echoMode() == QLineEdit::Normal)
        return new AccessibleLineEdit(static_cast<QLineEdit *>(object));
    if (className == QLatin1String("Announcement"))
        return new AccessibleAnnouncement(static_cast<Announcement *>(object));
    if (className == QLatin1String("ProgressBar"))
        return new AccessibleProgressBar(static_cast<ProgressBar *>(object));
    if (className == QLatin1String("QMenu") && qobject_cast<ResultView *>(object->parent()))
        return accessibleResultMenu(static_cast<QMenu *>(object));
    return nullptr;
}

// The line edit whose focus is moving, until the event loop turns again.
QPointer<QObject> focusMoving;
// Where events go on: a handler installed before, or the platform's bridge.
QAccessible::UpdateHandler passedOn = nullptr;

void filterUpdate(QAccessibleEvent *event)
{
    const QAccessible::Event type = event->type();
    if (focusMoving && event->object() == focusMoving
        && (type == QAccessible::TextSelectionChanged || type == QAccessible::TextCaretMoved))
        return;
    if (passedOn)
        passedOn(event);
    else if (QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility())
        platform->notifyAccessibilityUpdate(event);
}

class FocusSelectionWatch : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            focusMoving = watched;
            QTimer::singleShot(0, watched, [] { focusMoving = nullptr; });
        }
        return false;
    }
};

// An interface made only to learn the id the next one takes: ids are given
// in turn, from the last given on.
class IdProbe : public QAccessibleInterface
{
public:
    bool isValid() const override { return false; }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return nullptr; }
    QAccessibleInterface *parent() const override { return nullptr; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text) const override { return QString(); }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override { return QRect(); }
    QAccessible::Role role() const override { return QAccessible::NoRole; }
    QAccessible::State state() const override { return {}; }
};

QAccessible::Id nextId()
{
    const QAccessible::Id id = QAccessible::registerAccessibleInterface(new IdProbe);
    QAccessible::deleteAccessibleInterface(id);
    return id;
}

} // namespace

namespace {

// Tells a reader `text` at once (see announce()).
void tell(QWidget *context, const QString &text);

// Watches a window whose dialog has gone: once no activation or deactivation
// has come for a moment, tells a reader that it is active, if it is, and
// where its focus is, then what was announced meanwhile (which the focus
// would cut short); then goes.
class ActivationWatch : public QObject
{
public:
    explicit ActivationWatch(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        m_settled.setSingleShot(true);
        m_settled.setInterval(settleMs);
        connect(&m_settled, &QTimer::timeout, this, &ActivationWatch::retell);
        window->installEventFilter(this);
        m_settled.start();
        QTimer::singleShot(giveUpMs, this, [this] {
            tellHeld();
            deleteLater();
        });
    }

    // The watch of `window` while there is one.
    static ActivationWatch *of(QWidget *window)
    {
        for (QObject *child : window->children())
            if (auto *watch = dynamic_cast<ActivationWatch *>(child))
                return watch;
        return nullptr;
    }

    void hold(const QString &text) { m_held.append(text); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
            m_settled.start();
        return false;
    }

private:
    static constexpr int settleMs = 150;
    static constexpr int giveUpMs = 5000; // a window that stays inactive is another's business

    void retell()
    {
        if (!m_window->isActiveWindow() || !QAccessible::isActive())
            return;
        QAccessible::State active;
        active.active = true;
        QAccessibleStateChangeEvent activated(m_window, active);
        QAccessible::updateAccessibility(&activated);
        if (QWidget *focus = QApplication::focusWidget(); focus && m_window->isAncestorOf(focus)) {
            QAccessibleEvent focused(focus, QAccessible::Focus);
            QAccessible::updateAccessibility(&focused);
        }
        tellHeld();
        deleteLater();
    }

    void tellHeld()
    {
        for (const QString &text : std::exchange(m_held, {}))
            tell(m_window, text);
    }

    QWidget *const m_window;
    QTimer m_settled;
    QStringList m_held; // announced before the window was told active
};

} // namespace

DialogAftermath::DialogAftermath(QWidget *window)
    : m_window(window ? window->window() : nullptr)
    , m_first(nextId())
{
}

DialogAftermath::~DialogAftermath()
{
    if (m_window && QAccessible::isActive())
        new ActivationWatch(m_window);
    // An interface with an object goes with its object; one without stays
    // until someone deletes it, and a dead one never comes back to life.
    for (QAccessible::Id id = m_first, end = nextId(); id != end; ++id) {
        QAccessibleInterface *iface = QAccessible::accessibleInterface(id);
        if (iface && !iface->object() && !iface->isValid())
            QAccessible::deleteAccessibleInterface(id);
    }
}

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(widgetInterface);
        passedOn = QAccessible::installUpdateHandler(filterUpdate);
        mendWindowCoordinates();
        return true;
    }();
    Q_UNUSED(installed);
}

void quietFocusSelection(QLineEdit *edit)
{
    installAccessibleInterfaces();
    edit->installEventFilter(new FocusSelectionWatch(edit));
}

QString spokenCount(qint64 count)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(count);
}

namespace {

void tell(QWidget *context, const QString &text)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(context, text);
    QAccessible::updateAccessibility(&event);
#else
    // One notification per window, kept: a reader asks for its text some
    // time after it hears it show.
    QWidget *window = context->window();
    auto *notification = window->findChild<Announcement *>(QString(), Qt::FindDirectChildrenOnly);
    if (!notification)
        notification = new Announcement(window);
    notification->text = text;
    QAccessibleEvent event(notification, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
#endif
}

} // namespace

void announce(QWidget *context, const QString &text)
{
    if (!context || text.isEmpty() || !QAccessible::isActive())
        return;
    // After a dialog, once the window is told active again.
    if (ActivationWatch *watch = ActivationWatch::of(context->window()))
        watch->hold(text);
    else
        tell(context, text);
}

#include "Accessible.moc"
