// Copies 1,000,000 ticked rows to the clipboard (the offscreen platform's),
// with the event loop served every 4 ms, and sets the time beside that of one
// plain fwrite of the same text as UTF-8.

#include "CommandHost.h"
#include "Dialogs.h"
#include "ResultList.h"
#include "Clipboard.h"
#include "ClipboardCopy.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <unistd.h>

namespace {

class CountingDialogs : public Dialogs
{
public:
    void showMessage(const QString &, const QString &text, Icon) override
    {
        if (++messages == 1)
            std::fprintf(stderr, "report: %s\n", qPrintable(text));
    }
    QString getSaveFileName(const QString &, const QString &) override { return QString(); }
    int messages = 0;
};

class PlainProgress : public ProgressIndicator
{
public:
    void setValue(double value) override { m_value = value; }
    double value() const override { return m_value; }
    void setText(const QString &text) override { m_text = text; }
    QString text() const override { return m_text; }

private:
    double m_value = 0;
    QString m_text;
};

// The window's host as far as speed goes: a yield serves events at most every
// 4 ms. It reads the clock at every `clockEvery`-th call only, as one reading
// costs about as much as all the rest of a row's work.
class BenchHost : public CommandHost
{
public:
    explicit BenchHost(int clockEvery)
        : m_clockEvery(clockEvery)
    {
    }
    Dialogs &dialogs() override { return m_dialogs; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override { m_pointer = pointer; }
    void yield() override
    {
        if (++m_calls < m_clockEvery)
            return;
        m_calls = 0;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last >= std::chrono::milliseconds(4)) {
            QCoreApplication::processEvents();
            m_last = now;
            ++dispatches;
        }
    }
    ProgressIndicator &progress() override { return m_progress; }
    QString programFolder() const override { return QCoreApplication::applicationDirPath(); }

    CountingDialogs m_dialogs;
    long dispatches = 0;

private:
    PlainProgress m_progress;
    int m_clockEvery;
    int m_calls = 0;
    Pointer m_pointer = Pointer::Normal;
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};

// 1,000,000 ticked rows drawn from the shipped places ("Akutan, AK 99553").
// Returns the mean length of the rows' texts.
double fillList(ResultList &list, int rows)
{
    QFile table(QStringLiteral(ZIPCODES_TSV));
    if (!table.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", ZIPCODES_TSV);
    QList<std::uint32_t> texts;
    table.readLine();
    while (!table.atEnd()) {
        const QStringList fields = QString::fromUtf8(table.readLine()).trimmed().split(QLatin1Char('\t'));
        if (fields.size() == 3)
            texts.append(list.intern(fields[1] + QLatin1String(", ") + fields[2] + QLatin1Char(' ') + fields[0]));
    }
    std::mt19937 draw(20210831);
    std::uniform_int_distribution<qsizetype> pick(0, texts.size() - 1);
    list.reserve(std::size_t(rows));
    for (int i = 0; i < rows; ++i)
        list.appendInterned(texts[pick(draw)]);
    list.setAllChecked(true);
    qint64 length = 0;
    for (int r = 1; r <= rows; ++r)
        length += list.text(r, 1).size();
    return double(length) / rows;
}

struct Timing
{
    double best;
    double median;
    long dispatches;
};

Timing timeCopies(const ResultList &list, int clockEvery)
{
    BenchHost host(clockEvery);
    SystemClipboard clipboard;
    QList<double> times;
    for (int run = 0; run < 5; ++run) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QElapsedTimer timer;
        timer.start();
        CopyListviewToClipboard(host, list, clipboard);
        times.append(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    return {times.first(), times.at(2), host.dispatches / 5};
}

// The median of five plain writes of the bytes, each with one fwrite.
double fwriteSeconds(const QByteArray &bytes, const char *path, bool sync)
{
    QList<double> times;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        FILE *file = std::fopen(path, "wb");
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file);
        std::fflush(file);
        if (sync)
            fsync(fileno(file));
        std::fclose(file);
        times.append(double(timer.nsecsElapsed()) / 1e9);
    }
    std::remove(path);
    std::sort(times.begin(), times.end());
    return times.at(2);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const int rows = 1000000;
    ResultList list;
    list.addColumn(QStringLiteral("Result(s)"));
    const double meanLength = fillList(list, rows);

    const Timing everyCall = timeCopies(list, 1);
    const Timing amortised = timeCopies(list, 8);
    const QByteArray bytes = QGuiApplication::clipboard()->text().toUtf8();
    const double plain = fwriteSeconds(bytes, "/tmp/bench_clipboard_fwrite.txt", false);

    std::printf("clipboard copy: %d ticked rows of %.1f chars on average, %lld bytes as UTF-8\n", rows, meanLength,
                static_cast<long long>(bytes.size()));
    std::printf("  one fwrite of the same bytes (median of 5): %.3f s\n", plain);
    for (const auto &[name, timing] : {std::pair{"clock read at every yield", everyCall},
                                       std::pair{"clock read every 8th yield (as the window does)", amortised}}) {
        std::printf("  copy, %s: best %.3f s, median %.3f s (target 0.250 s); median / fwrite %.1f; "
                    "%ld dispatches\n",
                    name, timing.best, timing.median, timing.median / plain, timing.dispatches);
    }
    return 0;
}
