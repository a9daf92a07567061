// The main window as a user meets it, under the offscreen platform: start-up,
// options, settings, skin and pointer, the generation run and the list
// commands, and the close.

#include "app/Form1.h"
#include "app/ProgressBar.h"
#include "app/ResultView.h"
#include "app/SettingsStore.h"
#include "app/SystemClipboard.h"
#include "app/TerminationSignals.h"
#include "export/Spreadsheet.h"
#include "generate/ResultList.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDataStream>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSessionManager>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A 32 x 32 Windows cursor file with its hot spot at (5, 3).
QByteArray cursorFile()
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 xorSize = 32 * 32 * 4;
    const quint32 andSize = 32 * 4;
    out << quint16(0) << quint16(2) << quint16(1);                              // a cursor file with one image
    out << quint8(32) << quint8(32) << quint8(0) << quint8(0);                  // 32 x 32
    out << quint16(5) << quint16(3);                                            // hot spot
    out << quint32(40 + xorSize + andSize) << quint32(6 + 16);                  // size and offset of the image
    out << quint32(40) << qint32(32) << qint32(64) << quint16(1) << quint16(32) // BITMAPINFOHEADER
        << quint32(0) << quint32(xorSize + andSize) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (quint32 i = 0; i < 32 * 32; ++i)
        out << quint32(i % 3 ? 0xff000000u : 0xffffffffu);
    for (quint32 i = 0; i < andSize; ++i)
        out << quint8(0);
    return bytes;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An application that records the cells it is given.
class RecordingSpreadsheets : public SpreadsheetFactory
{
public:
    class Application : public SpreadsheetApplication
    {
    public:
        explicit Application(RecordingSpreadsheets &owner)
            : m_owner(owner)
        {
        }
        void addWorkbook() override { m_owner.calls.append(QStringLiteral("workbook")); }
        void setCell(int row, int column, const QString &value) override
        {
            m_owner.calls.append(QStringLiteral("cell %1,%2 %3").arg(row).arg(column).arg(value));
        }
        void autofitColumns() override { m_owner.calls.append(QStringLiteral("autofit")); }
        void setVisible(bool visible) override { m_owner.calls.append(QStringLiteral("visible %1").arg(visible)); }

    private:
        RecordingSpreadsheets &m_owner;
    };

    std::unique_ptr<SpreadsheetApplication> create() override
    {
        if (onCreate)
            std::exchange(onCreate, nullptr)(); // as while the office starts, once
        return std::make_unique<Application>(*this);
    }

    QStringList calls;
    std::function<void()> onCreate;
};

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstRunDefaults();
    void layoutAndTabOrder();
    void optionsSurviveIntoASecondWindow();
    void numberStoredAsEmptyText();
    void greyedZipDoesNotCount();
    void badStoredCheckValues_data();
    void badStoredCheckValues();
    void hugeNumberText();
    void leavingTheNumberBox_data();
    void leavingTheNumberBox();
    void clickAwayFromABadNumberRunsNothing();
    void theClickAfterTheMessageActs();

    void skin();
    void badSkin();
    void cursorFiles_data();
    void cursorFiles();
    void pointerRuleStandsAsideForTheHourglass();

    void generateFromTheButton();
    void noFieldChosenMovesTheFocus();
    void enterPressesTheFocusedButton();
    void damagedDatabaseLeavesTheListAndTheStoredList();
    void commandsDuringARunDoNothing();
    void listCommands();
    void spaceTicksARow();
    void contextMenuTicksEveryRow();
    void damagedSettingsFileIsReportedAndKept();
    void unstorableOptionsAreToldOnce_data();
    void unstorableOptionsAreToldOnce();

    void saveTextFileFromTheWindow();
    void copyToTheClipboardFromTheWindow();
    void spreadsheetFromTheWindow();
    void exportsStandAsideDuringARun();
    void commandsStandAsideWhileTheOfficeStarts();

    void prefixesAtClose_data();
    void prefixesAtClose();
    void closeDuringARunStoresTheRowsAndStops();
    void failedStoreAtCloseIsReported_data();
    void failedStoreAtCloseIsReported();
    void sessionSaveStoresWithoutClosing();
    void terminationSignalClosesTheWindow();

private:
    std::unique_ptr<Form1> makeWindow();
    std::unique_ptr<Form1> makeWindowWithThreePlaces();

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_folder;
    RecordingDialogs m_dialogs;
    RecordingSpreadsheets m_spreadsheets;
    SystemClipboard m_clipboard;
};

void TestForm1::initTestCase()
{
    QVERIFY(m_config.isValid());
}

void TestForm1::init()
{
    // Every test starts as a first run: fresh settings, a program folder holding the database.
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    QDir(m_config.path()).removeRecursively();
    QDir().mkpath(m_config.path());
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::link(QStringLiteral(ZIPBASE_PATH), m_folder->filePath(QStringLiteral("zipbase.mdb"))));
    m_dialogs = RecordingDialogs();
    m_spreadsheets.calls.clear();
    m_spreadsheets.onCreate = nullptr;
}

void TestForm1::cleanup()
{
    m_folder.reset();
}

std::unique_ptr<Form1> TestForm1::makeWindow()
{
    Form1Services services(m_clipboard, m_spreadsheets);
    services.dialogs = &m_dialogs;
    services.programFolder = m_folder->path();
    return std::make_unique<Form1>(services);
}

std::unique_ptr<Form1> TestForm1::makeWindowWithThreePlaces()
{
    auto window = makeWindow();
    window->show();
    for (const char *text : {"Holtsville, NY 00501", "Akutan, AK 99553", "Ann Arbor, MI 48103"})
        window->list().append(QLatin1String(text));
    window->list().commit();
    return window;
}

void TestForm1::firstRunDefaults()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvelle Software"));
    QCOMPARE(applicationTitle(), QStringLiteral("Orvelle"));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("200"));
    for (const char *name : {"Check1", "Check2", "Check3"})
        QCOMPARE(window->findChild<QCheckBox *>(name)->checkState(), Qt::Checked);
    QCOMPARE(window->list().rows(), 0);
    QCOMPARE(window->list().columns(), 1);
    QCOMPARE(window->list().header(1), QStringLiteral("Result(s)"));
    QCOMPARE(window->findChild<ResultView *>("ListView1")->columnWidth(0), 467);
    QCOMPARE(window->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(window->findChild<QGroupBox *>("Frame2")->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(window->progressBar().text(), QStringLiteral("Progress Bar"));
    QCOMPARE(window->pointer(), Pointer::Normal);
    QCOMPARE(QApplication::focusWidget(), window->findChild<QPushButton *>("PushButton2"));
    QVERIFY(m_dialogs.messages.isEmpty());

    // The first run writes the three boxes back, and nothing for the number.
    SettingsStore settings;
    for (auto key : {SettingsStore::Key::City, SettingsStore::Key::State, SettingsStore::Key::Zip})
        QCOMPARE(settings.read(SettingsStore::name(key), QStringLiteral("missing")), QStringLiteral("1"));
    QCOMPARE(settings.read(SettingsStore::name(SettingsStore::Key::NumberOfRecords), QStringLiteral("missing")),
             QStringLiteral("missing"));
}

void TestForm1::layoutAndTabOrder()
{
    auto window = makeWindow();
    QCOMPARE(window->size(), QSize(536, 392));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    // Every control lies inside its parent and clear of the others there.
    QList<QWidget *> controls;
    for (const char *name : {"Frame1", "Text1", "Frame2", "Check1", "Check2", "Check3", "PushButton2", "ListView1",
                             "PushButton3", "PushButton13", "PushButton8", "PushButton7", "ProgressBar1"})
        controls.append(window->findChild<QWidget *>(name));
    for (const QWidget *control : controls) {
        QVERIFY2(control->parentWidget()->rect().contains(control->geometry()), qPrintable(control->objectName()));
        for (const QWidget *other : controls) {
            if (other != control && other->parentWidget() == control->parentWidget())
                QVERIFY2(!control->geometry().intersects(other->geometry()), qPrintable(control->objectName()));
        }
    }
    // 15 twips a pixel, to the nearest pixel: (240, 340, 615, 255) twips.
    QCOMPARE(window->findChild<QWidget *>("Check1")->geometry(), QRect(16, 23, 41, 17));
    QCOMPARE(window->findChild<QPushButton *>("PushButton2")->font().pointSizeF(), 11.25);
    QVERIFY(window->findChild<QPushButton *>("PushButton2")->font().bold());
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->font().family(), QStringLiteral("Arial"));
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->font().pointSizeF(), 9.0);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QStringList expected = {"PushButton2", "PushButton3", "PushButton13", "PushButton7", "PushButton8",
                                  "ListView1",   "Text1",       "Check1",       "Check2",      "Check3"};
    QStringList order;
    for (int i = 0; i < expected.size(); ++i) {
        order.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, expected);
}

void TestForm1::optionsSurviveIntoASecondWindow()
{
    {
        auto window = makeWindow();
        auto *text = window->findChild<QLineEdit *>("Text1");
        text->clear();
        QTest::keyClicks(text, QStringLiteral("1500"));
        window->findChild<QCheckBox *>("Check2")->click();
        QCOMPARE(SettingsStore().read(SettingsStore::Key::State), QStringLiteral("0"));
        QCOMPARE(SettingsStore().read(SettingsStore::Key::NumberOfRecords), QStringLiteral("1500"));
    }
    auto window = makeWindow();
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("1500"));
    QCOMPARE(window->findChild<QCheckBox *>("Check1")->checkState(), Qt::Checked);
    QCOMPARE(window->findChild<QCheckBox *>("Check2")->checkState(), Qt::Unchecked);
    QCOMPARE(window->findChild<QCheckBox *>("Check3")->checkState(), Qt::Checked);
}

void TestForm1::numberStoredAsEmptyText()
{
    makeWindow()->findChild<QLineEdit *>("Text1")->clear();
    auto window = makeWindow();
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), QString());
}

void TestForm1::greyedZipDoesNotCount()
{
    SettingsStore().write(SettingsStore::Key::Zip, QStringLiteral("2"));
    auto window = makeWindow();
    auto *zip = window->findChild<QCheckBox *>("Check3");
    QCOMPARE(zip->checkState(), Qt::PartiallyChecked);
    QCOMPARE(window->fieldSet().zip, false);
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Zip), QStringLiteral("2"));
    // The first click ends the greyed state; clicks then tick and untick.
    zip->click();
    QCOMPARE(zip->checkState(), Qt::Checked);
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Zip), QStringLiteral("1"));
    zip->click();
    QCOMPARE(zip->checkState(), Qt::Unchecked);
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Zip), QStringLiteral("0"));
    zip->click();
    QCOMPARE(zip->checkState(), Qt::Checked);
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Zip), QStringLiteral("1"));
}

void TestForm1::badStoredCheckValues_data()
{
    QTest::addColumn<QString>("value");
    for (const char *value : {"x", "7", "-1", "99999", ""})
        QTest::newRow(value) << QString::fromLatin1(value);
}

void TestForm1::badStoredCheckValues()
{
    QFETCH(QString, value);
    SettingsStore().write(SettingsStore::Key::City, value);
    SettingsStore().write(SettingsStore::Key::Zip, value);
    auto window = makeWindow();
    QCOMPARE(m_dialogs.messages.size(), 2);
    QVERIFY(
        m_dialogs.messages[0].text.contains(QStringLiteral("in Orvelle2021/08/31.Form1.Form_Load at line 134\r\r")));
    QVERIFY(
        m_dialogs.messages[1].text.contains(QStringLiteral("in Orvelle2021/08/31.Form1.Form_Load at line 138\r\r")));
    QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(window->findChild<QCheckBox *>("Check1")->checkState(), Qt::Unchecked);
    QCOMPARE(window->findChild<QCheckBox *>("Check2")->checkState(), Qt::Checked);
    QCOMPARE(window->findChild<QCheckBox *>("Check3")->checkState(), Qt::Unchecked);
    // The bad value stays until the user clicks the box.
    QCOMPARE(SettingsStore().read(SettingsStore::Key::City), value);
}

void TestForm1::hugeNumberText()
{
    const QString huge(100000, QLatin1Char('9'));
    {
        auto window = makeWindow();
        window->findChild<QLineEdit *>("Text1")->setText(huge);
        QCOMPARE(window->findChild<QLineEdit *>("Text1")->text().size(), 100000);
    }
    // Stored and read back whole (as a count it is beyond the range: tst_generation's badCounts).
    auto window = makeWindow();
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), huge);
}

void TestForm1::leavingTheNumberBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("complains");
    // One text that is no number and one that is; which are: tst_numbers.
    QTest::newRow("12a") << "12a" << true;
    QTest::newRow("zero") << "0" << false;
}

void TestForm1::leavingTheNumberBox()
{
    QFETCH(QString, text);
    QFETCH(bool, complains);
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *box = window->findChild<QLineEdit *>("Text1");
    box->setFocus();
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Tab);
    QCoreApplication::processEvents();
    if (complains) {
        QCOMPARE(m_dialogs.texts(), QStringList{QStringLiteral("Must be a numerical value.")});
        QCOMPARE(m_dialogs.messages[0].title, QStringLiteral("Orvelle"));
        QCOMPARE(m_dialogs.messages[0].icon, Dialogs::Icon::None);
        QCOMPARE(QApplication::focusWidget(), box);
    } else {
        QVERIFY(m_dialogs.messages.isEmpty());
        QCOMPARE(QApplication::focusWidget(), window->findChild<QWidget *>("Check1"));
    }
    QCOMPARE(box->text(), text);
    QCOMPARE(SettingsStore().read(SettingsStore::Key::NumberOfRecords), text);
}

void TestForm1::clickAwayFromABadNumberRunsNothing()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *box = window->findChild<QLineEdit *>("Text1");
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    box->setFocus();
    box->setText(QStringLiteral("abc"));
    QTest::mouseClick(window->findChild<QPushButton *>("PushButton2"), Qt::LeftButton);
    QCOMPARE(m_dialogs.texts(), QStringList{QStringLiteral("Must be a numerical value.")});
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(window->list().rows(), 0);
    QVERIFY(!window->findChild<QPushButton *>("PushButton2")->isDown());
}

void TestForm1::theClickAfterTheMessageActs()
{
    // Clicks as the window system delivers them, to the window: a release
    // that comes while the message blocks the window never reaches it.
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QWindow *surface = window->windowHandle();
    auto *box = window->findChild<QLineEdit *>("Text1");
    auto *clear = window->findChild<QPushButton *>("PushButton7");
    const QPoint onClear = clear->mapTo(window.get(), clear->rect().center());
    QDialog blocker(window.get());
    blocker.setWindowModality(Qt::ApplicationModal);
    m_dialogs.onMessage = [&] { // the message box, up while the button goes up
        blocker.show();
        QTest::mouseRelease(surface, Qt::LeftButton, {}, onClear);
        blocker.hide();
    };
    window->list().append(QStringLiteral("A"));
    box->setFocus();
    box->setText(QStringLiteral("abc"));
    QTest::mousePress(surface, Qt::LeftButton, {}, onClear);
    QCOMPARE(m_dialogs.texts(), QStringList{QStringLiteral("Must be a numerical value.")});
    QCOMPARE(window->list().rows(), 1);

    box->setText(QStringLiteral("30"));
    QTest::mousePress(surface, Qt::LeftButton, {}, onClear);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, onClear);
    QCOMPARE(window->list().rows(), 0);
    QCOMPARE(m_dialogs.messages.size(), 1);
}

void TestForm1::skin()
{
    writeFile(m_folder->filePath(QStringLiteral("x/o.cjs")), "QPushButton { color: #123456; }");
    auto window = makeWindow();
    QVERIFY(m_dialogs.messages.isEmpty());
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    QCOMPARE(window->palette().color(QPalette::Window), buttonFace);
    for (const char *name : {"Frame1", "Frame2", "Check1", "Check2", "Check3"})
        QCOMPARE(window->findChild<QWidget *>(name)->palette().color(QPalette::Window), buttonFace);
    QCOMPARE(window->styleSheet(), QStringLiteral("QPushButton { color: #123456; }"));
    QCOMPARE(window->findChild<QPushButton *>("PushButton2")->palette().color(QPalette::ButtonText), QColor("#123456"));
}

void TestForm1::badSkin()
{
    writeFile(m_folder->filePath(QStringLiteral("x/o.cjs")), "QPushButton { color: ; } }} {{ garbage");
    auto window = makeWindow();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("not a valid style sheet")));
    QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("Form_Load at line 100")));
    QCOMPARE(window->styleSheet(), QString());
    // Start-up went on: the caption and the options are there.
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvelle Software"));
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("200"));

    // A folder of that name is no skin file.
    m_dialogs = RecordingDialogs();
    QFile::remove(m_folder->filePath(QStringLiteral("x/o.cjs")));
    QDir().mkpath(m_folder->filePath(QStringLiteral("x/o.cjs")));
    auto second = makeWindow();
    QCOMPARE(m_dialogs.messages.size(), 0);

    // A skin file that cannot be read is reported (root reads every file).
    if (geteuid() != 0) {
        QDir(m_folder->filePath(QStringLiteral("x/o.cjs"))).removeRecursively();
        writeFile(m_folder->filePath(QStringLiteral("x/o.cjs")), "QWidget {}");
        QFile::setPermissions(m_folder->filePath(QStringLiteral("x/o.cjs")), QFileDevice::Permissions());
        auto third = makeWindow();
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("cannot be read")));
    }
}

void TestForm1::cursorFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<bool>("hand");
    QTest::newRow("good") << cursorFile() << false << true;
    QTest::newRow("not a cursor") << QByteArray("GIF89a and some more text than a header") << true << false;
    QTest::newRow("truncated cursor") << cursorFile().left(30) << true << false;
    QTest::newRow("missing") << QByteArray() << false << false;
}

void TestForm1::cursorFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, reported);
    QFETCH(bool, hand);
    if (!content.isEmpty())
        writeFile(m_folder->filePath(QStringLiteral("HAND-M.CUR")), content);
    auto window = makeWindow();
    QCOMPARE(m_dialogs.messages.size(), reported ? 1 : 0);
    if (reported)
        QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("Form_Load at line 106")));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::mouseMove(window->findChild<QPushButton *>("PushButton3"));
    QTRY_COMPARE(window->pointer(), Pointer::Hand);
    if (hand) {
        QCOMPARE(window->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(window->cursor().hotSpot(), QPoint(5, 3));
    } else {
        QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
    }
    // Over the frame beside the number box: the normal arrow.
    QTest::mouseMove(window->findChild<QWidget *>("Frame1"), QPoint(250, 30));
    QTRY_COMPARE(window->pointer(), Pointer::Normal);
    // Over the number box itself nothing changes.
    QTest::mouseMove(window->findChild<QPushButton *>("PushButton3"));
    QTRY_COMPARE(window->pointer(), Pointer::Hand);
    QTest::mouseMove(window->findChild<QWidget *>("Text1"));
    QTest::qWait(20);
    QCOMPARE(window->pointer(), Pointer::Hand);
}

void TestForm1::pointerRuleStandsAsideForTheHourglass()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->setPointer(Pointer::Hourglass);
    QTest::mouseMove(window->findChild<QPushButton *>("PushButton7"));
    QTest::mouseMove(window->findChild<QWidget *>("ListView1")->findChild<QWidget *>("qt_scrollarea_viewport"));
    QTest::qWait(20);
    QCOMPARE(window->pointer(), Pointer::Hourglass);
    QCOMPARE(window->cursor().shape(), Qt::WaitCursor);
    window->setPointer(Pointer::Normal);
    QTest::mouseMove(window->findChild<QPushButton *>("PushButton7"), QPoint(10, 10));
    QTRY_COMPARE(window->pointer(), Pointer::Hand);
}

void TestForm1::generateFromTheButton()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::mouseClick(window->findChild<QPushButton *>("PushButton2"), Qt::LeftButton);
    QCOMPARE(window->list().rows(), 200);
    QCOMPARE(window->list().rowCount(), 200); // all shown in the view
    QCOMPARE(window->pointer(), Pointer::Normal);
    QCOMPARE(window->progressBar().value(), 0.0);
    QCOMPARE(window->progressBar().text(), QStringLiteral("Progress Bar"));
    QVERIFY(m_dialogs.messages.isEmpty()); // the rows themselves: tst_generation
}

void TestForm1::noFieldChosenMovesTheFocus()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    for (const char *name : {"Check1", "Check2", "Check3"})
        window->findChild<QCheckBox *>(name)->click();
    window->findChild<QPushButton *>("PushButton2")->setFocus();
    QTest::keyClick(window->findChild<QPushButton *>("PushButton2"), Qt::Key_Space);
    QCOMPARE(m_dialogs.texts(), QStringList{QStringLiteral("You forgot to check which fields to display.")});
    QCOMPARE(QApplication::focusWidget(), window->findChild<QWidget *>("Check1"));
}

void TestForm1::enterPressesTheFocusedButton()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QStringList names;
    for (QPushButton *button : window->findChildren<QPushButton *>())
        connect(button, &QPushButton::clicked, this, [&names, button] { names.append(button->objectName()); });
    const auto clicked = [&names] { return std::exchange(names, {}); };
    auto *clear = window->findChild<QPushButton *>("PushButton7");
    clear->setFocus();
    QTest::keyClick(clear, Qt::Key_Return);
    QTest::keyClick(clear, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(clear, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(clicked(), QStringList({"PushButton7", "PushButton7"}));
    // In the number box Enter presses no button.
    auto *number = window->findChild<QLineEdit *>("Text1");
    number->setFocus();
    QTest::keyClick(number, Qt::Key_Return);
    QTest::keyClick(number, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(clicked(), QStringList());
}

void TestForm1::damagedDatabaseLeavesTheListAndTheStoredList()
{
    const QString database = m_folder->filePath(QStringLiteral("zipbase.mdb"));
    QStringList good;
    {
        auto window = makeWindow();
        window->show();
        window->findChild<QLineEdit *>("Text1")->setText(QStringLiteral("20"));
        window->PushButton2_Click();
        good = rowsOf(window->list());
        QCOMPARE(good.size(), 20);

        QVERIFY(QFile::remove(database));
        QByteArray noise(4096, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        writeFile(database, noise);
        window->PushButton2_Click();
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("Form1.PushButton2_Click at line 130\r\r")));
        QCOMPARE(rowsOf(window->list()), good);
        QCOMPARE(window->list().rowCount(), 20);
        QCOMPARE(window->pointer(), Pointer::Normal);
        QCOMPARE(window->progressBar().value(), 0.0);
        QCOMPARE(window->progressBar().text(), QStringLiteral("Progress Bar"));
        window->close();
    }
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Prefixes), good.join(QLatin1Char(';')));

    // With the good database back, the next run works.
    QVERIFY(QFile::remove(database));
    QVERIFY(QFile::link(QStringLiteral(ZIPBASE_PATH), database));
    auto window = makeWindow();
    window->PushButton2_Click();
    QCOMPARE(window->list().rows(), 20);
    QCOMPARE(m_dialogs.messages.size(), 1);
}

void TestForm1::commandsDuringARunDoNothing()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->findChild<QLineEdit *>("Text1")->setText(QStringLiteral("300000"));
    auto *view = window->findChild<ResultView *>("ListView1");
    int pokes = 0;
    bool sawHourglass = false;
    QTimer poke;
    connect(&poke, &QTimer::timeout, this, [&] {
        ++pokes;
        sawHourglass = sawHourglass || window->pointer() == Pointer::Hourglass;
        view->setSelectedRow(1);
        QTest::keyClick(view, Qt::Key_Delete);
        window->findChild<QPushButton *>("PushButton7")->click();
        window->findChild<QPushButton *>("PushButton2")->click();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    });
    poke.start(1);
    window->PushButton2_Click();
    poke.stop();
    QVERIFY(pokes > 0);
    QVERIFY(sawHourglass);
    QCOMPARE(window->list().rows(), 300000);
    QCOMPARE(window->list().rowCount(), 300000);
}

void TestForm1::listCommands()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    ResultList &list = window->list();
    for (const char *text : {"r1", "r2", "r3", "r4", "r5", "r6"})
        list.append(QLatin1String(text));
    list.commit();
    auto *view = window->findChild<ResultView *>("ListView1");
    view->setFocus();
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(view->selectedRow(), 6);
    QTest::keyClick(view, Qt::Key_Home);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(view->selectedRow(), 3);
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(rowsOf(list), (QStringList{"r1", "r2", "r4", "r5", "r6"}));
    QCOMPARE(view->selectedRow(), 3); // the row now in its place
    view->setSelectedRow(4);
    QTest::keyClick(view, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(rowsOf(list), (QStringList{"r1", "r2", "r4", "r6"}));
    QTest::keyClick(view, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(list.rows(), 3);

    // A double-click on row 1 selects it with its first click and removes it.
    const QRect first = view->rowRect(1);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, first.center() + QPoint(40, 0));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, first.center() + QPoint(40, 0));
    QCOMPARE(list.rows(), 2);
    QCOMPARE(list.text(1, 1), QStringLiteral("r2"));

    QTest::mouseClick(window->findChild<QPushButton *>("PushButton7"), Qt::LeftButton);
    QCOMPARE(list.rows(), 0);
    QCOMPARE(view->horizontalHeader()->count(), 1);
    QCOMPARE(list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Result(s)"));
    QTest::keyClick(view, Qt::Key_Delete); // nothing to remove
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestForm1::spaceTicksARow()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    ResultList &list = window->list();
    list.append(QStringLiteral("a"));
    list.append(QStringLiteral("b"));
    list.commit();
    auto *view = window->findChild<ResultView *>("ListView1");
    view->setFocus();
    view->setSelectedRow(2);
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(!list.checked(1));
    QVERIFY(list.checked(2));
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(!list.checked(2));
    // The check box itself answers the mouse.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->checkBoxRect(1).center());
    QVERIFY(list.checked(1));
    QCOMPARE(view->selectedRow(), 1);
    // A click beside the box selects without ticking.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->rowRect(2).center());
    QVERIFY(!list.checked(2));
    QCOMPARE(view->selectedRow(), 2);
}

void TestForm1::contextMenuTicksEveryRow()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    ResultList &list = window->list();
    for (int i = 0; i < 500; ++i)
        list.append(QStringLiteral("row %1").arg(i));
    list.commit();
    auto *view = window->findChild<ResultView *>("ListView1");
    const auto choose = [&](const QString &action) {
        QTimer::singleShot(0, this, [action] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *item : menu->actions())
                if (item->text() == action)
                    item->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                                view->viewport()->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(view->viewport(), &event);
    };
    choose(QStringLiteral("Check All"));
    for (int row = 1; row <= list.rows(); ++row)
        QVERIFY(list.checked(row));
    QCOMPARE(list.data(list.index(499, 0), Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    choose(QStringLiteral("Uncheck All"));
    for (int row = 1; row <= list.rows(); ++row)
        QVERIFY(!list.checked(row));
}

void TestForm1::damagedSettingsFileIsReportedAndKept()
{
    const QString path = SettingsStore().fileName(SettingsStore::name(SettingsStore::Key::City));
    const QByteArray damaged = QByteArrayLiteral(
        "Number%20Of%20Records=42\nCheck2=0\n\x00\xff[[[General\n=====\n\xfe\xfe");
    writeFile(path, damaged);
    auto window = makeWindow();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("Form1.Form_Load at line 132\r\r")));
    QVERIFY(m_dialogs.messages[0].text.contains(path + QStringLiteral(".damaged")));
    QCOMPARE(readFile(path + QStringLiteral(".damaged")), damaged);
    // What could be read is used; the rest takes its default.
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("42"));
    QCOMPARE(window->findChild<QCheckBox *>("Check1")->checkState(), Qt::Checked);
    QCOMPARE(window->findChild<QCheckBox *>("Check2")->checkState(), Qt::Unchecked);
    // The store takes the user's changes afterwards, in a clean file.
    window->findChild<QCheckBox *>("Check3")->click();
    const SettingsStore after;
    QCOMPARE(after.status(), QSettings::NoError);
    QCOMPARE(after.read(SettingsStore::Key::Zip), QStringLiteral("0"));
    QCOMPARE(after.read(SettingsStore::Key::NumberOfRecords), QStringLiteral("42"));
}

void TestForm1::unstorableOptionsAreToldOnce_data()
{
    QTest::addColumn<QString>("made");
    QTest::newRow("a folder in the file's place") << "folder";
    QTest::newRow("a pipe in the file's place") << "pipe";
    QTest::newRow("read-only file") << "read-only file";
    QTest::newRow("read-only folder") << "read-only folder";
    QTest::newRow("a file in the folder's place") << "file for folder";
}

void TestForm1::unstorableOptionsAreToldOnce()
{
    QFETCH(QString, made);
    // A config folder of its own: QSettings keeps the changes it could not
    // store for the file's name, for as long as this process runs.
    const QTemporaryDir config(m_config.path() + QStringLiteral("/XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString path = SettingsStore().fileName(SettingsStore::name(SettingsStore::Key::City));
    const QString folder = QFileInfo(path).path();
    const auto writable = qScopeGuard(
        [&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    const bool pipe = made == QLatin1String("pipe");
    if (made == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (pipe) {
        QVERIFY(QDir().mkpath(folder));
        // In both files' places: neither may wait for a writer or be replaced.
        for (SettingsStore::Key key : {SettingsStore::Key::City, SettingsStore::Key::Prefixes}) {
            const QString name = SettingsStore().fileName(SettingsStore::name(key));
            QCOMPARE(mkfifo(QFile::encodeName(name).constData(), 0600), 0);
        }
    } else if (made == QLatin1String("file for folder")) {
        writeFile(folder, "");
    } else {
        if (geteuid() == 0)
            QSKIP("root writes every file");
        SettingsStore().write(SettingsStore::Key::State, QStringLiteral("0"));
        QVERIFY(QFile::setPermissions(made == QLatin1String("read-only file") ? path : folder,
                                      QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray before = pipe ? QByteArray() : readFile(path);
    auto window = makeWindow();
    if (made == QLatin1String("folder")) {
        // Nothing to read: the defaults, and the start's report says that changes will not be kept.
        QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("200"));
        for (const char *name : {"Check1", "Check2", "Check3"})
            QCOMPARE(window->findChild<QCheckBox *>(name)->checkState(), Qt::Checked);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("Form1.Form_Load at line 132\r\r")));
        QVERIFY(m_dialogs.messages[0].text.contains(QStringLiteral("will not be kept")));
    }
    window->show();
    window->findChild<QCheckBox *>("Check3")->click();
    window->findChild<QLineEdit *>("Text1")->setText(QStringLiteral("75"));
    window->findChild<QCheckBox *>("Check3")->click();
    QCOMPARE(window->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("75"));
    window->close();

    // Each cause told once in the run, at start, change or close, naming the file.
    const SettingsStore settings;
    const auto told = [&](SettingsStore::Key key) {
        const QString name = SettingsStore::name(key);
        return m_dialogs.texts().filter(settings.fileName(name)).filter(settings.storageCause(name)).size();
    };
    QCOMPARE(told(SettingsStore::Key::City), 1);
    // The list's file, whose store fails unless only the small file is at fault: told at the
    // close, a fault the options' message told already included.
    QCOMPARE(told(SettingsStore::Key::Prefixes), made == QLatin1String("folder") || made == QLatin1String("read-only file") ? 0 : 1);
    QCOMPARE(m_dialogs.texts().filter(path).size(), 1);
    if (pipe) {
        for (SettingsStore::Key key : {SettingsStore::Key::City, SettingsStore::Key::Prefixes})
            QVERIFY(QFileInfo(settings.fileName(SettingsStore::name(key))).exists()
                    && !QFileInfo(settings.fileName(SettingsStore::name(key))).isFile());
    } else if (made != QLatin1String("file for folder")) {
        QCOMPARE(readFile(path), before);
    }
}

void TestForm1::prefixesAtClose_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("stored");
    QTest::newRow("empty") << QStringList() << QString();
    QTest::newRow("three") << QStringList{"A", "B", "C"} << "A;B;C";
    QTest::newRow("semicolon kept") << QStringList{"x;y", "z"} << "x;y;z";
    QStringList thousand;
    for (int i = 0; i < 1000; ++i)
        thousand.append(QStringLiteral("Row %1, NY").arg(i));
    QTest::newRow("thousand") << thousand << thousand.join(QLatin1Char(';'));
}

void TestForm1::prefixesAtClose()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, stored);
    SettingsStore().write(SettingsStore::Key::Prefixes, QStringLiteral("from an earlier run"));
    auto window = makeWindow();
    window->show();
    for (const QString &row : rows)
        window->list().append(row);
    window->close();
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Prefixes), stored);
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestForm1::closeDuringARunStoresTheRowsAndStops()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->findChild<QLineEdit *>("Text1")->setText(QStringLiteral("5000000"));
    int rowsAtClose = -1;
    QTimer closer;
    connect(&closer, &QTimer::timeout, window.get(), [&] {
        if (window->list().rows() > 1000 && rowsAtClose < 0) {
            rowsAtClose = window->list().rows();
            window->close();
        }
    });
    closer.start(1);
    window->PushButton2_Click();
    QVERIFY(rowsAtClose > 0);
    QVERIFY(rowsAtClose < 5000000);
    // The run ended at once: no row was added after the close.
    QCOMPARE(window->list().rows(), rowsAtClose);
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Prefixes).count(QLatin1Char(';')), rowsAtClose - 1);
}

void TestForm1::saveTextFileFromTheWindow()
{
    auto window = makeWindowWithThreePlaces();
    ResultList &list = window->list();
    list.setChecked(1, true);
    list.setChecked(3, true);
    const QString path = m_folder->filePath(QStringLiteral("places"));
    m_dialogs.nextSaveFileNames = {path};
    QTest::mouseClick(window->findChild<QPushButton *>("PushButton3"), Qt::LeftButton);
    QCOMPARE(m_dialogs.saveTitles, QStringList{QStringLiteral("Save")});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("Result(s)           \t\r\n"
                        "Holtsville, NY 00501\t\r\n"
                        "Ann Arbor, MI 48103 \t\r\n"));
    QCOMPARE(window->pointer(), Pointer::Normal);
    QCOMPARE(window->progressBar().text(), QStringLiteral("Progress Bar"));
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestForm1::copyToTheClipboardFromTheWindow()
{
    auto window = makeWindowWithThreePlaces();
    ResultList &list = window->list();
    list.setChecked(2, true);
    list.setChecked(3, true);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::mouseClick(window->findChild<QPushButton *>("PushButton8"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Akutan, AK 99553\r\nAnn Arbor, MI 48103\r\n"));
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestForm1::spreadsheetFromTheWindow()
{
    auto window = makeWindowWithThreePlaces();
    ResultList &list = window->list();
    list.setChecked(1, true);
    list.setChecked(3, true);
    QTest::mouseClick(window->findChild<QPushButton *>("PushButton13"), Qt::LeftButton);
    QCOMPARE(m_spreadsheets.calls,
             (QStringList{"workbook", "cell 1,1 Result(s)", "cell 2,1 Holtsville, NY 00501",
                          "cell 4,1 Ann Arbor, MI 48103", "autofit", "visible 1"}));
    QCOMPARE(window->pointer(), Pointer::Normal);
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestForm1::exportsStandAsideDuringARun()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->findChild<QLineEdit *>("Text1")->setText(QStringLiteral("200000"));
    m_dialogs.nextSaveFileNames = {m_folder->filePath(QStringLiteral("never.txt"))};
    bool clicked = false;
    QTimer poke;
    connect(&poke, &QTimer::timeout, this, [&] {
        if (window->pointer() != Pointer::Hourglass || clicked)
            return;
        clicked = true;
        window->findChild<QPushButton *>("PushButton3")->click();
        window->findChild<QPushButton *>("PushButton13")->click();
    });
    poke.start(1);
    window->PushButton2_Click();
    QVERIFY(clicked);
    QVERIFY(m_dialogs.saveTitles.isEmpty());
    QVERIFY(m_spreadsheets.calls.isEmpty());
    QVERIFY(!QFile::exists(m_folder->filePath(QStringLiteral("never.txt"))));
    QCOMPARE(window->list().rows(), 200000);
}

void TestForm1::commandsStandAsideWhileTheOfficeStarts()
{
    // The office takes its time to start for the export's probe: the window
    // handles its input meanwhile, but no other command acts, as during the
    // rest of the export.
    auto window = makeWindowWithThreePlaces();
    window->list().setAllChecked(true);
    bool probing = false;
    m_spreadsheets.onCreate = [&] {
        probing = true;
        QCOMPARE(window->pointer(), Pointer::Hourglass);
        for (const char *button : {"PushButton13", "PushButton7", "PushButton2"})
            QTest::mouseClick(window->findChild<QPushButton *>(button), Qt::LeftButton);
        QTest::keyClick(window->findChild<ResultView *>("ListView1"), Qt::Key_Delete);
    };
    QTest::mouseClick(window->findChild<QPushButton *>("PushButton13"), Qt::LeftButton);

    QVERIFY(probing);
    QCOMPARE(m_spreadsheets.calls,
             (QStringList{"workbook", "cell 1,1 Result(s)", "cell 2,1 Holtsville, NY 00501",
                          "cell 3,1 Akutan, AK 99553", "cell 4,1 Ann Arbor, MI 48103", "autofit", "visible 1"}));
    QCOMPARE(rowsOf(window->list()), QStringList({"Holtsville, NY 00501", "Akutan, AK 99553", "Ann Arbor, MI 48103"}));
    QCOMPARE(window->pointer(), Pointer::Normal);
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestForm1::failedStoreAtCloseIsReported_data()
{
    QTest::addColumn<bool>("full");
    QTest::newRow("a folder in the list file's place") << false;
    QTest::newRow("no room for the list") << true;
}

void TestForm1::failedStoreAtCloseIsReported()
{
    QFETCH(bool, full);
    SettingsStore settings;
    const QString listFile = settings.fileName(SettingsStore::name(SettingsStore::Key::Prefixes));
    if (full)
        settings.write(SettingsStore::Key::Prefixes, QStringLiteral("from an earlier run"));
    else // the store cannot replace a folder
        QDir().mkpath(listFile);
    auto window = makeWindow();
    window->show();
    window->list().append(QString(100, QLatin1Char('A')));
    std::optional<FileSizeLimit> noRoom;
    if (full)
        noRoom.emplace(64); // the write fails part way
    window->close();
    noRoom.reset();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY(m_dialogs.messages[0].text.contains(
        QStringLiteral("in Orvelle2021/08/31.Form1.Form_QueryUnload at line 110\r\r")));
    QVERIFY(m_dialogs.messages[0].text.contains(listFile));
    QVERIFY(!window->isVisible());
    if (full)
        QCOMPARE(readFile(listFile), QByteArray("from an earlier run"));
}

void TestForm1::sessionSaveStoresWithoutClosing()
{
    auto window = makeWindow();
    window->show();
    window->list().append(QStringLiteral("A"));
    window->list().append(QStringLiteral("B"));
    auto *manager = qApp->findChild<QSessionManager *>();
    QVERIFY(manager);
    emit qApp->commitDataRequest(*manager);
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Prefixes), QStringLiteral("A;B"));
    QVERIFY(window->isVisible());

    // A store that fails is not shown while the session manager forbids interaction ...
    const QString prefixesFile = SettingsStore().fileName(SettingsStore::name(SettingsStore::Key::Prefixes));
    QVERIFY(QFile::remove(prefixesFile));
    QVERIFY(QDir().mkpath(prefixesFile));
    QVERIFY(!manager->allowsInteraction());
    emit qApp->commitDataRequest(*manager);
    QVERIFY(m_dialogs.messages.isEmpty());
    // ... and the close still reports it.
    window->close();
    QCOMPARE(reportedSteps(m_dialogs, QStringLiteral("in Orvelle2021/08/31.Form1.Form_QueryUnload ")), QList<int>{110});
}

void TestForm1::terminationSignalClosesTheWindow()
{
    auto window = makeWindow();
    closeOnTermination(window.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->list().append(QStringLiteral("kept at the end"));
    ::raise(SIGTERM);
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(SettingsStore().read(SettingsStore::Key::Prefixes), QStringLiteral("kept at the end"));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
