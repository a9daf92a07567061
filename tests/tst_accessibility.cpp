// The window as assistive technology reads it, through Qt's accessibility
// interfaces under the offscreen platform: the result list as a table, the
// progress bar, the context menu, the names of the controls, and the change
// events, caught by a recording handler. Also how the window reads to the eye
// under a dark desktop palette.

#include "app/Accessible.h"
#include "app/Form1.h"
#include "app/ProgressBar.h"
#include "app/QtDialogs.h"
#include "app/ResultView.h"
#include "app/SystemClipboard.h"
#include "export/Spreadsheet.h"
#include "generate/ResultList.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <cmath>

namespace {

// What the recording handler keeps of an event, read when it is sent.
struct Heard
{
    QAccessible::Event type = QAccessible::InvalidEvent;
    QObject *object = nullptr;
    QAccessible::Role role = QAccessible::NoRole;
    QString name;
    int change = -1; // of a table model change
    int firstRow = -1;
    int lastRow = -1;
    QVariant value;
    bool checkedChanged = false;
    bool activeChanged = false;
    qint64 ms = 0;
};

QList<Heard> heard;
QElapsedTimer sinceStart;

void record(QAccessibleEvent *event)
{
    Heard h;
    h.type = event->type();
    h.object = event->object();
    if (QAccessibleInterface *iface = event->accessibleInterface()) {
        h.role = iface->role();
        h.name = iface->text(QAccessible::Name);
    }
    if (event->type() == QAccessible::TableModelChanged) {
        const auto *change = static_cast<QAccessibleTableModelChangeEvent *>(event);
        h.change = change->modelChangeType();
        h.firstRow = change->firstRow();
        h.lastRow = change->lastRow();
    } else if (event->type() == QAccessible::ValueChanged) {
        h.value = static_cast<QAccessibleValueChangeEvent *>(event)->value();
    } else if (event->type() == QAccessible::StateChanged) {
        h.checkedChanged = static_cast<QAccessibleStateChangeEvent *>(event)->changedStates().checked;
        h.activeChanged = static_cast<QAccessibleStateChangeEvent *>(event)->changedStates().active;
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (event->type() == QAccessible::Announcement) {
        h.role = QAccessible::Notification;
        h.name = static_cast<QAccessibleAnnouncementEvent *>(event)->message();
    }
#endif
    h.ms = sinceStart.elapsed();
    heard.append(h);
}

// The events of one type; of those about a whole object, only those about `object`.
QList<Heard> heardOf(QAccessible::Event type, const QObject *object = nullptr)
{
    QList<Heard> result;
    for (const Heard &h : std::as_const(heard))
        if (h.type == type && (!object || !h.object || h.object == object))
            result.append(h);
    return result;
}

// What readers were told to speak: a notification shown where Qt has no
// announcements of its own (before 6.8), an announcement where it has.
QList<Heard> toldOf()
{
    QList<Heard> result;
    for (const Heard &h : std::as_const(heard))
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        if (h.type == QAccessible::Announcement)
#else
        if (h.type == QAccessible::ObjectShow && h.role == QAccessible::Notification)
#endif
            result.append(h);
    return result;
}

// WCAG contrast ratio of two colours, 1 to 21.
double contrast(QColor a, QColor b)
{
    const auto luminance = [](QColor c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return std::max(la, lb) / std::min(la, lb);
}

// The best contrast of a widget's text with what lies under it: the widget
// drawn as it is (without its children), against the same drawn with the
// text colours of `paletteOwner` transparent. 1 where no text shows at all.
double textContrast(QWidget *widget, QWidget *paletteOwner)
{
    const auto draw = [widget] {
        QImage image(widget->size(), QImage::Format_ARGB32);
        widget->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        return image;
    };
    const QImage drawn = draw();
    const QPalette kept = paletteOwner->palette();
    QPalette clear = kept;
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        clear.setColor(role, Qt::transparent);
    paletteOwner->setPalette(clear);
    const QImage bare = draw();
    paletteOwner->setPalette(kept);
    double best = 1;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (drawn.pixel(x, y) != bare.pixel(x, y))
                best = std::max(best, contrast(drawn.pixelColor(x, y), bare.pixelColor(x, y)));
    return best;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void tableOfRows();
    void cellsAreMadeOnDemandAndNotKept();
    void toggleAndCheckEvents();
    void childrenAreTheRowsInSight();
    void numberBoxReadsWhole();
    void endsOfCommandsAreTold();
    void unreadableCalcWindowIsToldOnce();
    void changeEventsFollowTheView();
    void progressBar();
    void contextMenuFromTheKeyboard_data();
    void contextMenuFromTheKeyboard();
    void everyControlIsNamed();
    void messageBoxReadsAsShown();
    void dialogsLeaveNoDeadObjects();
    void saveDialogTellsItsFolder();
    void windowIsToldActiveOnceADialogIsGone();
    void rowsInTheListsFont();
    void darkPaletteLeavesTextReadable();

private:
    std::unique_ptr<Form1> makeWindow(const QStringList &rows = {});
    static QAccessibleInterface *tableOf(Form1 &window);

    QTemporaryDir m_config;
    RecordingDialogs m_dialogs;
    SystemClipboard m_clipboard;
    const std::unique_ptr<SpreadsheetFactory> m_spreadsheets = makeDefaultSpreadsheetFactory();
};

void TestAccessibility::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    // As when a screen reader listens; the handler hears what the bus would.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    QAccessible::installUpdateHandler(record);
    sinceStart.start();
}

void TestAccessibility::init()
{
    heard.clear();
}

std::unique_ptr<Form1> TestAccessibility::makeWindow(const QStringList &rows)
{
    Form1Services services(m_clipboard, *m_spreadsheets);
    services.dialogs = &m_dialogs;
    services.programFolder = QFileInfo(QStringLiteral(ZIPBASE_PATH)).absolutePath();
    auto window = std::make_unique<Form1>(services);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qFatal("the window was not shown");
    for (const QString &row : rows)
        window->list().append(row);
    window->list().commit();
    return window;
}

QAccessibleInterface *TestAccessibility::tableOf(Form1 &window)
{
    return QAccessible::queryAccessibleInterface(window.findChild<ResultView *>("ListView1"));
}

void TestAccessibility::tableOfRows()
{
    auto window = makeWindow({"Holtsville, NY 00501", "Akutan, AK 99553", "Ann Arbor, MI 48103"});
    window->list().append(QStringLiteral("not yet shown"));
    QAccessibleInterface *list = tableOf(*window);
    QVERIFY(list && list->tableInterface());
    QCOMPARE(list->role(), QAccessible::Table);
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Result(s)"));
    QCOMPARE(list->tableInterface()->rowCount(), 3); // as the view shows it
    QCOMPARE(list->tableInterface()->columnCount(), 1);
    QCOMPARE(list->childCount(), 4);
    QCOMPARE(list->child(0)->role(), QAccessible::ColumnHeader);
    QCOMPARE(list->child(0)->text(QAccessible::Name), QStringLiteral("Result(s)"));

    QAccessibleInterface *cell = list->tableInterface()->cellAt(1, 0);
    QVERIFY(cell && cell->tableCellInterface() && cell->actionInterface());
    QCOMPARE(cell->role(), QAccessible::Cell);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("Akutan, AK 99553"));
    QCOMPARE(cell->tableCellInterface()->rowIndex(), 1);
    QCOMPARE(cell->parent(), list);
    QCOMPARE(list->indexOfChild(cell), 2);
    QCOMPARE(list->child(2), cell);
    QCOMPARE(cell->tableCellInterface()->columnHeaderCells(), QList<QAccessibleInterface *>{list->child(0)});
    QVERIFY(cell->state().checkable);
    QVERIFY(!cell->state().checked && !cell->state().selected);
    QCOMPARE(list->tableInterface()->cellAt(3, 0), nullptr);
    QVERIFY(list->childAt(cell->rect().center().x(), cell->rect().center().y()) == cell);

    // Its one child is the check box the row shows, named as the row.
    QCOMPARE(cell->childCount(), 1);
    QAccessibleInterface *box = cell->child(0);
    QVERIFY(box && box->actionInterface());
    QCOMPARE(box->role(), QAccessible::CheckBox);
    QCOMPARE(box->text(QAccessible::Name), QStringLiteral("Akutan, AK 99553"));
    QCOMPARE(box->parent(), cell);
    QCOMPARE(cell->indexOfChild(box), 0);
    QCOMPARE(cell->child(0), box);
    QVERIFY(box->state().checkable && !box->state().checked);
    QVERIFY(cell->rect().contains(box->rect()) && box->rect().width() < cell->rect().width() / 2);
    QCOMPARE(cell->childAt(box->rect().center().x(), box->rect().center().y()), box);

    // The selected row is selected, and focused with the list.
    auto *view = window->findChild<ResultView *>("ListView1");
    view->setFocus();
    QVERIFY(list->tableInterface()->selectRow(1));
    QCOMPARE(view->selectedRow(), 2);
    QVERIFY(cell->state().selected && cell->state().focused);
    QVERIFY(box->state().selected && !box->state().focused);
    QCOMPARE(list->tableInterface()->selectedRows(), QList<int>{1});
    QCOMPARE(list->focusChild(), cell);

    // A removed row takes its cell with it; the rows below keep theirs.
    QAccessibleInterface *third = list->tableInterface()->cellAt(2, 0);
    window->list().remove(2);
    QCOMPARE(third->tableCellInterface()->rowIndex(), 1);
    QCOMPARE(third->text(QAccessible::Name), QStringLiteral("Ann Arbor, MI 48103"));
    QCOMPARE(list->tableInterface()->cellAt(1, 0), third);

    // The last row gone, the reader is taken to the list, only after it has
    // heard that the table's children changed.
    window->list().remove(2);
    heard.clear();
    window->list().remove(1);
    QVERIFY(heardOf(QAccessible::Focus).isEmpty());
    QTRY_COMPARE(heardOf(QAccessible::Focus).size(), 1);
    QCOMPARE(heardOf(QAccessible::Focus)[0].role, QAccessible::Table);
    const QList<Heard> added = heardOf(QAccessible::ObjectCreated);
    QVERIFY(!added.isEmpty() && added.last().ms + 50 <= heardOf(QAccessible::Focus)[0].ms);
}

void TestAccessibility::cellsAreMadeOnDemandAndNotKept()
{
    QStringList rows;
    for (int i = 0; i < 5000; ++i)
        rows.append(QStringLiteral("row %1").arg(i + 1));
    auto window = makeWindow(rows);
    QAccessibleTableInterface *table = tableOf(*window)->tableInterface();
    QAccessibleInterface *first = table->cellAt(0, 0);
    const QAccessible::Id firstId = QAccessible::uniqueId(first);
    QCOMPARE(table->cellAt(0, 0), first); // asked again at once, the same cell
    auto *view = window->findChild<ResultView *>();
    view->setSelectedRow(2);
    QAccessibleInterface *selected = table->cellAt(1, 0);
    const QAccessible::Id selectedId = QAccessible::uniqueId(selected);
    QCOMPARE(table->cellAt(4999, 0)->text(QAccessible::Name), QStringLiteral("row 5000"));
    for (int row = 1; row < 5000; ++row)
        QVERIFY(table->cellAt(row, 0));
    QCOMPARE(QAccessible::accessibleInterface(firstId), nullptr); // made long ago, gone
    // The selected row's, which a reader holds as the focus, is kept however old.
    QCOMPARE(QAccessible::accessibleInterface(selectedId), selected);
    QCOMPARE(table->cellAt(1, 0), selected);

    QAccessibleInterface *last = table->cellAt(4999, 0);
    const QAccessible::Id lastId = QAccessible::uniqueId(last);
    window->list().clear();
    QCOMPARE(QAccessible::accessibleInterface(lastId), nullptr);
    QCOMPARE(table->rowCount(), 0);
}

void TestAccessibility::toggleAndCheckEvents()
{
    auto window = makeWindow({"a", "b", "c"});
    QAccessibleInterface *cell = tableOf(*window)->tableInterface()->cellAt(1, 0);
    // Named in lower case, as readers know a check box in a cell; Qt's own spelling works too.
    QCOMPARE(cell->actionInterface()->actionNames().first(), QStringLiteral("toggle"));
    heard.clear();
    cell->actionInterface()->doAction(QStringLiteral("toggle"));
    QVERIFY(window->list().checked(2));
    QVERIFY(cell->state().checked);
    // The cell and its check box, where a reader's keyboard focus is, hear of it.
    const auto checksHeard = [] {
        QStringList told;
        for (const Heard &h : heardOf(QAccessible::StateChanged))
            told.append(QStringLiteral("%1 %2%3").arg(h.role == QAccessible::CheckBox ? "box" : "cell", h.name,
                                                       h.checkedChanged ? "" : " (not the check)"));
        return told;
    };
    QCOMPARE(checksHeard(), QStringList({"cell b", "box b"}));

    // The check box's action is the row's.
    QAccessibleInterface *box = cell->child(0);
    box->actionInterface()->doAction(QStringLiteral("toggle"));
    QVERIFY(!window->list().checked(2) && !cell->state().checked && !box->state().checked);
    cell->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(window->list().checked(2) && box->state().checked);
    window->list().setChecked(2, false);

    // Every row at once: the cells and check boxes a reader holds hear of it
    // (the first row's cell too, told of when the rows came), no others are made.
    heard.clear();
    window->list().setAllChecked(true);
    QVERIFY(cell->state().checked);
    QCOMPARE(checksHeard(), QStringList({"cell a", "cell b", "box b"}));
    const QList<Heard> changes = heardOf(QAccessible::TableModelChanged, window->findChild<ResultView *>("ListView1"));
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes[0].change, int(QAccessibleTableModelChangeEvent::DataChanged));
}

void TestAccessibility::childrenAreTheRowsInSight()
{
    QStringList rows;
    for (int i = 0; i < 5000; ++i)
        rows.append(QStringLiteral("row %1").arg(i + 1));
    auto window = makeWindow(rows);
    auto *view = window->findChild<ResultView *>("ListView1");
    QAccessibleInterface *list = tableOf(*window);
    const auto inSight = [view] { return view->rowsInSight().second - view->rowsInSight().first + 1; };
    QCOMPARE(view->rowsInSight().first, 1);
    QVERIFY(inSight() > 3 && inSight() < 20);
    QCOMPARE(list->childCount(), 1 + inSight());
    QCOMPARE(list->child(inSight())->text(QAccessible::Name), QStringLiteral("row %1").arg(inSight()));
    QCOMPARE(list->child(inSight() + 1), nullptr);

    // Scrolled far down: the children follow; the table still reaches every row.
    view->setFocus();
    view->setSelectedRow(3000);
    const int first = view->rowsInSight().first;
    QVERIFY(first > 2900 && view->rowsInSight().second >= 3000);
    QCOMPARE(list->child(1)->text(QAccessible::Name), QStringLiteral("row %1").arg(first));
    QAccessibleInterface *current = list->tableInterface()->cellAt(2999, 0);
    QCOMPARE(list->indexOfChild(current), 3000 - first + 1);
    QCOMPARE(list->child(list->indexOfChild(current)), current);
    QCOMPARE(list->indexOfChild(list->tableInterface()->cellAt(0, 0)), -1);
    QCOMPARE(list->tableInterface()->rowCount(), 5000);
    QCOMPARE(list->tableInterface()->cellAt(0, 0)->tableCellInterface()->rowIndex(), 0);

    // Moving on reads the row moved to, as its cell.
    heard.clear();
    QTest::keyClick(view, Qt::Key_Down);
    const QList<Heard> focus = heardOf(QAccessible::Focus);
    QCOMPARE(focus.size(), 1);
    QCOMPARE(focus[0].role, QAccessible::CheckBox);
    QCOMPARE(focus[0].name, QStringLiteral("row 3001"));
}

void TestAccessibility::numberBoxReadsWhole()
{
    auto window = makeWindow();
    auto *box = window->findChild<QLineEdit *>("Text1");
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(box);
    QAccessibleTextInterface *text = iface->textInterface();
    QVERIFY(text && iface->editableTextInterface());
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Number To Generate"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("200"));
    QVERIFY(iface->state().editable && iface->state().focusable);

    // One run of attributes over the whole text, from wherever it is asked.
    for (int offset : {0, 1, 2, 3}) {
        int start = -1;
        int end = -1;
        QCOMPARE(text->attributes(offset, &start, &end), QString());
        QCOMPARE(std::make_pair(start, end), std::make_pair(0, 3));
    }
    QCOMPARE(text->characterCount(), 3);
    QCOMPARE(text->text(0, 3), QStringLiteral("200"));
    int start = -1;
    int end = -1;
    QCOMPARE(text->textAtOffset(1, QAccessible::LineBoundary, &start, &end), QStringLiteral("200"));

    box->selectAll();
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    QCOMPARE(std::make_pair(start, end), std::make_pair(0, 3));
    text->setSelection(0, 1, 2);
    QCOMPARE(box->selectedText(), QStringLiteral("0"));
    text->removeSelection(0);
    QCOMPARE(text->selectionCount(), 0);
    text->setCursorPosition(2);
    QCOMPARE(text->cursorPosition(), 2);

    // Where a character is drawn, and which one is at a point.
    const QRect second = text->characterRect(1);
    QVERIFY(QRect(box->mapToGlobal(QPoint(0, 0)), box->size()).contains(second));
    QCOMPARE(text->offsetAtPoint(second.center()), 1);

    // Edited from outside as typed: the window stores the new number.
    iface->editableTextInterface()->replaceText(0, 3, QStringLiteral("5"));
    QCOMPARE(box->text(), QStringLiteral("5"));
    iface->editableTextInterface()->insertText(1, QStringLiteral("00"));
    iface->editableTextInterface()->deleteText(0, 1);
    QCOMPARE(window->numberText(), QStringLiteral("00"));
}

void TestAccessibility::endsOfCommandsAreTold()
{
    auto window = makeWindow();
    const auto told = [] {
        QStringList texts;
        for (const Heard &h : toldOf())
            texts.append(h.name);
        return texts;
    };
    auto *box = window->findChild<QLineEdit *>("Text1");
    box->setText(QStringLiteral("5"));
    window->PushButton2_Click();
    QCOMPARE(told(), QStringList{QStringLiteral("5 places")});
    heard.clear();
    box->setText(QStringLiteral("1234"));
    window->PushButton2_Click();
    QCOMPARE(told(), QStringList{QStringLiteral("1,234 places")});

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    // The notification is the window's, and has no place on screen.
    QAccessibleInterface *notification = nullptr;
    for (QObject *child : window->children())
        if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(child))
            if (iface->role() == QAccessible::Notification)
                notification = iface;
    QVERIFY(notification);
    QCOMPARE(notification->parent(), QAccessible::queryAccessibleInterface(window.get()));
    QCOMPARE(notification->rect(), QRect());
#endif

    window->list().setChecked(2, true);
    window->list().setChecked(7, true);
    heard.clear();
    window->PushButton8_Click();
    QCOMPARE(told(), QStringList{QStringLiteral("2 rows copied")});

    QTemporaryDir folder;
    heard.clear();
    m_dialogs.nextSaveFileNames = {folder.filePath(QStringLiteral("places.txt"))};
    window->PushButton3_Click();
    QCOMPARE(told(), QStringList{QStringLiteral("2 rows saved to places.txt")});
    // Cancelled, or failed with a message of its own: nothing more is told.
    heard.clear();
    window->PushButton3_Click();
    m_dialogs.nextSaveFileNames = {folder.filePath(QStringLiteral("no such folder/places.txt"))};
    window->PushButton3_Click();
    QVERIFY(!m_dialogs.messages.isEmpty());
    QCOMPARE(told(), QStringList());
    m_dialogs.messages.clear();

    heard.clear();
    window->PushButton7_Click();
    QCOMPARE(told(), QStringList{QStringLiteral("0 places")});
}

void TestAccessibility::unreadableCalcWindowIsToldOnce()
{
    // An office no screen reader reaches, which takes the cells and shows them.
    struct Office : SpreadsheetApplication
    {
        void addWorkbook() override {}
        void setCell(int, int, const QString &) override {}
        void autofitColumns() override {}
        void setVisible(bool) override {}
    };
    struct Unreadable : SpreadsheetFactory
    {
        std::unique_ptr<SpreadsheetApplication> create() override { return std::make_unique<Office>(); }
        bool windowReadable() const override { return false; }
    } office;
    Form1Services services(m_clipboard, office);
    services.dialogs = &m_dialogs;
    services.programFolder = QFileInfo(QStringLiteral(ZIPBASE_PATH)).absolutePath();
    Form1 window(services);
    window.list().append(QStringLiteral("Akron, CO 80720"));
    window.list().setChecked(1, true);
    window.list().commit();
    QStringList told;
    for (int i = 0; i < 2; ++i) {
        heard.clear();
        window.PushButton13_Click();
        for (const Heard &h : toldOf())
            told.append(h.name);
    }
    QCOMPARE(told, (QStringList{QStringLiteral("1 row sent to a new LibreOffice Calc window; install libreoffice-gtk3 "
                                               "to read it with a screen reader"),
                                QStringLiteral("1 row sent to a new LibreOffice Calc window")}));
}

void TestAccessibility::changeEventsFollowTheView()
{
    auto window = makeWindow();
    window->findChild<QLineEdit *>("Text1")->setText(QStringLiteral("200000"));
    heard.clear();
    const qint64 start = sinceStart.elapsed();
    window->PushButton2_Click();
    const qint64 took = sinceStart.elapsed() - start;
    QCOMPARE(window->list().rows(), 200000);

    // The list: emptied once, then rows told of as often as the view shows them.
    // Its header, a widget of the view's own, tells of nothing.
    auto *view = window->findChild<ResultView *>("ListView1");
    const auto headerSilent = [header = view->horizontalHeader()] {
        return std::none_of(heard.cbegin(), heard.cend(), [header](const Heard &h) { return h.object == header; });
    };
    QVERIFY(headerSilent());
    const QList<Heard> changes = heardOf(QAccessible::TableModelChanged, view);
    QVERIFY(!changes.isEmpty());
    QCOMPARE(changes.first().change, int(QAccessibleTableModelChangeEvent::ModelReset));
    int told = 0;
    for (const Heard &h : changes.mid(1)) {
        QCOMPARE(h.change, int(QAccessibleTableModelChangeEvent::RowsInserted));
        QCOMPARE(h.firstRow, told);
        told = h.lastRow + 1;
    }
    QCOMPARE(told, 200000);
    QVERIFY2(changes.size() - 1 <= took / 16 + 2, qPrintable(QString::number(changes.size())));

    // The table tells that its children changed, for readers that keep its
    // row count: a child added, never two within a tenth of a second, the
    // last after the last change.
    const auto childrenTold = [] {
        QList<Heard> added = heardOf(QAccessible::ObjectCreated);
        added.removeIf([](const Heard &h) { return h.role != QAccessible::Cell && h.role != QAccessible::ColumnHeader; });
        return added;
    };
    QTest::qWait(200);
    const QList<Heard> added = childrenTold();
    QVERIFY(!added.isEmpty());
    for (qsizetype i = 1; i < added.size(); ++i)
        QVERIFY2(added[i].ms - added[i - 1].ms >= 100, qPrintable(QString::number(added[i].ms - added[i - 1].ms)));
    QVERIFY(added.last().ms >= changes.last().ms);
    QCOMPARE(added.last().role, QAccessible::Cell);

    // The bar: nothing of a run over within half a second; of a longer one
    // at most one value a frame, and not the bar back at rest.
    QTest::qWait(40);
    const QList<Heard> values = heardOf(QAccessible::ValueChanged);
    if (took < 490)
        QCOMPARE(values.size(), 0);
    for (qsizetype i = 1; i < values.size(); ++i)
        QVERIFY2(values[i].ms - values[i - 1].ms >= 15, qPrintable(QString::number(values[i].ms - values[i - 1].ms)));
    for (const Heard &value : values)
        QVERIFY(value.role == QAccessible::ProgressBar && value.value.toDouble() > 0);

    // Arrowing through the list reads each row; Delete and "Clear List" are told.
    view->setFocus();
    view->setSelectedRow(1);
    heard.clear();
    QTest::keyClick(view, Qt::Key_Down);
    QList<Heard> focus = heardOf(QAccessible::Focus);
    QCOMPARE(focus.size(), 1);
    QCOMPARE(focus[0].role, QAccessible::CheckBox);
    QCOMPARE(focus[0].name, window->list().text(2, 1));
    heard.clear();
    QTest::keyClick(view, Qt::Key_Delete);
    QVERIFY(headerSilent());
    QCOMPARE(heardOf(QAccessible::TableModelChanged, view).size(), 1);
    QCOMPARE(heardOf(QAccessible::TableModelChanged, view)[0].change,
             int(QAccessibleTableModelChangeEvent::RowsRemoved));
    QCOMPARE(heardOf(QAccessible::TableModelChanged, view)[0].firstRow, 1);
    // The row now in its place, what the removal did said ahead of it, once.
    const int left = window->list().rows();
    QCOMPARE(heardOf(QAccessible::Focus).size(), 1);
    QCOMPARE(heardOf(QAccessible::Focus)[0].name,
             QStringLiteral("deleted; %1 places; %2").arg(QLocale(QLocale::English).toString(left),
                                                          window->list().text(2, 1)));
    QTRY_COMPARE(childrenTold().size(), 1);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(heardOf(QAccessible::Focus).last().name, window->list().text(2, 1));
    heard.clear();
    window->PushButton7_Click();
    QTRY_COMPARE(childrenTold().size(), 1);
    QCOMPARE(childrenTold()[0].role, QAccessible::ColumnHeader); // no row is left
    QCOMPARE(heardOf(QAccessible::TableModelChanged, view).size(), 1);
    QCOMPARE(heardOf(QAccessible::TableModelChanged, view)[0].change,
             int(QAccessibleTableModelChangeEvent::ModelReset));
    QVERIFY(headerSilent());
    // The header still shows the list's column, as wide as the window made it.
    QCOMPARE(view->horizontalHeader()->count(), 1);
    QCOMPARE(view->horizontalHeader()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Result(s)"));
    QCOMPARE(view->columnWidth(0), 467);
}

void TestAccessibility::progressBar()
{
    auto window = makeWindow();
    ProgressBar &bar = window->progressBar();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&bar);
    QVERIFY(iface && iface->valueInterface());
    QCOMPARE(iface->role(), QAccessible::ProgressBar);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Progress Bar"));
    QCOMPARE(iface->valueInterface()->minimumValue().toDouble(), 0.0);
    QCOMPARE(iface->valueInterface()->maximumValue().toDouble(), 100.0);
    QCOMPARE(iface->valueInterface()->currentValue().toDouble(), 0.0);

    QTest::qWait(20);
    heard.clear();
    for (int i = 1; i <= 1000; ++i)
        bar.setValue(i / 100.0 + 0.004); // a burst, to a hundredth as shown
    bar.setText(QStringLiteral("Writing file: out.txt"));
    QCOMPARE(iface->valueInterface()->currentValue().toDouble(), 10.0);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Writing file: out.txt"));
    // The value is news once the bar has been off zero for half a second.
    const qint64 left = sinceStart.elapsed();
    QTRY_COMPARE(heardOf(QAccessible::NameChanged).size(), 1);
    QCOMPARE(heardOf(QAccessible::NameChanged)[0].name, QStringLiteral("Writing file: out.txt"));
    QTRY_COMPARE(heardOf(QAccessible::ValueChanged).size(), 1);
    QVERIFY(heardOf(QAccessible::ValueChanged)[0].ms - left >= 490);
    QCOMPARE(heardOf(QAccessible::ValueChanged)[0].value.toDouble(), 10.0);
    // Then at most once a frame: the first at once, the last once the frame is over.
    QTest::qWait(20);
    heard.clear();
    bar.setValue(11);
    bar.setValue(12);
    QCOMPARE(heardOf(QAccessible::ValueChanged).size(), 1);
    QTRY_COMPARE(heardOf(QAccessible::ValueChanged).size(), 2);
    QCOMPARE(heardOf(QAccessible::ValueChanged)[1].value.toDouble(), 12.0);

    // Back at zero, and under a message box, nothing is told.
    QDialog message(window.get());
    message.setModal(true);
    for (double value : {0.0, 20.0}) {
        heard.clear();
        bar.setValue(value);
        if (value > 0)
            message.show();
        QTest::qWait(600);
        QCOMPARE(heardOf(QAccessible::ValueChanged).size(), 0);
    }
}

void TestAccessibility::contextMenuFromTheKeyboard_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Menu key") << int(Qt::Key_Menu) << Qt::KeyboardModifiers();
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << Qt::KeyboardModifiers(Qt::ShiftModifier);
}

void TestAccessibility::contextMenuFromTheKeyboard()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    auto window = makeWindow({"a", "b"});
    auto *view = window->findChild<ResultView *>("ListView1");
    QAccessibleInterface *list = tableOf(*window);
    view->setFocus();
    view->setSelectedRow(2);
    heard.clear();
    QStringList items;
    QAccessibleInterface *menuParent = nullptr;
    QString activeItem;
    // Once the menu is open and has made its first item current:
    const auto open = [&] {
        // While open, the menu is the list's last child.
        QAccessibleInterface *menu = list->child(list->childCount() - 1);
        QVERIFY(menu && view->contextMenu());
        QCOMPARE(menu->role(), QAccessible::PopupMenu);
        menuParent = menu->parent();
        for (int i = 0; i < menu->childCount(); ++i) {
            QCOMPARE(menu->child(i)->role(), QAccessible::MenuItem);
            QCOMPARE(menu->indexOfChild(menu->child(i)), i);
            items.append(menu->child(i)->text(QAccessible::Name));
        }
        for (int i = 0; i < menu->childCount(); ++i)
            if (menu->child(i)->state().focused)
                activeItem = menu->child(i)->text(QAccessible::Name);
        menu->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    };
    QTimer::singleShot(0, this, [&] { QTimer::singleShot(0, this, open); });
    QTest::keyClick(view, Qt::Key(key), modifiers);
    QCOMPARE(items, (QStringList{QStringLiteral("Check All"), QStringLiteral("Uncheck All")}));
    QCOMPARE(menuParent, list);
    QVERIFY(window->list().checked(1) && window->list().checked(2));
    QCOMPARE(view->contextMenu(), nullptr);
    QCOMPARE(list->childCount(), 3);
    // Read as it opened: its first item; once closed: the row again, then what the item did.
    QCOMPARE(activeItem, QStringLiteral("Check All"));
    const QList<Heard> focus = heardOf(QAccessible::Focus);
    QVERIFY(std::any_of(focus.begin(), focus.end(), [](const Heard &h) {
        return h.role == QAccessible::MenuItem && h.name == QStringLiteral("Check All");
    }));
    QCOMPARE(focus.last().role, QAccessible::CheckBox);
    QCOMPARE(focus.last().name, QStringLiteral("b"));
    const QList<Heard> told = toldOf();
    QVERIFY(!told.isEmpty());
    QCOMPARE(told.last().name, QStringLiteral("2 of 2 rows checked"));
    QVERIFY(told.last().ms >= focus.last().ms);
}

void TestAccessibility::messageBoxReadsAsShown()
{
    // The error report's shape: lines broken by "\r\n" and by a lone "\r".
    const QString text = QStringLiteral("Division by zero\r\nin Form1 at line 114\r\rPlease email screenshot");
    QStringList read;
    QTimer::singleShot(0, this, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *iface) {
            // What the bus carries of a box and its labels: names and descriptions.
            for (auto t : {QAccessible::Name, QAccessible::Description})
                if (!iface->text(t).isEmpty())
                    read.append(iface->text(t));
            for (int i = 0; i < iface->childCount(); ++i)
                walk(iface->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(box));
        box->close();
    });
    QtDialogs(nullptr).showMessage(QStringLiteral("Application Error"), text, Dialogs::Icon::Warning);
    QVERIFY(read.contains(QStringLiteral("Division by zero\nin Form1 at line 114\n\nPlease email screenshot")));
    QVERIFY(read.contains(QStringLiteral("Warning")));
    for (const QString &said : read)
        QVERIFY2(!said.contains(QLatin1Char('\r')), qPrintable(said));
}

void TestAccessibility::dialogsLeaveNoDeadObjects()
{
    // A reader walks the save dialog's views, the cells and headers of its
    // detail view among them, which Qt makes afresh on each question.
    QList<QAccessible::Id> asked;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        for (auto *view : dialog->findChildren<QAbstractItemView *>()) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view);
            for (int i = 0; i < std::min(iface->childCount(), 8); ++i)
                if (QAccessibleInterface *child = iface->child(i); child && !child->object())
                    asked.append(QAccessible::uniqueId(child));
        }
        dialog->reject();
    });
    QtDialogs(nullptr).getSaveFileName(QStringLiteral("Save"), QStringLiteral("Text Files (*.txt)"));
    QVERIFY(!asked.isEmpty());
    // Once it is closed, a question about any of them finds it gone, not dead.
    for (const QAccessible::Id id : std::as_const(asked))
        QCOMPARE(QAccessible::accessibleInterface(id), nullptr);
}

void TestAccessibility::saveDialogTellsItsFolder()
{
    QTemporaryDir other;
    QString opened, moved;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        opened = QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Name);
        heard.clear();
        dialog->setDirectory(other.path()); // as a folder typed in and entered
        QTRY_VERIFY(!toldOf().isEmpty());
        moved = QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Name);
        dialog->reject();
    });
    QtDialogs(nullptr).getSaveFileName(QStringLiteral("Save"), QStringLiteral("Text Files (*.txt)"));
    QCOMPARE(opened, QStringLiteral("Save, in folder %1").arg(QDir::currentPath()));
    QCOMPARE(toldOf().size(), 1);
    QCOMPARE(toldOf()[0].name, QStringLiteral("in folder %1").arg(other.path()));
    QCOMPARE(moved, QStringLiteral("Save, in folder %1").arg(other.path()));
}

void TestAccessibility::windowIsToldActiveOnceADialogIsGone()
{
    auto window = makeWindow();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    heard.clear();
    QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
    QtDialogs(window.get()).showMessage(QStringLiteral("Title"), QStringLiteral("Text"), Dialogs::Icon::Warning);
    announce(window.get(), QStringLiteral("what the command did"));
    window->activateWindow(); // the window manager's part, which this platform has not
    // The window's own news of its activation may cross the dialog's going
    // away: whatever a reader heard last, once that has settled the window
    // is told active again, then where its focus is, then what was announced.
    const auto lastActivation = [&] {
        qint64 last = -1;
        for (const Heard &h : std::as_const(heard))
            if (h.object == window.get() && h.activeChanged)
                last = h.ms;
        return last;
    };
    QTRY_VERIFY(!toldOf().isEmpty());
    const QList<Heard> told = toldOf();
    QCOMPARE(told.last().name, QStringLiteral("what the command did"));
    const QList<Heard> focus = heardOf(QAccessible::Focus);
    QVERIFY(!focus.isEmpty() && focus.last().object == QApplication::focusWidget());
    QVERIFY(lastActivation() <= focus.last().ms && focus.last().ms <= told.last().ms);
    // Told anew, apart from the activation itself.
    QVERIFY(std::count_if(heard.cbegin(), heard.cend(), [&](const Heard &h) {
        return h.object == window.get() && h.activeChanged;
    }) >= 2);
}

void TestAccessibility::everyControlIsNamed()
{
    auto window = makeWindow();
    QStringList names;
    std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *iface) {
        for (int i = 0; i < iface->childCount(); ++i) {
            QAccessibleInterface *child = iface->child(i);
            QVERIFY2(!child->text(QAccessible::Name).isEmpty(),
                     qPrintable(child->object() ? child->object()->objectName() : QString::number(child->role())));
            names.append(child->text(QAccessible::Name));
            // A frame's caption is a label of its own, where it is drawn: on the frame's top edge.
            if (child->role() == QAccessible::Grouping) {
                QAccessibleInterface *caption = child->child(0);
                QCOMPARE(caption->role(), QAccessible::StaticText);
                QCOMPARE(caption->text(QAccessible::Name), child->text(QAccessible::Name));
                QCOMPARE(child->indexOfChild(caption), 0);
                QVERIFY(child->rect().contains(caption->rect()) && caption->rect().top() - child->rect().top() < 8);
            }
            if (!child->tableInterface())
                walk(child);
        }
    };
    // The window is a frame named by its title.
    QAccessibleInterface *frame = QAccessible::queryAccessibleInterface(window.get());
    QCOMPARE(frame->role(), QAccessible::Window);
    QCOMPARE(frame->text(QAccessible::Name), QStringLiteral("Orvelle Software"));
    walk(frame);
    names.sort();
    QCOMPARE(
        names,
        (QStringList{"City", "Clear List", "Copy Results To Clipboard", "Display", "Display", "Number To Generate",
                     "Number To Generate", "Number To Generate", "Progress Bar", "Result(s)",
                     "Save Results As Excel File", "Save Results As Text File", "Start Generating", "State", "Zip"}));
}

void TestAccessibility::rowsInTheListsFont()
{
    const QString text = QStringLiteral("Holtsville, NY 00501");
    auto window = makeWindow({text});
    auto *view = window->findChild<ResultView *>("ListView1");
    QCOMPARE(view->font().family(), QStringLiteral("Arial"));
    QVERIFY(view->font().bold());
    // The width of the ink right of the check box is the text's in the list's font.
    const QImage image = view->viewport()->grab().toImage();
    const QRect row = view->rowRect(1);
    const QColor background = image.pixelColor(row.right() - 1, row.center().y());
    int left = -1;
    int right = -1;
    for (int x = view->checkBoxRect(1).right() + 2; x < image.width() - 1; ++x)
        for (int y = row.top(); y <= row.bottom(); ++y)
            if (image.pixelColor(x, y) != background) {
                left = left < 0 ? x : left;
                right = x;
            }
    const int ink = right - left + 1;
    const int inListFont = QFontMetrics(view->font()).horizontalAdvance(text);
    const int inOtherFont = QFontMetrics(QApplication::font()).horizontalAdvance(text);
    QVERIFY2(std::abs(inListFont - inOtherFont) > 4, "the fonts must differ for this test to tell them apart");
    QVERIFY2(
        std::abs(ink - inListFont) <= 3,
        qPrintable(
            QStringLiteral("ink %1, list font %2, application font %3").arg(ink).arg(inListFont).arg(inOtherFont)));
}

void TestAccessibility::darkPaletteLeavesTextReadable()
{
    const QPalette before = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xdd, 0xdd, 0xdd));
    dark.setColor(QPalette::Base, QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::AlternateBase, QColor(0x2c, 0x2c, 0x2c));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    QApplication::setPalette(dark);
    auto window = makeWindow({"Holtsville, NY 00501", "Akutan, AK 99553"});
    // Each control; the list's rows are drawn on its viewport, its header apart.
    auto *view = window->findChild<ResultView *>("ListView1");
    QList<std::pair<QWidget *, QWidget *>> parts = {{view->viewport(), view},
                                                    {view->horizontalHeader()->viewport(), view->horizontalHeader()}};
    for (const char *name : {"Frame1", "Frame2", "Check1", "Check2", "Check3", "Text1", "PushButton2", "PushButton3",
                             "PushButton13", "PushButton7", "PushButton8", "ProgressBar1"})
        parts.append(std::make_pair(window->findChild<QWidget *>(name), window->findChild<QWidget *>(name)));
    for (const auto &[drawn, owner] : parts) {
        const double ratio = textContrast(drawn, owner);
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1: contrast %2").arg(drawn->objectName()).arg(ratio)));
    }
    window.reset();
    QApplication::setPalette(before);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
