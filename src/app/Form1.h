#pragma once

#include "app/CommandRunner.h"
#include "app/QtDialogs.h"
#include "app/SettingsStore.h"
#include "generate/GenerationRun.h"

#include <QCursor>
#include <QSet>
#include <QWidget>

#include <memory>

class Clipboard;
class FieldBox;
class Guard;
class ProgressBar;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSessionManager;
class ResultList;
class ResultView;
class SpreadsheetFactory;

// The platform services the window uses, handed in by main() or a test.
struct Form1Services
{
    Form1Services(Clipboard &clipboard, SpreadsheetFactory &spreadsheets)
        : clipboard(clipboard)
        , spreadsheets(spreadsheets)
    {
    }

    Clipboard &clipboard;
    SpreadsheetFactory &spreadsheets;
    Dialogs *dialogs = nullptr; // the window's own message boxes and save dialog when empty
    QString programFolder;      // the executable's folder when empty
};

// The dialogs the window lends its commands: they pass everything on and note
// the file a save was given and how many messages were shown, so that the end
// of a command can be told to a screen reader.
class CommandDialogs : public ForwardingDialogs
{
public:
    using ForwardingDialogs::ForwardingDialogs;
    void showMessage(const QString &title, const QString &text, Icon icon) override
    {
        ++messages;
        ForwardingDialogs::showMessage(title, text, icon);
    }
    QString getSaveFileName(const QString &title, const QString &filter) override
    {
        savedAs = ForwardingDialogs::getSaveFileName(title, filter);
        return savedAs;
    }

    int messages = 0;
    QString savedAs;
};

// The program's one window: the options, the result list, the progress bar
// and the five command buttons.
class Form1 : public QWidget, public GenerationHost
{
    Q_OBJECT

public:
    using Services = Form1Services;

    explicit Form1(const Services &services, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up and close.
    void Form_Load();
    void Form_QueryUnload();
    // The desktop session asks for the program's data before it ends: the list
    // is stored as at a close, and the window stays open.
    void commitSessionData(QSessionManager &manager);
    void ApplySkin();
    void SetAppTitle();
    static bool FileExists(const QString &path);

    // The commands.
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton13_Click();
    void PushButton8_Click();
    void PushButton7_Click();
    // The Delete key, whatever the modifiers, or a double-click on the list.
    void ListView1_RemoveSelected();

    // The options.
    void Text1_Change();
    void Text1_LostFocus();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();

    ResultList &list() const { return *m_list; }
    ProgressBar &progressBar() const { return *ProgressBar1; }

    // GenerationHost
    Dialogs &dialogs() override { return m_commandDialogs; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override;
    void yield() override;
    void endIfClosed() override;
    ProgressIndicator &progress() override;
    QString programFolder() const override { return m_programFolder; }
    QString numberText() const override;
    DisplayFieldSet fieldSet() const override;
    void focusCity() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void storeOption(SettingsStore::Key key, const QString &value);
    void storeCheck(const FieldBox *box, SettingsStore::Key key);
    void loadCheck(Guard &guard, int step, FieldBox *box, SettingsStore::Key key);
    void storeList(Guard &guard);
    void pointerMoveOver(const QWidget *element);
    void setBackgrounds(const QColor &color);
    bool numberBoxHoldsNumber() const;
    // Runs a command; when it ends with no message shown, a screen reader is
    // told what it did: `told` says it, or nothing with the empty text.
    template <typename Command, typename Told> void runTold(Command &&command, Told &&told);
    int checkedRows() const;
    // How many places the list holds, as a reader is told: "200 places".
    QString placesTold() const;
    static QString placesTold(int rows);

    QtDialogs m_qtDialogs;
    Dialogs *m_dialogs;
    CommandDialogs m_commandDialogs;
    Clipboard &m_clipboard;
    SpreadsheetFactory &m_spreadsheets;
    std::unique_ptr<SettingsStore> m_settings;
    QString m_programFolder;

    QGroupBox *const Frame1;
    QLineEdit *const Text1;
    QGroupBox *const Frame2;
    FieldBox *const Check3;
    FieldBox *const Check2;
    FieldBox *const Check1;
    ProgressBar *const ProgressBar1;
    QPushButton *const PushButton2;
    QPushButton *const PushButton3;
    QPushButton *const PushButton13;
    QPushButton *const PushButton7;
    QPushButton *const PushButton8;
    ResultView *const ListView1;
    ResultList *const m_list;
    CommandRunner m_runner;

    Pointer m_pointer = Pointer::Normal;
    QCursor m_handCursor;
    bool m_handLoaded = false;
    bool m_checkingNumber = false;
    bool m_centred = false;
    bool m_toldOptionsUnstored = false; // since the last store of an option that worked
    bool m_toldCalcUnreadable = false; // that no screen reader can read the Calc window
    // The faults of failed stores the user was told of in this run
    // (SettingsStore::storageFault(): "its folder ... is read-only"): the options'
    // messages tell each once; a failed store of the list is told every time.
    QSet<QString> m_toldFaults;
};
