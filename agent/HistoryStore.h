#pragma once

#include "HistoryBucket.h"
#include "Result.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct sqlite3;

// The agent's history: an SQLite database, "history.sqlite3" in the agent's
// state folder, that sqlite3 can read (the view "samples" lists series, time
// in ms since the epoch and value). Samples are kept in memory and written
// in rows of up to samplesPerRow values of one series, at a regular step,
// with null for a failed reading; so a day of 30 series stays a few MB.
//
// A file that is not a history of ours, is damaged, or stays locked by
// someone else is moved aside (with its journal files) under a dated name
// and a new history started: the agent goes on either way. Only one agent
// writes a folder's history (a lock file says which); another one of the same
// user reads it.
class HistoryStore {
public:
    // At least a day at the full rate: what is older than this goes.
    static constexpr qint64 retentionMs = 25LL * 60 * 60 * 1000;
    static constexpr int samplesPerRow = 24;
    // "Ondh", so a database of another program is never taken for ours.
    static constexpr int applicationId = 0x4F6E6468;
    static constexpr int schemaVersion = 1;
    // Rows that could not be written are kept for another try, up to this many.
    static constexpr qsizetype maximumPendingRows = 4096;
    // Writes refused as busy this often in a row mean someone else holds the file.
    static constexpr int busyWritesBeforeMovingAside = 5;

    explicit HistoryStore(QString directory);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Opens the history in the folder (making the folder, mode 0700, when it
    // is missing). The reason when no history can be kept there at all: the
    // folder is not a folder of this user's alone, or no database can be made.
    Status open();
    bool isOpen() const { return m_db != nullptr; }
    // False while another agent of this user keeps the history of the folder.
    bool isWriter() const { return m_writer; }
    QString filePath() const;
    // The names files were moved aside to since the store was made.
    const QStringList& movedAside() const { return m_movedAside; }

    // One reading of a series at `time` (ms since the epoch), the next one
    // expected `step` ms later; nothing or a non-finite value is a gap.
    void append(const QString& series, qint64 time, std::optional<double> value, qint64 step);
    // Writes the rows that are full; with `all`, the partial ones too (before
    // the agent stops).
    void flush(bool all = false);
    // Forgets rows that began more than retentionMs before `now`.
    void prune(qint64 now);

    // Every series with a sample, stored or still in memory.
    QStringList series() const;
    bool contains(const QString& series) const;
    // The samples of a series from since to until (both included), folded
    // into at most maxPoints buckets (maxPoints > 0). Each sample is its own
    // bucket while there are no more than maxPoints; otherwise buckets are
    // equally long stretches aligned to multiples of their length, so an
    // answer for a window that moved on keeps the buckets it had.
    QList<HistoryBucket> samples(const QString& series, qint64 since, qint64 until,
                                 quint32 maxPoints) const;
    // How many samples the last answer read.
    size_t lastSamplesRead() const { return m_lastSamplesRead; }
    // Hands back the database's page cache; it fills again as it is needed.
    void releaseMemory();

    // The bucketing on its own: `samples` sorted by time.
    using Sample = std::pair<qint64, double>;
    static QList<HistoryBucket> bucketed(const std::vector<Sample>& samples, qint64 since,
                                         qint64 until, quint32 maxPoints, qint64 step);

private:
    struct Row {
        QString series;
        qint64 start = 0;
        qint64 step = 0;
        // NaN for a gap.
        std::vector<double> values;
        qint64 end() const { return start + step * qint64(values.size()); }
        bool hasSample() const;
    };

    Status openDatabase();
    // Why the open database can't be used; empty when it can (made new if empty).
    QString prepare();
    void close();
    // Closes, renames the database and its journals aside and logs why.
    void moveAside(const QString& reason);
    // Writes rows in one transaction; false (rows kept) when it failed. A
    // history moved aside for the failure gets them, once.
    bool write(const QList<Row>& rows, bool retryAfterMovingAside = true);
    std::optional<qint64> seriesId(const QString& name);
    void collect(const QString& series, qint64 since, qint64 until, std::vector<Sample>* out,
                 qint64* step) const;
    void afterFailure(int code, const QString& what);

    QString m_directory;
    sqlite3* m_db = nullptr;
    bool m_writer = false;
    int m_lockFd = -1;
    QHash<QString, Row> m_open;
    QList<Row> m_full;
    QHash<QString, qint64> m_ids;
    qint64 m_longestRowMs = 0;
    int m_busyWrites = 0;
    bool m_writeFailureLogged = false;
    QStringList m_movedAside;
    mutable size_t m_lastSamplesRead = 0;
};
