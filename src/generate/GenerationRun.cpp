#include "generate/GenerationRun.h"

#include "generate/RandomRecord.h"
#include "generate/ResultList.h"
#include "shell/Dialogs.h"
#include "shell/Failure.h"
#include "shell/Guard.h"
#include "shell/Numbers.h"

#include <QFile>

#include <sys/resource.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

template <typename T> T &require(const std::unique_ptr<T> &object)
{
    if (!object)
        throw Failure(QStringLiteral("Object required"));
    return *object;
}

// The text of each row a run draws. A record's text is the same on every
// draw: it is worked out once per record and run, and every later draw of that
// record reuses it, rows included: they all point at the one pooled text. A
// row whose record cannot be read repeats the text of the row before.
class RowTexts
{
public:
    explicit RowTexts(ResultList &list)
        : m_list(list)
    {
    }

    // Forgets the texts of an earlier run; room for `recordCount` records.
    void start(std::int32_t recordCount) { m_known.assign(std::size_t(std::max(recordCount, 0)), KnownText()); }

    // The next row comes from the record at `position`, or from an unknown
    // one. True when that record's text is known from an earlier draw: it is
    // the row's text, and nothing needs reading.
    bool reuse(std::optional<std::int32_t> position)
    {
        m_record = position ? &m_known[std::size_t(*position)] : nullptr;
        if (m_record && m_record->known) {
            m_reused = m_record;
            m_index = m_record->index;
            m_interned = true;
            return true;
        }
        if (m_reused) { // until a read succeeds, the row repeats the one before
            m_text = m_reused->text;
            m_reused = nullptr;
        }
        m_interned = false;
        return false;
    }

    // The record's text, read: the row's text, and the record's from now on.
    void read(const QString &text)
    {
        m_text = text;
        m_interned = false;
        if (m_record) {
            // Each record's text is pooled once; other records may share its text.
            m_index = m_list.addText(m_text);
            m_interned = true;
            *m_record = {m_text, m_index, true};
        }
    }

    // Appends the row to the list.
    void append()
    {
        if (!m_interned) {
            m_index = m_list.intern(m_text);
            m_interned = true;
        }
        m_list.appendInterned(m_index);
    }

private:
    struct KnownText
    {
        QString text;
        std::uint32_t index = 0;
        bool known = false;
    };

    ResultList &m_list;
    std::vector<KnownText> m_known;
    KnownText *m_record = nullptr; // the current row's record, when the record set says which
    // The current row's text: worked out in m_text, or, for a record drawn
    // before, taken from m_reused without copying the string.
    QString m_text;
    const KnownText *m_reused = nullptr;
    std::uint32_t m_index = 0;
    bool m_interned = false;
};

QString tooManyMessage(std::int32_t count)
{
    const double neededGb = double(count) * double(bytesPerGeneratedRow) / 1e9;
    const double availableGb = double(availableMemory()) / 1e9;
    return QStringLiteral("%1 records are too many for this computer: they need about %2 GB of memory, and %3 GB "
                          "are free. Please ask for fewer records.")
        .arg(count)
        .arg(neededGb, 0, 'f', 1)
        .arg(availableGb, 0, 'f', 1);
}

// The list's rows replaced by as many places, drawn from the open record set,
// as the number box asks for. A count beyond the memory at hand is refused before the
// list is touched.
void drawRows(Guard &guard, GenerationHost &host, ResultList &list, const std::unique_ptr<PlaceRecordSet> &records,
              std::int32_t recordCount)
{
    const QString numberText = host.numberText();
    std::optional<std::int32_t> wanted;
    try {
        wanted = toCount(numberText);
    } catch (const Failure &) {
    }
    if (wanted && std::uint64_t(std::max(*wanted, 0)) * bytesPerGeneratedRow > availableMemory()) {
        showPlainMessage(host.dialogs(), tooManyMessage(*wanted));
        return;
    }

    ProgressIndicator &progress = host.progress();
    guard.step(136, [&] { list.clear(); });
    RowTexts texts(list);
    std::int32_t r = 0;
    std::int32_t count = 0;
    auto readCount = [&] {
        count = toCount(numberText);
        if (count > 0)
            list.reserve(std::size_t(count));
        texts.start(recordCount);
        return count;
    };
    auto draw = [&](std::int32_t i) {
        guard.step(140, [&] { progress.setValue(double(i) / double(count) * 100.0); });
        guard.step(142, [&] { host.yield(); });
        guard.step(144, [&] { r = std::int32_t(RandomRecordNumber(recordCount)); });
        guard.step(146, [&] { require(records).moveFirst(); });
        guard.step(148, [&] { require(records).move(r - 1); });
        const bool positioned = records && records->isOpen() && records->recordCount() > 0;
        if (!texts.reuse(positioned ? std::optional(records->position()) : std::nullopt)) {
            // The place's text read, in proper case, with the state code
            // after the first comma in upper case: one step.
            guard.step(150, [&] {
                texts.read(NormalizeDisplayText(require(records).value(QStringLiteral("display_fields"))));
            });
        }
        guard.step(156, [&] { texts.append(); });
    };
    // A count that is not a whole 32-bit number is reported and adds no rows.
    guard.forLoop(138, 158, 1, readCount, draw, Guard::OnFailedHeader::SkipLoop);
}

} // namespace

std::uint64_t availableMemory()
{
    std::uint64_t available = UINT64_MAX;
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : meminfo.readAll().split('\n')) {
            if (line.startsWith("MemAvailable:")) {
                const QList<QByteArray> fields = line.simplified().split(' ');
                if (fields.size() >= 2)
                    available = fields.at(1).toULongLong() * 1024;
            }
        }
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        available = std::min<std::uint64_t>(available, limit.rlim_cur);
    return available;
}

void generatePlaces(GenerationHost &host, ResultList &list)
{
    if (host.busy()) // a run is going: a second press does nothing
        return;

    Guard guard(host.dialogs(), QStringLiteral("in Orvelle2021/08/31.Form1.PushButton2_Click "));
    const QString path = databasePath(host.programFolder());
    const DisplayFieldSet fields = host.fieldSet();
    QString query;
    std::unique_ptr<PlaceConnection> connection;
    std::unique_ptr<PlaceRecordSet> records;
    std::int32_t recordCount = 0;
    ProgressIndicator &progress = host.progress();

    if (!guard.test(100, [&] { return databasePresent(path); })) {
        guard.step(178, [&] { showPlainMessage(host.dialogs(), path + QStringLiteral(" not found.")); });
        return;
    }
    // One step joins the chosen columns into the select expression.
    guard.step(102, [&] { query = BuildDisplayQuery(fields); });
    if (guard.test(122, [&] { return query.isEmpty(); })) {
        guard.step(168, [&] {
            showPlainMessage(host.dialogs(), QStringLiteral("You forgot to check which fields to display."));
        });
        guard.step(170, [&] {
            host.focusCity();
            host.setPointer(Pointer::Normal);
        });
    } else {
        guard.step(124, [&] { host.setPointer(Pointer::Hourglass); });
        guard.step(126, [&] { connection = std::make_unique<PlaceConnection>(); });
        guard.step(128, [&] { records = std::make_unique<PlaceRecordSet>(); });
        // A database that cannot be opened, or holds no places, is reported
        // once and leaves the list as it is: every draw would fail alike.
        const bool opened = guard.step(130, [&] { require(connection).open(path); })
            && guard.step(132, [&] { require(records).open(query, require(connection), [&] { host.yield(); }); });
        if (opened) {
            guard.step(134, [&] { recordCount = require(records).recordCount(); });
            if (recordCount > 0)
                drawRows(guard, host, list, records, recordCount);
            else // the first draw finds no record to move to
                guard.step(146, [&] { require(records).moveFirst(); });
        }
        guard.step(160, [&] { require(records).close(); });
        guard.step(162, [&] { require(connection).close(); });
        guard.step(164, [&] { records.reset(); });
        guard.step(166, [&] { connection.reset(); });
        guard.step(170, [&] { host.setPointer(Pointer::Normal); });
    }
    guard.step(172, [&] { progress.setValue(0); });
    guard.step(174, [&] { progress.setText(QStringLiteral("Progress Bar")); });
}
