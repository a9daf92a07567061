#include "app/Form1.h"

#include "app/Accessible.h"
#include "app/Controls.h"
#include "app/LostFocusWatch.h"
#include "app/ProgressBar.h"
#include "app/ResultView.h"
#include "app/SessionDialogs.h"
#include "app/SettingsStore.h"
#include "app/Skin.h"
#include "export/ClipboardCopy.h"
#include "export/Spreadsheet.h"
#include "export/SpreadsheetExport.h"
#include "export/TextExport.h"
#include "generate/ListCommands.h"
#include "generate/ResultList.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/Numbers.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <limits>
#include <utility>

Form1::Form1(const Services &services, QWidget *parent)
    : QWidget(parent)
    , m_qtDialogs(this)
    , m_dialogs(services.dialogs ? services.dialogs : &m_qtDialogs)
    , m_commandDialogs(*m_dialogs)
    , m_clipboard(services.clipboard)
    , m_spreadsheets(services.spreadsheets)
    , m_settings(std::make_unique<SettingsStore>())
    , m_programFolder(services.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                       : services.programFolder)
    , Frame1(placed(captionedFrame(QStringLiteral("Number To Generate"), this), "Frame1", twips(120, 120, 3840, 795)))
    , Text1(placed(new QLineEdit(QStringLiteral("200"), Frame1), "Text1", twips(240, 300, 3375, 330)))
    , Frame2(placed(captionedFrame(QStringLiteral("Display"), this), "Frame2", twips(4080, 120, 3840, 795)))
    , Check3(placed(new FieldBox(QStringLiteral("Zip"), Frame2), "Check3", twips(2760, 340, 615, 255)))
    , Check2(placed(new FieldBox(QStringLiteral("State"), Frame2), "Check2", twips(1440, 340, 855, 255)))
    , Check1(placed(new FieldBox(QStringLiteral("City"), Frame2), "Check1", twips(240, 340, 615, 255)))
    , ProgressBar1(placed(new ProgressBar(this), "ProgressBar1", twips(120, 5350, 7800, 405)))
    , PushButton2(commandButton(this, "PushButton2", QStringLiteral("Start Generating"), twips(120, 1040, 7800, 405)))
    , PushButton3(
          commandButton(this, "PushButton3", QStringLiteral("Save Results As Text File"), twips(120, 4320, 3840, 405)))
    , PushButton13(commandButton(this, "PushButton13", QStringLiteral("Save Results As Excel File"),
                                 twips(4080, 4320, 3840, 405)))
    , PushButton7(commandButton(this, "PushButton7", QStringLiteral("Clear List"), twips(4080, 4830, 3840, 405)))
    , PushButton8(
          commandButton(this, "PushButton8", QStringLiteral("Copy Results To Clipboard"), twips(120, 4830, 3840, 405)))
    , ListView1(placed(new ResultView(this), "ListView1", twips(120, 1560, 7800, 2655)))
    , m_list(new ResultList(this))
    , m_runner(*m_list)
{
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(536, 392);
    const QFont font = arialBold(9);
    for (QWidget *widget :
         QList<QWidget *>{this, Frame1, Text1, Frame2, Check1, Check2, Check3, ListView1, ProgressBar1})
        widget->setFont(font);

    // White backgrounds until a skin says otherwise.
    setBackgrounds(Qt::white);

    Text1->setMaxLength(std::numeric_limits<int>::max());
    // The one control without a caption of its own reads as its frame's.
    Text1->setAccessibleName(Frame1->title());
    quietFocusSelection(Text1);
    // The field boxes are as narrow as their captions: a tight gap keeps "City" whole.
    for (QCheckBox *box : {Check1, Check2, Check3})
        box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }"));
    ListView1->setList(m_list);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
    for (QWidget *widget : QList<QWidget *>{this, Frame1, Frame2, ListView1->viewport()})
        widget->setMouseTracking(true);
    // The pointer rule watches the events of the whole window.
    qApp->installEventFilter(this);
    new LostFocusWatch(
        this, Text1, [this] { return numberBoxHoldsNumber(); }, [this] { Text1_LostFocus(); });

    // Keyboard focus order; frames and the progress bar never take the focus.
    QWidget *order[] = {PushButton2, PushButton3, PushButton13, PushButton7, PushButton8,
                        ListView1,   Text1,       Check1,       Check2,      Check3};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton13, &QPushButton::clicked, this, &Form1::PushButton13_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    for (auto removal : {&ResultView::deletePressed, &ResultView::doubleClicked})
        connect(ListView1, removal, this, &Form1::ListView1_RemoveSelected);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    Check1->onValueChanged(this, &Form1::Check1_Click);
    Check2->onValueChanged(this, &Form1::Check2_Click);
    Check3->onValueChanged(this, &Form1::Check3_Click);
    // The session's end stores the list but leaves the window open: the
    // session manager ends the program afterwards, and a logout cancelled by
    // another program leaves it running. (Qt forbids closing inside this signal.)
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Form1::commitSessionData);

    Form_Load();
    PushButton2->setFocus();
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
}

// ---------------------------------------------------------------- start-up

void Form1::setBackgrounds(const QColor &color)
{
    // The window, its frames and its field boxes share one background, and
    // their captions a colour that reads on it whatever the desktop's palette.
    const QColor text = qGray(color.rgb()) >= 128 ? Qt::black : Qt::white;
    for (QWidget *widget : QList<QWidget *>{this, Frame1, Frame2, Check1, Check2, Check3}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, color);
        palette.setColor(QPalette::WindowText, text);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    }
}

bool Form1::FileExists(const QString &path)
{
    return QFileInfo(path).lastModified().isValid();
}

void Form1::ApplySkin()
{
    const QString path = m_programFolder + QStringLiteral("/x/o.cjs");
    if (!QFileInfo(path).isFile())
        return;
    setBackgrounds(QApplication::palette().color(QPalette::Button));
    setStyleSheet(Skin::readStyleSheet(path));
    // The controls take on the sheet at once, not first when shown.
    ensurePolished();
    for (QWidget *child : findChildren<QWidget *>())
        child->ensurePolished();
}

void Form1::SetAppTitle()
{
    QString title = QStringLiteral("Orvelle Software");
    do {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        title = title.left(std::max<qsizetype>(space, 0));
    } while (title.size() > 40);
    setApplicationTitle(title);
}

void Form1::loadCheck(Guard &guard, int step, FieldBox *box, SettingsStore::Key key)
{
    guard.step(step, [&] {
        const qint16 value = m_settings->readInt16(key);
        if (value < 0 || value > 2)
            throw Failure(
                QStringLiteral("Invalid property value: the setting \"%1\" holds %2; a field box is 0, 1 or 2.")
                    .arg(SettingsStore::name(key))
                    .arg(value));
        box->setValue(value);
    });
}

void Form1::Form_Load()
{
    Guard guard(*m_dialogs, QStringLiteral("in Orvelle2021/08/31.Form1.Form_Load "));
    guard.step(100, [&] { ApplySkin(); });
    const QString cursorPath = m_programFolder + QStringLiteral("/HAND-M.CUR");
    if (guard.test(104, [&] { return FileExists(cursorPath); })) {
        guard.step(106, [&] {
            m_handCursor = Skin::loadCursorFile(cursorPath);
            m_handLoaded = true;
        });
    }
    guard.step(126, [&] {
        setWindowTitle(QStringLiteral("Orvelle Software"));
        setWindowIcon(Skin::programIcon());
        SetAppTitle();
    });
    guard.step(128, [&] { m_list->addColumn(QStringLiteral("Result(s)")); });
    guard.step(130, [&] { ListView1->setColumnWidth(0, qRound(7000 / 15.0)); });
    guard.step(132, [&] {
        Text1->setText(m_settings->read(SettingsStore::Key::NumberOfRecords));
        // A settings file that could not be read is reported once, its readable values in use.
        if (const QString problem = m_settings->loadProblem(); !problem.isEmpty()) {
            if (const QString fault = m_settings->loadFault(); !fault.isEmpty())
                m_toldFaults.insert(fault);
            throw Failure(problem);
        }
    });
    loadCheck(guard, 134, Check1, SettingsStore::Key::City);
    loadCheck(guard, 136, Check2, SettingsStore::Key::State);
    loadCheck(guard, 138, Check3, SettingsStore::Key::Zip);
}

void Form1::showEvent(QShowEvent *event)
{
    // First shown centred on the screen; the position is never stored.
    if (!m_centred) {
        m_centred = true;
        if (const QScreen *screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

// ---------------------------------------------------------------- close

namespace {
const QString queryUnloadSource = QStringLiteral("in Orvelle2021/08/31.Form1.Form_QueryUnload ");
} // namespace

void Form1::Form_QueryUnload()
{
    Guard guard(*m_dialogs, queryUnloadSource);
    storeList(guard);
    guard.step(112, [&] { QCoreApplication::processEvents(); });
}

// The close's store of the list: the rows' texts joined by ";" and stored as "Prefixes".
void Form1::storeList(Guard &guard)
{
    QString prefixes;
    guard.step(100, [&] { prefixes.clear(); });
    guard.forLoop(
        102, 106, 1, [&] { return m_list->rows(); },
        [&](int row) {
        guard.step(104, [&] {
            prefixes += m_list->text(row, 1);
            prefixes += QLatin1Char(';');
        });
        });
    if (guard.test(108, [&] { return !prefixes.isEmpty(); }))
        guard.step(108, [&] { prefixes.chop(1); });
    guard.step(110, [&] {
        m_settings->write(SettingsStore::Key::Prefixes, prefixes);
        if (m_settings->status() == QSettings::NoError)
            return;
        // Told even when an option's message told the same cause (a read-only
        // folder): this is the list, lost unless the user acts now.
        const QString key = SettingsStore::name(SettingsStore::Key::Prefixes);
        const QString cause = m_settings->storageCause(key);
        m_toldFaults.insert(m_settings->storageFault(key));
        throw Failure(
            QStringLiteral("The result list could not be stored in %1: %2.").arg(m_settings->fileName(key), cause));
    });
}

void Form1::commitSessionData(QSessionManager &manager)
{
    // The options are on disk since their last change; the list is stored
    // now. A failed store is reported when the session manager lets the
    // program talk to the user; otherwise the close reports it again.
    SessionDialogs dialogs(*m_dialogs, manager);
    Guard guard(dialogs, queryUnloadSource);
    const QSet<QString> told = m_toldFaults;
    storeList(guard);
    if (dialogs.dropped) // not told after all
        m_toldFaults = told;
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (!m_runner.unloaded()) {
        Form_QueryUnload();
        // Unloading ends every command still running: its next yield unwinds it.
        m_runner.unload();
    }
    event->accept();
}

// ---------------------------------------------------------------- commands

template <typename Command, typename Told> void Form1::runTold(Command &&command, Told &&told)
{
    const int messages = m_commandDialogs.messages;
    m_commandDialogs.savedAs.clear();
    m_runner.run(std::forward<Command>(command));
    if (!m_runner.unloaded() && m_commandDialogs.messages == messages)
        announce(this, told());
}

int Form1::checkedRows() const
{
    int checked = 0;
    for (int row = 1, rows = m_list->rows(); row <= rows; ++row)
        checked += m_list->checked(row) ? 1 : 0;
    return checked;
}

QString Form1::placesTold() const
{
    return placesTold(m_list->rows());
}

QString Form1::placesTold(int rows)
{
    return (rows == 1 ? tr("%1 place") : tr("%1 places")).arg(spokenCount(rows));
}

void Form1::PushButton2_Click()
{
    runTold([this] { generatePlaces(*this, *m_list); }, [this] { return placesTold(); });
}

void Form1::PushButton3_Click()
{
    runTold([this] { saveTextFile(*this, *m_list); },
            [this] {
        const QString file = m_commandDialogs.savedAs;
        if (file.isEmpty())
            return QString();
        const int rows = checkedRows();
        return (rows == 1 ? tr("%1 row saved to %2") : tr("%1 rows saved to %2"))
            .arg(spokenCount(rows), QFileInfo(file).fileName());
    });
}

void Form1::PushButton13_Click()
{
    const bool standsAside = busy(); // the export does nothing then
    runTold([this] { exportToSpreadsheet(*this, *m_list, m_spreadsheets); },
            [this, standsAside] {
        if (standsAside)
            return QString();
        const int rows = checkedRows();
        QString told = (rows == 1 ? tr("%1 row sent to a new LibreOffice Calc window")
                                  : tr("%1 rows sent to a new LibreOffice Calc window"))
                           .arg(spokenCount(rows));
        // Said once: a window no screen reader can read, and what would let one.
        if (!m_spreadsheets.windowReadable() && !std::exchange(m_toldCalcUnreadable, true))
            told += tr("; install libreoffice-gtk3 to read it with a screen reader");
        return told;
    });
}

void Form1::PushButton8_Click()
{
    runTold([this] { copyToClipboard(*this, *m_list, m_clipboard); },
            [this] {
        const int rows = checkedRows();
        return (rows == 1 ? tr("%1 row copied") : tr("%1 rows copied")).arg(spokenCount(rows));
    });
}

void Form1::PushButton7_Click()
{
    // A run in progress keeps its rows: then there is nothing to tell.
    runTold([this] { clearList(*this, *m_list); }, [this] { return m_list->rows() == 0 ? placesTold() : QString(); });
}

void Form1::ListView1_RemoveSelected()
{
    // What the removal did is read with the row then in its place, ahead of it.
    const int rows = m_list->rows();
    ListView1->setNews(tr("deleted; %1").arg(placesTold(rows - 1)));
    removeSelectedRow(*this, *m_list, ListView1->selectedRow());
    if (m_list->rows() == rows) // nothing was removed
        ListView1->setNews(QString());
}

// ---------------------------------------------------------------- the services the commands borrow

void Form1::setPointer(Pointer pointer)
{
    m_pointer = pointer;
    switch (pointer) {
    case Pointer::Hourglass:
        setCursor(Qt::WaitCursor);
        break;
    case Pointer::Hand:
        if (m_handLoaded)
            setCursor(m_handCursor);
        else
            setCursor(Qt::ArrowCursor);
        break;
    case Pointer::Normal:
        setCursor(Qt::ArrowCursor);
        break;
    }
}

void Form1::yield()
{
    m_runner.yield();
}

void Form1::endIfClosed()
{
    m_runner.endIfUnloaded();
}

ProgressIndicator &Form1::progress()
{
    return *ProgressBar1;
}

QString Form1::numberText() const
{
    return Text1->text();
}

DisplayFieldSet Form1::fieldSet() const
{
    return {Check1->value() == 1, Check2->value() == 1, Check3->value() == 1};
}

void Form1::focusCity()
{
    Check1->setFocus();
}

// ---------------------------------------------------------------- options

// Stores an option at once. The first store that fails tells the user,
// once, until one works again: the window goes on with the changes, but they
// are lost at the close.
void Form1::storeOption(SettingsStore::Key key, const QString &value)
{
    m_settings->write(key, value);
    if (m_settings->status() == QSettings::NoError) {
        m_toldOptionsUnstored = false;
    } else if (!m_toldOptionsUnstored) {
        m_toldOptionsUnstored = true;
        const QString fault = m_settings->storageFault(SettingsStore::name(key));
        if (!m_toldFaults.contains(fault)) {
            m_toldFaults.insert(fault);
            showPlainMessage(*m_dialogs, m_settings->writeProblem(SettingsStore::name(key)));
        }
    }
}

void Form1::Text1_Change()
{
    storeOption(SettingsStore::Key::NumberOfRecords, Text1->text());
}

bool Form1::numberBoxHoldsNumber() const
{
    return parseNumber(Text1->text()).has_value();
}

void Form1::Text1_LostFocus()
{
    if (numberBoxHoldsNumber() || m_checkingNumber)
        return;
    m_checkingNumber = true;
    showPlainMessage(*m_dialogs, QStringLiteral("Must be a numerical value."));
    Text1->setFocus();
    m_checkingNumber = false;
}

void Form1::storeCheck(const FieldBox *box, SettingsStore::Key key)
{
    storeOption(key, QString::number(box->value()));
}

void Form1::Check1_Click()
{
    storeCheck(Check1, SettingsStore::Key::City);
}

void Form1::Check2_Click()
{
    storeCheck(Check2, SettingsStore::Key::State);
}

void Form1::Check3_Click()
{
    storeCheck(Check3, SettingsStore::Key::Zip);
}

// ---------------------------------------------------------------- pointer rule

void Form1::pointerMoveOver(const QWidget *element)
{
    // The buttons show the hand; the window's background, the list and the
    // frames the normal arrow; the number box and the field boxes leave the
    // pointer alone. The hourglass is never replaced.
    Pointer wanted;
    if (element == PushButton2 || element == PushButton3 || element == PushButton13 || element == PushButton7
        || element == PushButton8)
        wanted = Pointer::Hand;
    else if (!element || element == Frame1 || element == Frame2 || ListView1->isAncestorOf(element)
             || element == ListView1)
        wanted = Pointer::Normal;
    else
        return;
    if (m_pointer != Pointer::Hourglass && m_pointer != wanted)
        setPointer(wanted);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (!watched->isWidgetType() || (watched != this && !isAncestorOf(static_cast<QWidget *>(watched))))
        return false;
    if (type == QEvent::MouseMove || type == QEvent::Enter) {
        const QPointF global = type == QEvent::MouseMove ? static_cast<QMouseEvent *>(event)->globalPosition()
                                                         : static_cast<QEnterEvent *>(event)->globalPosition();
        pointerMoveOver(childAt(mapFromGlobal(global.toPoint())));
    }
    return QWidget::eventFilter(watched, event);
}
