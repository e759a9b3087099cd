#include "HistoryStore.h"

#include "AgentLogging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString databaseName = QStringLiteral("history.sqlite3");
const QString lockName = QStringLiteral("history.lock");
constexpr int busyTimeoutMs = 250;

const char* const schema = R"sql(
CREATE TABLE series(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE chunks(id INTEGER PRIMARY KEY,
                    series INTEGER NOT NULL REFERENCES series(id),
                    start INTEGER NOT NULL,
                    step INTEGER NOT NULL,
                    vals TEXT NOT NULL);
CREATE INDEX chunks_by_series ON chunks(series, start);
CREATE VIEW samples AS
    SELECT series.name AS series, chunks.start + each.key * chunks.step AS time,
           each.value AS value
    FROM chunks JOIN series ON series.id = chunks.series, json_each(chunks.vals) AS each
    WHERE each.value IS NOT NULL;
)sql";

void logProblem(const QString& line) {
    qCWarning(lcHistory).noquote() << line;
}

QString describe(sqlite3* db, int code) {
    const char* message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return QString::fromUtf8(message ? message : sqlite3_errstr(code));
}

bool isLocked(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool isDamaged(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// One prepared statement, finalised when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE; }
    int result() const { return code; }
    void bind(int index, qint64 value) { sqlite3_bind_int64(statement, index, value); }
    void bind(int index, const QByteArray& text) {
        sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW while there are rows.
    int step() {
        code = sqlite3_step(statement);
        return code;
    }
    void reset() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
    qint64 integer(int column) const { return sqlite3_column_int64(statement, column); }
    QByteArrayView text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return bytes ? QByteArrayView(bytes, sqlite3_column_bytes(statement, column))
                     : QByteArrayView();
    }

private:
    sqlite3_stmt* statement = nullptr;
    int code = SQLITE_OK;
};

int execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// The first column of the first row of a query.
std::optional<qint64> single(sqlite3* db, const char* sql, int* code) {
    Statement query(db, sql);
    if (!query.ok()) {
        *code = query.result();
        return std::nullopt;
    }
    *code = query.step();
    if (*code != SQLITE_ROW) {
        return std::nullopt;
    }
    *code = SQLITE_OK;
    return query.integer(0);
}

// "[42,null,7.812]": whole readings stay whole, memory keeps a MiB or so.
QByteArray valuesText(const std::vector<double>& values) {
    QByteArray text("[");
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            text.append(',');
        }
        if (std::isnan(values[i])) {
            text.append("null");
        } else {
            text.append(QByteArray::number(std::round(values[i] * 1000) / 1000, 'g', 12));
        }
    }
    return text.append(']');
}

// The values of a row as written above; anything else in the text is a gap.
void parseValues(QByteArrayView text, std::vector<double>* values) {
    values->clear();
    const char* position = text.data();
    const char* const end = position + text.size();
    if (position != end && *position == '[') {
        ++position;
    }
    while (position < end && *position != ']') {
        const char* const comma = std::find(position, end, ',');
        double value = std::numeric_limits<double>::quiet_NaN();
        const char* stop = comma;
        if (stop > position && stop[-1] == ']') {
            --stop;
        }
        double parsed = 0;
        const auto [last, error] = std::from_chars(position, stop, parsed);
        if (error == std::errc() && last == stop && std::isfinite(parsed)) {
            value = parsed;
        }
        values->push_back(value);
        position = comma + 1;
    }
}

// A folder that only this user can change, made when it is missing.
Status ownFolder(const QString& directory) {
    const QByteArray path = QFile::encodeName(directory);
    QDir().mkpath(QFileInfo(directory).path());
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        return Status::failure(QStringLiteral("cannot make %1: %2")
                                   .arg(directory, QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Status::failure(
            QStringLiteral("%1 is not a folder that only this user can change").arg(directory));
    }
    return succeeded();
}

} // namespace

HistoryStore::HistoryStore(QString directory)
    : m_directory(std::move(directory)) {}

HistoryStore::~HistoryStore() {
    flush(true);
    close();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
}

QString HistoryStore::filePath() const {
    return m_directory + QLatin1Char('/') + databaseName;
}

Status HistoryStore::open() {
    if (isOpen()) {
        return succeeded();
    }
    if (const Status folder = ownFolder(m_directory); !folder) {
        return folder;
    }
    if (m_lockFd < 0) {
        const QByteArray lockPath = QFile::encodeName(m_directory + QLatin1Char('/') + lockName);
        m_lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        m_writer = m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0;
        if (!m_writer) {
            qCInfo(lcHistory).noquote()
                << QStringLiteral("History: another agent of this user keeps %1; this one only "
                                  "reads it")
                       .arg(filePath());
        }
    }
    return openDatabase();
}

Status HistoryStore::openDatabase() {
    const QByteArray path = QFile::encodeName(filePath());
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat info = {};
        if (m_writer && ::lstat(path.constData(), &info) == 0 &&
            (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
            moveAside(QStringLiteral("it is not a file of this user's"));
            continue;
        }
        const int flags =
            (m_writer ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
            SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX;
        if (!m_writer && ::lstat(path.constData(), &info) != 0) {
            return Status::failure(QStringLiteral("there is no history in %1 yet").arg(filePath()));
        }
        const int code = sqlite3_open_v2(path.constData(), &m_db, flags, nullptr);
        QString problem;
        if (code != SQLITE_OK) {
            problem = describe(m_db, code);
        } else {
            sqlite3_extended_result_codes(m_db, 1);
            sqlite3_busy_timeout(m_db, busyTimeoutMs);
            problem = prepare();
        }
        if (problem.isEmpty()) {
            return succeeded();
        }
        close();
        if (!m_writer) {
            return Status::failure(
                QStringLiteral("cannot read the history in %1: %2").arg(filePath(), problem));
        }
        moveAside(problem);
    }
    return Status::failure(QStringLiteral("cannot start a history in %1").arg(filePath()));
}

QString HistoryStore::prepare() {
    int code = SQLITE_OK;
    const auto failed = [this, &code](const QString& what) {
        if (isLocked(code)) {
            return QStringLiteral("it stays locked by another program");
        }
        if (isDamaged(code)) {
            return QStringLiteral("it is damaged (%1)").arg(describe(m_db, code));
        }
        return QStringLiteral("%1: %2").arg(what, describe(m_db, code));
    };
    const auto id = single(m_db, "PRAGMA application_id", &code);
    const auto version = id ? single(m_db, "PRAGMA user_version", &code) : std::nullopt;
    const auto objects =
        version ? single(m_db, "SELECT count(*) FROM sqlite_schema", &code) : std::nullopt;
    if (!objects) {
        return failed(QStringLiteral("cannot read it"));
    }
    if (*id == 0 && *version == 0 && *objects == 0) {
        if (!m_writer) {
            return QStringLiteral("it is empty");
        }
        const QByteArray create =
            QByteArrayLiteral("PRAGMA journal_mode=WAL; BEGIN;") + schema +
            QByteArrayLiteral("PRAGMA application_id=") + QByteArray::number(applicationId) +
            QByteArrayLiteral("; PRAGMA user_version=") + QByteArray::number(schemaVersion) +
            QByteArrayLiteral("; COMMIT;");
        code = execute(m_db, create.constData());
        if (code != SQLITE_OK) {
            return failed(QStringLiteral("cannot make a history"));
        }
        qCInfo(lcHistory).noquote() << QStringLiteral("History: started %1").arg(filePath());
    } else if (*id != applicationId) {
        return QStringLiteral("it is not a history of Ondara's");
    } else if (*version != schemaVersion) {
        return QStringLiteral("it is a history of another version (%1)").arg(*version);
    } else {
        Statement check(m_db, "PRAGMA quick_check");
        if (!check.ok() || check.step() != SQLITE_ROW) {
            code = check.result();
            return failed(QStringLiteral("cannot check it"));
        }
        if (check.text(0) != QByteArrayView("ok")) {
            // One log line: the check lists a problem per line.
            return QStringLiteral("it is damaged (%1)")
                .arg(QString::fromUtf8(check.text(0)).simplified());
        }
        const auto longest = single(m_db, "SELECT ifnull(max(step), 0) FROM chunks", &code);
        if (!longest) {
            return failed(QStringLiteral("cannot read it"));
        }
        m_longestRowMs = *longest * samplesPerRow;
    }
    if (m_writer) {
        // A small cache and a short journal: the agent stays small, and WAL
        // keeps a reader (sqlite3, a second agent) from blocking the writer.
        code = execute(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                             "PRAGMA cache_size=-256; PRAGMA journal_size_limit=524288; "
                             "PRAGMA wal_autocheckpoint=128; PRAGMA temp_store=MEMORY");
        if (code != SQLITE_OK) {
            return failed(QStringLiteral("cannot set it up"));
        }
    } else {
        execute(m_db, "PRAGMA cache_size=-256");
    }
    return {};
}

void HistoryStore::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_ids.clear();
}

void HistoryStore::moveAside(const QString& reason) {
    close();
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmss"));
    QString aside = filePath() + QLatin1Char('.') + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n) {
        aside = filePath() + QLatin1Char('.') + stamp + QLatin1Char('-') + QString::number(n);
    }
    // The journals belong to the file: a new database must never replay them.
    for (const QString& suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        const QByteArray from = QFile::encodeName(filePath() + suffix);
        const QByteArray to = QFile::encodeName(aside + suffix);
        if (::rename(from.constData(), to.constData()) != 0 && errno != ENOENT) {
            ::unlink(from.constData());
        }
    }
    m_movedAside.append(aside);
    m_longestRowMs = 0;
    logProblem(QStringLiteral("History: %1 can't be used, %2; moved it to %3 and started afresh")
                   .arg(filePath(), reason, aside));
}

void HistoryStore::append(const QString& series, qint64 time, std::optional<double> value,
                          qint64 step) {
    if (!m_writer || step <= 0) {
        return;
    }
    const double sample =
        value && std::isfinite(*value) ? *value : std::numeric_limits<double>::quiet_NaN();
    auto it = m_open.find(series);
    if (it != m_open.end()) {
        Row& row = *it;
        // A reading that is not where the row's step expects it (the machine
        // slept, the clock was set, the interval changed) starts a new row.
        const qint64 expected = row.end();
        const bool fits = row.step == step && std::abs(time - expected) <= step / 2 &&
                          row.values.size() < size_t(samplesPerRow);
        if (fits) {
            row.values.push_back(sample);
            if (row.values.size() == size_t(samplesPerRow)) {
                m_full.append(std::move(row));
                m_open.erase(it);
            }
            return;
        }
        m_full.append(std::move(row));
        m_open.erase(it);
    }
    Row row{series, time, step, {}};
    row.values.reserve(size_t(samplesPerRow));
    row.values.push_back(sample);
    m_open.insert(series, std::move(row));
}

void HistoryStore::flush(bool all) {
    if (!m_writer) {
        return;
    }
    if (all) {
        for (Row& row : m_open) {
            m_full.append(std::move(row));
        }
        m_open.clear();
    }
    // A row of gaps only holds nothing worth a place on disk.
    m_full.removeIf([](const Row& row) { return !row.hasSample(); });
    if (m_full.isEmpty()) {
        return;
    }
    if (!isOpen() && !openDatabase()) {
        return;
    }
    if (write(m_full)) {
        m_full.clear();
        return;
    }
    if (m_full.size() > maximumPendingRows) {
        logProblem(QStringLiteral("History: %1 rows could not be written; the oldest are dropped")
                       .arg(m_full.size()));
        m_full.erase(m_full.begin(), m_full.begin() + (m_full.size() - maximumPendingRows));
    }
}

std::optional<qint64> HistoryStore::seriesId(const QString& name) {
    if (const auto it = m_ids.constFind(name); it != m_ids.cend()) {
        return *it;
    }
    const QByteArray text = name.toUtf8();
    Statement insert(m_db, "INSERT OR IGNORE INTO series(name) VALUES(?1)");
    insert.bind(1, text);
    if (!insert.ok() || insert.step() != SQLITE_DONE) {
        return std::nullopt;
    }
    Statement select(m_db, "SELECT id FROM series WHERE name = ?1");
    select.bind(1, text);
    if (!select.ok() || select.step() != SQLITE_ROW) {
        return std::nullopt;
    }
    m_ids.insert(name, select.integer(0));
    return select.integer(0);
}

bool HistoryStore::write(const QList<Row>& rows, bool retryAfterMovingAside) {
    int code = execute(m_db, "BEGIN IMMEDIATE");
    if (code == SQLITE_OK) {
        Statement insert(m_db, "INSERT INTO chunks(series, start, step, vals) VALUES(?1,?2,?3,?4)");
        code = insert.result();
        for (const Row& row : rows) {
            if (code != SQLITE_OK) {
                break;
            }
            const auto id = seriesId(row.series);
            if (!id) {
                code = sqlite3_errcode(m_db);
                break;
            }
            insert.bind(1, *id);
            insert.bind(2, row.start);
            insert.bind(3, row.step);
            insert.bind(4, valuesText(row.values));
            code = insert.step() == SQLITE_DONE ? SQLITE_OK : insert.result();
            insert.reset();
            m_longestRowMs = std::max(m_longestRowMs, row.step * samplesPerRow);
        }
        code = code == SQLITE_OK ? execute(m_db, "COMMIT") : code;
    }
    if (code == SQLITE_OK) {
        m_busyWrites = 0;
        m_writeFailureLogged = false;
        return true;
    }
    const int failure = code;
    execute(m_db, "ROLLBACK");
    // Ids of series inserted in the rolled back transaction are gone.
    m_ids.clear();
    afterFailure(failure, QStringLiteral("cannot write"));
    if (isOpen() || !retryAfterMovingAside || !openDatabase()) {
        return false;
    }
    // Moved aside: the rows go into the new history.
    return write(rows, false);
}

void HistoryStore::afterFailure(int code, const QString& what) {
    if (isDamaged(code)) {
        moveAside(QStringLiteral("it is damaged (%1)").arg(describe(m_db, code)));
        return;
    }
    if (isLocked(code) && ++m_busyWrites >= busyWritesBeforeMovingAside) {
        m_busyWrites = 0;
        moveAside(QStringLiteral("it stays locked by another program"));
        return;
    }
    // A full disk or a read-only folder: the rows wait for the next try.
    if (!m_writeFailureLogged) {
        m_writeFailureLogged = true;
        logProblem(QStringLiteral("History: %1 %2: %3; trying again later")
                       .arg(what, filePath(), describe(m_db, code)));
    }
}

void HistoryStore::prune(qint64 now) {
    if (!m_writer || !isOpen()) {
        return;
    }
    Statement old(m_db, "DELETE FROM chunks WHERE start < ?1");
    old.bind(1, now - retentionMs);
    int code = old.ok() ? old.step() : old.result();
    if (code == SQLITE_DONE) {
        code = execute(m_db, "DELETE FROM series WHERE id NOT IN (SELECT series FROM chunks)");
        m_ids.clear();
    }
    if (code != SQLITE_DONE && code != SQLITE_OK) {
        afterFailure(code, QStringLiteral("cannot prune"));
    }
}

void HistoryStore::releaseMemory() {
    if (m_db) {
        sqlite3_db_release_memory(m_db);
    }
}

bool HistoryStore::Row::hasSample() const {
    return std::any_of(values.begin(), values.end(),
                       [](double value) { return !std::isnan(value); });
}

QStringList HistoryStore::series() const {
    QStringList names;
    if (isOpen()) {
        Statement query(m_db, "SELECT name FROM series WHERE id IN (SELECT series FROM chunks)");
        while (query.ok() && query.step() == SQLITE_ROW) {
            names.append(QString::fromUtf8(query.text(0)));
        }
    }
    for (const Row& row : m_full) {
        if (row.hasSample()) {
            names.append(row.series);
        }
    }
    for (const Row& row : m_open) {
        if (row.hasSample()) {
            names.append(row.series);
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool HistoryStore::contains(const QString& series) const {
    // Asked before every answer: one row looked up, not every series listed.
    if (std::any_of(m_full.cbegin(), m_full.cend(), [&series](const Row& row) {
            return row.series == series && row.hasSample();
        })) {
        return true;
    }
    if (const auto it = m_open.constFind(series); it != m_open.cend() && it->hasSample()) {
        return true;
    }
    if (!isOpen()) {
        return false;
    }
    Statement query(m_db, "SELECT 1 FROM chunks WHERE series = (SELECT id FROM series WHERE "
                          "name = ?1) LIMIT 1");
    query.bind(1, series.toUtf8());
    return query.ok() && query.step() == SQLITE_ROW;
}

void HistoryStore::collect(const QString& series, qint64 since, qint64 until,
                           std::vector<Sample>* out, qint64* step) const {
    const auto take = [&](qint64 start, qint64 rowStep, const std::vector<double>& values) {
        for (size_t i = 0; i < values.size(); ++i) {
            const qint64 time = start + rowStep * qint64(i);
            if (time >= since && time <= until && !std::isnan(values[i])) {
                out->emplace_back(time, values[i]);
            }
        }
        if (rowStep > 0 && (*step == 0 || rowStep < *step)) {
            *step = rowStep;
        }
    };
    if (isOpen()) {
        Statement query(m_db, "SELECT start, step, vals FROM chunks WHERE series = "
                              "(SELECT id FROM series WHERE name = ?1) AND start >= ?2 AND "
                              "start <= ?3 ORDER BY start");
        query.bind(1, series.toUtf8());
        // A row that began before `since` may reach into it.
        query.bind(2, since > std::numeric_limits<qint64>::min() + m_longestRowMs
                          ? since - m_longestRowMs
                          : since);
        query.bind(3, until);
        std::vector<double> values;
        while (query.ok() && query.step() == SQLITE_ROW) {
            parseValues(query.text(2), &values);
            take(query.integer(0), query.integer(1), values);
        }
    }
    for (const Row& row : m_full) {
        if (row.series == series) {
            take(row.start, row.step, row.values);
        }
    }
    if (const auto it = m_open.constFind(series); it != m_open.cend()) {
        take(it->start, it->step, it->values);
    }
}

QList<HistoryBucket> HistoryStore::samples(const QString& series, qint64 since, qint64 until,
                                           quint32 maxPoints) const {
    std::vector<Sample> collected;
    qint64 step = 0;
    collect(series, since, until, &collected, &step);
    m_lastSamplesRead = collected.size();
    // Rows are in time order unless the clock was set back.
    if (!std::is_sorted(collected.begin(), collected.end())) {
        std::stable_sort(collected.begin(), collected.end(),
                         [](const Sample& a, const Sample& b) { return a.first < b.first; });
    }
    return bucketed(collected, since, until, maxPoints, step);
}

QList<HistoryBucket> HistoryStore::bucketed(const std::vector<Sample>& samples, qint64 since,
                                            qint64 until, quint32 maxPoints, qint64 step) {
    QList<HistoryBucket> buckets;
    if (maxPoints == 0 || samples.empty()) {
        return buckets;
    }
    if (samples.size() <= maxPoints) {
        buckets.reserve(qsizetype(samples.size()));
        for (const auto& [time, value] : samples) {
            buckets.append({time, value, value, value});
        }
        return buckets;
    }
    // Aligned buckets of length `width` meet at most span / width + 1 of them.
    const qint64 span = std::max<qint64>(0, until - since);
    qint64 width = maxPoints > 1 ? (span + maxPoints - 2) / (maxPoints - 1) : span + 1;
    width = std::max<qint64>(width, 1);
    // Whole steps per bucket, so neighbouring buckets hold as many samples.
    if (step > 0 && width > step) {
        width = (width + step - 1) / step * step;
    }
    buckets.reserve(qsizetype(std::min<size_t>(maxPoints, samples.size())));
    qint64 current = std::numeric_limits<qint64>::min();
    double sum = 0;
    qint64 count = 0;
    const auto close = [&] {
        if (count > 0) {
            buckets.last().mean = sum / double(count);
        }
    };
    for (const auto& [time, value] : samples) {
        const qint64 index = time >= 0 ? time / width : (time - width + 1) / width;
        if (index != current) {
            close();
            current = index;
            sum = 0;
            count = 0;
            buckets.append({time, value, value, value});
        }
        HistoryBucket& bucket = buckets.last();
        bucket.minimum = std::min(bucket.minimum, value);
        bucket.maximum = std::max(bucket.maximum, value);
        sum += value;
        ++count;
    }
    close();
    return buckets;
}
