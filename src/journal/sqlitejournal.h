#pragma once

#include "journal/journal.h"

#include <QHash>
#include <QVariantList>

namespace tavirin {

class Clock;

// The journal in SQLite through Qt SQL: $XDG_STATE_HOME/tavirin/journal.sqlite, WAL mode,
// every commit synced (docs/JOURNAL.md has the schema).
//
// It is never in the way of a bell. A file that cannot be opened or written (no room, a
// folder that cannot be written, another program holding its lock) is logged once; what
// could not be written is kept in memory and written, in order, by the next write that
// works. A damaged file is set aside as "journal.sqlite.corrupt-yyyyMMdd-HHmmss" (its WAL
// beside it) and a fresh one is started.
class SqliteJournal final : public Journal {
public:
    // The clock dates a damaged file's new name and the purge's first limit.
    SqliteJournal(QString filePath, const Clock& clock);
    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    // $XDG_STATE_HOME/tavirin/journal.sqlite (default ~/.local/state/tavirin/).
    static QString defaultFilePath();

    // Opens the file, making it and its tables when needed. False (logged) when it cannot
    // be used now; every write tries again.
    bool open();

    qint64 bellFired(const BellRecord& bell) override;
    void bellEnded(const BellRecord& bell) override;
    void bellNotRung(const BellRecord& bell) override;
    void heartbeat(const QDateTime& now) override;
    QDateTime lastHeartbeat() const override;
    bool readable() const override { return open_; }
    void purge(const QDateTime& now) override;
    void recordChecks(const QDateTime& at, const QList<CheckRecord>& checks) override;
    QList<BellRecord> bellsOn(QDate day) const override;
    QList<CheckRecord> checksOn(QDate day) const override;
    QList<CheckRecord> lastSelfTest() const override;
    qint64 emergencyStarted(const EmergencyRecord& e) override;
    void emergencyEnded(const EmergencyRecord& e) override;
    QList<EmergencyRecord> emergenciesOn(QDate day) const override;
    QList<EmergencyRecord> emergenciesWithoutAllClear() const override { return unended_; }
    void recordAction(const ActionRecord& a) override;
    QList<ActionRecord> actionsOn(QDate day) const override;
    bool outboxAdd(const OutboxMessage& m) override;
    void outboxUpdate(const OutboxMessage& m) override;
    QList<OutboxMessage> outboxPending() const override;
    QList<OutboxMessage> outboxOn(QDate day) const override;

    QString filePath() const { return path_; }
    // Where the last damaged file was put; empty when none was.
    QString setAsidePath() const { return setAside_; }
    // Transactions waiting to be written.
    int pendingCount() const { return int(pending_.size()); }

    // 2: the emergencies table (a journal of version 1 is upgraded in place).
    static constexpr int kSchemaVersion = 4;
    static constexpr int kBusyTimeoutMs = 250;
    static constexpr int kMaxPending = 1000;

private:
    // One statement; `handleAt` lists the binds that hold a bell's handle, replaced by its
    // row id when it runs; `assigns` is the handle of the bell row it inserts.
    struct Op {
        QString sql;
        QVariantList binds;
        QList<int> handleAt;
        qint64 assigns = 0;
    };
    using Transaction = QList<Op>;

    void submit(Transaction tx);
    bool flush();
    bool runTransaction(const Transaction& tx, QString& why, int& code);
    bool ensureOpen();
    bool prepareFile(QString& why, int& code);
    bool setAsideDamaged(const QString& why);
    void close();
    void fail(const QString& why);

    QString path_;
    QString connection_;
    const Clock& clock_;
    bool open_ = false;
    QList<EmergencyRecord> unended_;
    bool failing_ = false;  // said in the log; said again when it works again
    bool overflowTold_ = false;
    QList<Transaction> pending_;
    QString pendingHeartbeat_;
    QHash<qint64, qint64> rowOf_;  // bell handle -> row id
    qint64 nextHandle_ = 1;
    QString setAside_;
};

}  // namespace tavirin
