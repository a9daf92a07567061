#include "export/TextExport.h"
#include "export/TextExportWriter.h"
#include "generate/ResultList.h"
#include "shell/Failure.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <linux/capability.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString saveSource = QStringLiteral("in Orvelle2021/08/31.Main.SaveListviewProperlySpaced ");

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void fillResultList(ResultList &list, const QStringList &texts, bool checked = true)
{
    for (const QString &text : texts)
        list.append(text);
    list.setAllChecked(checked);
}

// A folder that takes no new files, for root too: its write permission is
// taken away, and so, while this lives, is the capability that lets root pass
// permission checks (root's own tests run in CI).
class FolderThatTakesNoNewFiles
{
public:
    explicit FolderThatTakesNoNewFiles(const QString &folder)
        : m_folder(folder)
    {
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        m_reduced = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~FolderThatTakesNoNewFiles()
    {
        if (m_reduced)
            syscall(SYS_capset, &m_header, m_saved);
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool takesNewFiles() const
    {
        QFile probe(m_folder + QStringLiteral("/probe"));
        return probe.open(QIODevice::WriteOnly) && probe.remove();
    }

private:
    QString m_folder;
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_reduced = false;
};

} // namespace

class TestTextExport : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_host.emplace();
    }

    void fileNameFromPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("absolute") << "/home/ann/list.txt"
                                  << "list.txt";
        QTest::newRow("no separator") << "list.txt"
                                      << "list.txt";
        QTest::newRow("ends with separator") << "/home/ann/"
                                             << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("backslash is a letter here") << "/tmp/a\\b.txt"
                                                    << "a\\b.txt";
    }
    void fileNameFromPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(FileNameFromPath(path), name);
    }

    // The program's own list, two rows of 21 and 18 characters, with the bar and without.
    void twoRows_data()
    {
        QTest::addColumn<bool>("withBar");
        QTest::newRow("progress bar") << true;
        QTest::newRow("none") << false;
    }
    void twoRows()
    {
        QFETCH(bool, withBar);
        ResultsColumnList list;
        fillResultList(list, {QStringLiteral("Agawam Town, MA 01001"), QStringLiteral("Adjuntas, PR 00601")});
        QCOMPARE(saved(list, "/home/ann/out.txt", withBar), contents(TEST_DATA_DIR "/text/two-rows.txt"));
        QVERIFY(m_host->m_dialogs.messages.isEmpty());
        QVERIFY(m_host->yields
                >= 2 * list.rows()); // the window is served while the widths are measured and the rows written
        const QString caption = QStringLiteral("Writing file: out.txt");
        QCOMPARE(m_host->m_progress.values, (withBar ? QList<double>{1, 10, 20, 50, 100, 100, 0} : QList<double>{}));
        QCOMPARE(m_host->m_progress.texts,
                 (withBar ? QStringList{caption, caption, caption, "Done.", "Progress Bar"} : QStringList{}));
    }

    void layout_data()
    {
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QList<bool>>("checked");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("caption longer than every cell")
            << QStringList{"Result(s)"} << QList<QStringList>{{"ab"}, {"abc"}} << QList<bool>{true, true}
            << QByteArray("Result(s)\t\r\nab       \t\r\nabc      \t\r\n");
        QTest::newRow("no ticked row, still measured")
            << QStringList{"Result(s)"} << QList<QStringList>{{"Holtsville, NY 00501 xx"}} << QList<bool>{false}
            << QByteArray("Result(s)              \t\r\n");
        QTest::newRow("empty list") << QStringList{"Result(s)"} << QList<QStringList>{} << QList<bool>{}
                                    << QByteArray("Result(s)\t\r\n");
        QTest::newRow("three columns, unticked row widens")
            << QStringList{"Name", "St", ""}
            << QList<QStringList>{{"ab", "x"}, {"abcdefghij", "yyy", "z"}, {"", "", ""}}
            << QList<bool>{true, false, true}
            << QByteArray("Name      \tSt \t \t\r\nab        \tx  \t \t\r\n          \t   \t \t\r\n");
        QTest::newRow("no columns") << QStringList{} << QList<QStringList>{{}, {}, {}} << QList<bool>{true, false, true}
                                    << QByteArray("\r\n\r\n\r\n");
        QTest::newRow("widths in 16-bit units, lone surrogate as ?")
            << QStringList{"Ort"}
            << QList<QStringList>{{QStringLiteral("Zürich \U0001D11E")}, {QString(QChar(0xDC00)) + "é"}}
            << QList<bool>{true, true}
            << QByteArray("Ort      \t\r\nZ\xC3\xBCrich \xF0\x9D\x84\x9E\t\r\n?\xC3\xA9       \t\r\n");
    }
    void layout()
    {
        QFETCH(QStringList, headers);
        QFETCH(QList<QStringList>, rows);
        QFETCH(QList<bool>, checked);
        QFETCH(QByteArray, expected);
        TableList list(headers);
        for (qsizetype i = 0; i < rows.size(); ++i)
            list.add(rows[i], checked[i]);
        QCOMPARE(saved(list), expected);
        QVERIFY(m_host->m_dialogs.messages.isEmpty());
        if (rows.isEmpty())
            QCOMPARE(m_host->m_progress.values, (QList<double>{1, 10, 20, 100, 0}));
    }

    // A tool that streams the rows through the writer gets the window's bytes
    // for a fully ticked list, over many blocks.
    void writerRowsMatchTheSave()
    {
        ResultsColumnList list;
        QStringList texts;
        for (int i = 0; i < 20000; ++i)
            texts.append(QStringLiteral("Zürich %1, ZH").arg(i * 7919 % 100003));
        texts[4321] = QStringLiteral("Holtsville, NY 00501 is the longest row");
        fillResultList(list, texts);
        const QByteArray expected = saved(list, "t.txt", false);

        qsizetype width = QStringLiteral("Result(s)").size();
        for (const QString &text : texts)
            width = std::max(width, text.size());
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        TextExportWriter writer(buffer);
        QVERIFY(writer.writeRow(u"Result(s)", width));
        QCOMPARE(buffer.size(), width + 3); // the first line goes at once
        for (const QString &text : texts)
            QVERIFY(writer.writeRow(text, width));
        QVERIFY(buffer.size() < expected.size());
        QVERIFY(writer.flush());
        QCOMPARE(buffer.data(), expected);
    }

    // A device that refuses a block: that write and every later one fail, with the device's reason.
    void writerFailsForGood()
    {
        QBuffer buffer;
        buffer.open(QIODevice::ReadOnly);
        TextExportWriter writer(buffer);
        QVERIFY(!writer.writeRow(u"a", 1));
        QVERIFY(writer.failed() && !writer.errorString().isEmpty());
        buffer.close();
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(!writer.writeLine(u"b") && !writer.flush());
        QCOMPARE(buffer.size(), 0);
    }

    // Every step the text file reports lies in the range that the table of
    // guarded procedures gives it, in their rules and in the README: here
    // with every yield of the window failing, from the first (step 102) on.
    void reportedStepsLieInTheProcedureTable()
    {
        m_host->onYield = [] { throw Failure(QStringLiteral("The window is gone.")); };
        saved(TableList({"Result(s)"}, {"x|one"}));
        const QList<int> steps = reportedSteps(m_host->m_dialogs, saveSource);
        QVERIFY(!steps.isEmpty() && !steps.contains(-1));
        const std::pair<const char *, const char *> tables[] = {
            {TEST_DATA_DIR "/../../src/shell/Guard.h", R"(//\s+Main\.SaveListviewProperlySpaced\s+(\d+)-(\d+)\s)"},
            {TEST_DATA_DIR "/../../README.md", R"(\| `Main\.SaveListviewProperlySpaced` [^|]*\| (\d+)-(\d+) \|)"}};
        for (const auto &[file, row] : tables) {
            const QRegularExpressionMatch range =
                QRegularExpression(QString::fromLatin1(row)).match(QString::fromUtf8(contents(file)));
            QVERIFY2(range.hasMatch(), file);
            QVERIFY2(*std::min_element(steps.begin(), steps.end()) >= range.captured(1).toInt()
                         && *std::max_element(steps.begin(), steps.end()) <= range.captured(2).toInt(),
                     qPrintable(QStringLiteral("%1 gives %2").arg(QString::fromLatin1(file), range.captured(0))));
        }
    }

    // The list changes after measuring: a cell wider than its column gets no spaces.
    void cellWiderThanItsColumn()
    {
        TableList list({"A", "B"});
        list.add({"ab", "c"}, true);
        m_host->onYield = [&] {
            if (m_host->m_progress.value() == 20)
                list.cell(1, 1) = QStringLiteral("abcd");
        };
        QCOMPARE(saved(list), QByteArray("A \tB\t\r\nabcd\tc\t\r\n"));
    }

    // A failing step is reported and passed over: a failed test enters its branch.
    void unreadableRowIsReportedStepByStep()
    {
        TableList list({"Result(s)"});
        list.add({"one"}, true);
        list.add({"two"}, true);
        list.unreadable = {2};
        const QByteArray bytes = saved(list, "t.txt", false);
        QCOMPARE(reportedSteps(m_host->m_dialogs, saveSource), (QList<int>{126, 128, 188, 196, 198}));
        QCOMPARE(bytes, QByteArray("Result(s)\t\r\none      \t\r\n\r\n"));
    }

    void progressOf2500Rows()
    {
        ResultsColumnList list;
        fillResultList(list, QList<QString>(2500, QStringLiteral("Holtsville, NY 00501")));
        const QByteArray bytes = saved(list, "big.txt");
        const QList<double> &values = m_host->m_progress.values;
        QCOMPARE(values.size(), 3 + 2500 + 2);
        QCOMPARE(values.at(3), 2.0 / 2500 * 100);
        QCOMPARE(values.at(2502), 100.04);
        const QString caption = QStringLiteral("Writing file: big.txt");
        QCOMPARE(m_host->m_progress.texts,
                 (QStringList{caption, caption, caption, caption + " (1000)", caption + " (2000)", "Done.",
                              "Progress Bar"}));
        QCOMPARE(bytes.size(), 2501 * 23);
    }

    // A file that cannot be created: reported at its creation, at every line
    // and at the close, and whatever was at that path stays as it was.
    void creationFails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem");
        QTest::newRow("missing folder") << "nowhere/out.txt"
                                        << "nowhere\" does not exist";
        QTest::newRow("path is a folder") << "folder"
                                          << "folder\" is a folder";
        QTest::newRow("read-only file") << "old.txt"
                                        << "permission to change";
    }
    void creationFails()
    {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        if (name == "old.txt" && geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        QVERIFY(QDir(m_dir->path()).mkdir("folder"));
        writeEarlierFile("old.txt");
        QVERIFY(QFile::setPermissions(path("old.txt"), QFile::ReadOwner));
        TableList list({"Result(s)"});
        list.add({"a"}, true);
        list.add({"b"}, false);
        list.add({"c"}, true);
        SaveListviewProperlySpaced(*m_host, list, path(name), &m_host->m_progress);

        QCOMPARE(reportedSteps(m_host->m_dialogs, saveSource), (QList<int>{156, 170, 222, 222, 232}));
        QVERIFY2(m_host->m_dialogs.texts().first().contains(problem), qPrintable(m_host->m_dialogs.texts().first()));
        QCOMPARE(m_host->m_dialogs.messages.first().title, QStringLiteral("Application Error"));
        QCOMPARE(m_host->m_progress.value(), 0.0);
        QCOMPARE(m_host->m_progress.text(), QStringLiteral("Progress Bar"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{"folder", "old.txt"}));
        QCOMPARE(contents(path("old.txt")), QByteArray("earlier"));
        QVERIFY(QDir(path("folder")).isEmpty());
    }

    // A file of some megabytes, which goes to the disk run by run while it is written.
    void replacesAnEarlierFileWhole()
    {
        writeEarlierFile("old.txt", QByteArray(100000, 'x'));
        ResultsColumnList list;
        fillResultList(list, QList<QString>(100000, QStringLiteral("Holtsville, NY 00501")));
        list.setChecked(7, false);
        SaveListviewProperlySpaced(*m_host, list, path("old.txt"), nullptr);
        const QByteArray bytes = contents(path("old.txt"));
        QCOMPARE(bytes.size(), 100000 * 23);
        QCOMPARE(bytes, saved(list, "old.txt", false));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"old.txt"});
    }

    // In a folder that takes no new files an existing file is written in
    // place, also when the window closes or the disk fills in the middle; a
    // new file is refused.
    void folderThatTakesNoNewFiles()
    {
        writeEarlierFile("old.txt", QByteArray(100000, 'x'));
        writeEarlierFile("half.txt");
        writeEarlierFile("full.txt");
        ResultsColumnList list;
        fillResultList(list, QList<QString>(20000, QStringLiteral("Holtsville, NY 00501")));
        const QByteArray expected = saved(list, "t.txt", false);
        {
            FolderThatTakesNoNewFiles folder(m_dir->path());
            if (folder.takesNewFiles())
                QSKIP("this process can still create files in a folder without write permission");
            SaveListviewProperlySpaced(*m_host, list, path("old.txt"), nullptr);
            QVERIFY(m_host->m_dialogs.messages.isEmpty());
            SaveListviewProperlySpaced(*m_host, list, path("new.txt"), nullptr);
            QCOMPARE(reportedSteps(m_host->m_dialogs, saveSource).first(), 156);
            m_host->m_dialogs.messages.clear();
            {
                FileSizeLimit limit(1000);
                SaveListviewProperlySpaced(*m_host, list, path("full.txt"), nullptr);
            }
            // What was written is there, so no report claims the earlier file survived.
            QVERIFY(m_host->m_dialogs.texts().last().startsWith("Writing \""));
            m_host->onYield = [&] {
                if (m_host->yields == 50000)
                    throw ProgramEnding();
            };
            m_host->yields = 0;
            QVERIFY_THROWS_EXCEPTION(ProgramEnding,
                                     SaveListviewProperlySpaced(*m_host, list, path("half.txt"), nullptr));
        }
        QCOMPARE(contents(path("old.txt")), expected);
        const QByteArray half = contents(path("half.txt"));
        QVERIFY(!half.isEmpty() && expected.startsWith(half));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), (QStringList{"full.txt", "half.txt", "old.txt"}));
    }

    // A device that takes no bytes: every write is reported, and the device stays a device.
    void fullDevice()
    {
        struct stat before
        {
        };
        if (stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode) || access("/dev/full", W_OK) != 0)
            QSKIP("no writable /dev/full");
        const QStringList devices = QDir("/dev").entryList({"full*"}, QDir::AllEntries | QDir::System);
        TableList list({"Result(s)"});
        list.add({"a"}, true);
        list.add({"b"}, true);
        SaveListviewProperlySpaced(*m_host, list, "/dev/full", nullptr);
        QCOMPARE(reportedSteps(m_host->m_dialogs, saveSource), (QList<int>{170, 222, 222, 232}));
        QVERIFY(m_host->m_dialogs.texts().first().contains("No space left on device"));
        struct stat after
        {
        };
        QVERIFY(stat("/dev/full", &after) == 0 && S_ISCHR(after.st_mode) && after.st_rdev == before.st_rdev);
        QCOMPARE(QDir("/dev").entryList({"full*"}, QDir::AllEntries | QDir::System), devices);
    }

    // The disk fills up while the rows are written, or while the last of them go
    // out at the close: the earlier file survives and no partial file is left.
    void failedWriteKeepsTheEarlierFile_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("firstAndLast");
        QTest::newRow("at a row") << 20000 << QList<int>{222, 232};
        QTest::newRow("at the close") << 100 << QList<int>{232, 232};
    }
    void failedWriteKeepsTheEarlierFile()
    {
        QFETCH(int, rows);
        QFETCH(QList<int>, firstAndLast);
        writeEarlierFile("old.txt");
        ResultsColumnList list;
        fillResultList(list, QList<QString>(rows, QStringLiteral("Holtsville, NY 00501")));
        {
            FileSizeLimit limit(1000);
            SaveListviewProperlySpaced(*m_host, list, path("old.txt"), nullptr);
        }
        const QList<int> steps = reportedSteps(m_host->m_dialogs, saveSource);
        QVERIFY(!steps.isEmpty());
        QCOMPARE((QList<int>{steps.first(), steps.last()}), firstAndLast);
        QVERIFY(steps.count(232) == 1 && !steps.contains(-1));
        QVERIFY(m_host->m_dialogs.texts().last().contains("earlier file of that name is unchanged"));
        QCOMPARE(contents(path("old.txt")), QByteArray("earlier"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"old.txt"});
    }

    // The window closes during the save: the command ends at once, and the
    // earlier file stays as it was.
    void windowClosedDuringTheSave()
    {
        writeEarlierFile("old.txt");
        ResultsColumnList list;
        fillResultList(list, QList<QString>(20000, QStringLiteral("Holtsville, NY 00501")));
        m_host->onYield = [&] {
            if (m_host->yields == 50000)
                throw ProgramEnding();
        };
        QVERIFY_THROWS_EXCEPTION(ProgramEnding, SaveListviewProperlySpaced(*m_host, list, path("old.txt"), nullptr));
        QCOMPARE(contents(path("old.txt")), QByteArray("earlier"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"old.txt"});
    }

    void clickSavesToTheChosenName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no extension") << "results";
        QTest::newRow("spaces and accents") << "Ünïcode fïle ÿ.txt";
    }
    void clickSavesToTheChosenName()
    {
        QFETCH(QString, name);
        ResultsColumnList list;
        fillResultList(list, {QStringLiteral("Agawam Town, MA 01001"), QStringLiteral("Adjuntas, PR 00601")});
        m_host->m_dialogs.nextSaveFileNames = {path(name)};
        saveTextFile(*m_host, list);
        QCOMPARE(m_host->m_dialogs.saveTitles, QStringList{"Save"});
        QCOMPARE(m_host->m_dialogs.saveFilters, QStringList{"Text Files (*.txt);;All Files (*.*)"});
        QCOMPARE(contents(path(name)), contents(TEST_DATA_DIR "/text/two-rows.txt"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{name});
        QCOMPARE(m_host->pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
        QCOMPARE(m_host->m_progress.texts.first(), "Writing file: " + name);
    }

    void clickCancelledTouchesNothing()
    {
        ResultsColumnList list;
        fillResultList(list, {QStringLiteral("a")});
        saveTextFile(*m_host, list);
        QCOMPARE(m_host->m_dialogs.saveTitles.size(), 1);
        QVERIFY(m_host->pointers.isEmpty() && m_host->m_dialogs.messages.isEmpty());
        QVERIFY(m_host->m_progress.values.isEmpty() && QDir(m_dir->path()).isEmpty());
    }

    // While busy (also when clicked again from within the save) the button stands aside.
    void clickWhileBusyDoesNothing()
    {
        ResultsColumnList list;
        fillResultList(list, {QStringLiteral("a")});
        m_host->m_dialogs.nextSaveFileNames = {path("a.txt"), path("b.txt")};
        m_host->onYield = [&] { saveTextFile(*m_host, list); };
        saveTextFile(*m_host, list);
        QCOMPARE(m_host->m_dialogs.saveTitles.size(), 1);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"a.txt"});
        QCOMPARE(m_host->pointers, (QList<Pointer>{Pointer::Hourglass, Pointer::Normal}));
    }

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // What the routine writes into a buffer, under the name `name`.
    QByteArray saved(const ListSource &list, const QString &name = QStringLiteral("t.txt"), bool withBar = true)
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        SaveListviewProperlySpaced(*m_host, list, buffer, name, withBar ? &m_host->m_progress : nullptr);
        return buffer.data();
    }
    void writeEarlierFile(const QString &name, const QByteArray &bytes = "earlier")
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<FakeHost> m_host;
};

QTEST_GUILESS_MAIN(TestTextExport)
#include "tst_textexport.moc"
