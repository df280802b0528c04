#include "journal/sqlitejournal.h"

#include "platform/clock.h"
#include "platform/logging.h"
#include "platform/setaside.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <sys/stat.h>

namespace tavirin {

namespace {

const QString kSecond = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
const QString kMilli = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// SQLite's primary result codes that mean the file itself is bad.
constexpr int kCorrupt = 11;
constexpr int kNotADatabase = 26;

const char* const kSchema[] = {
    "CREATE TABLE bells ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL,"
    " period INTEGER,"
    " due TEXT NOT NULL,"
    " fired TEXT,"
    " outcome TEXT,"
    " late_ms INTEGER,"
    " onset_ms INTEGER,"
    " reason TEXT,"
    " detail TEXT,"
    " relay TEXT,"
    " relay_detail TEXT,"
    " relay_off TEXT,"
    " after_bell TEXT,"
    " after_bell_ok INTEGER,"
    " after_bell_detail TEXT,"
    " ended TEXT)",
    "CREATE INDEX bells_due ON bells(due)",
    "CREATE TABLE sounds ("
    " id INTEGER PRIMARY KEY,"
    " bell_id INTEGER NOT NULL REFERENCES bells(id) ON DELETE CASCADE,"
    " seq INTEGER NOT NULL,"
    " path TEXT NOT NULL,"
    " started TEXT,"
    " ended TEXT,"
    " ok INTEGER NOT NULL,"
    " error TEXT)",
    "CREATE INDEX sounds_bell ON sounds(bell_id)",
    "CREATE TABLE checks ("
    " id INTEGER PRIMARY KEY,"
    " at TEXT NOT NULL,"
    " item TEXT NOT NULL,"
    " ok INTEGER NOT NULL,"
    " detail TEXT)",
    "CREATE INDEX checks_at ON checks(at)",
    "CREATE TABLE heartbeat (id INTEGER PRIMARY KEY CHECK (id = 1), at TEXT NOT NULL)",
    "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)",
};

const QString kEmergencyColumns = QStringLiteral(
    "id, kind, name, started, started_from, ended, ended_from, sounds, bells_held, note");

// Added in version 2.
const char* const kEmergencySchema[] = {
    "CREATE TABLE emergencies ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL,"
    " name TEXT,"
    " started TEXT NOT NULL,"
    " started_from TEXT,"
    " ended TEXT,"
    " ended_from TEXT,"
    " sounds TEXT,"      // JSON: [{path, started, ended, ok, error}]
    " bells_held TEXT,"  // JSON: ["3 10:00:00", ...]
    " note TEXT)",
    "CREATE INDEX emergencies_started ON emergencies(started)",
};

// Added in version 3.
const char* const kActionSchema[] = {
    "CREATE TABLE actions ("
    " id INTEGER PRIMARY KEY,"
    " at TEXT NOT NULL,"
    " source TEXT,"
    " role TEXT,"
    " address TEXT,"
    " action TEXT,"
    " outcome TEXT,"
    " reason TEXT)",
    "CREATE INDEX actions_at ON actions(at)",
};

// Added in version 4.
const char* const kOutboxSchema[] = {
    "CREATE TABLE outbox ("
    " key TEXT PRIMARY KEY,"
    " event TEXT NOT NULL,"
    " subject TEXT NOT NULL,"
    " channel TEXT NOT NULL,"
    " text TEXT,"
    " details TEXT,"
    " created TEXT NOT NULL,"
    " next_at TEXT,"
    " attempts INTEGER NOT NULL DEFAULT 0,"
    " state TEXT NOT NULL,"
    " last_answer TEXT,"
    " sent_at TEXT,"
    " UNIQUE (subject, channel))",
    "CREATE INDEX outbox_state ON outbox(state, next_at)",
};
const QString kOutboxColumns = QStringLiteral(
    "key, event, subject, channel, text, details, created, next_at, attempts, state, "
    "last_answer, sent_at");

QVariant text(const QDateTime& t, const QString& format) {
    return t.isValid() ? QVariant(t.toString(format)) : QVariant(QMetaType(QMetaType::QString));
}
QVariant text(const QString& s) {
    return s.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}
template <typename T>
QVariant number(const std::optional<T>& v) {
    return v ? QVariant(qint64(*v)) : QVariant(QMetaType(QMetaType::LongLong));
}
QDateTime readTime(const QVariant& v) {
    return v.isNull() ? QDateTime() : QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
}

int codeOf(const QSqlError& e) {
    bool ok = false;
    const int c = e.nativeErrorCode().toInt(&ok);
    return ok ? (c & 0xff) : -1;
}

QString describe(const QSqlError& e) {
    const QString t = e.driverText().isEmpty() ? e.text() : e.driverText();
    return e.databaseText().isEmpty() ? t : e.databaseText();
}

QString soundsJson(const QList<SoundRecord>& sounds) {
    QJsonArray a;
    for (const SoundRecord& s : sounds)
        a.append(QJsonObject{{QStringLiteral("path"), s.path},
                             {QStringLiteral("started"), s.started.toString(kMilli)},
                             {QStringLiteral("ended"), s.ended.toString(kMilli)},
                             {QStringLiteral("ok"), s.ok},
                             {QStringLiteral("error"), s.error}});
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

QList<SoundRecord> readSounds(const QString& json) {
    QList<SoundRecord> out;
    for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        out.append({o.value(QStringLiteral("path")).toString(),
                    readTime(o.value(QStringLiteral("started")).toString()),
                    readTime(o.value(QStringLiteral("ended")).toString()),
                    o.value(QStringLiteral("ok")).toBool(),
                    o.value(QStringLiteral("error")).toString()});
    }
    return out;
}

EmergencyRecord readEmergency(const QSqlQuery& q) {
    EmergencyRecord e;
    e.id = q.value(0).toLongLong();
    e.kind = q.value(1).toString();
    e.name = q.value(2).toString();
    e.started = readTime(q.value(3));
    e.startedFrom = q.value(4).toString();
    e.ended = readTime(q.value(5));
    e.endedFrom = q.value(6).toString();
    e.sounds = readSounds(q.value(7).toString());
    for (const QJsonValue& v : QJsonDocument::fromJson(q.value(8).toString().toUtf8()).array())
        e.bellsHeld << v.toString();
    e.note = q.value(9).toString();
    return e;
}

}  // namespace

SqliteJournal::SqliteJournal(QString filePath, const Clock& clock)
    : path_(std::move(filePath)),
      connection_(QStringLiteral("tavirin-journal-%1").arg(quintptr(this), 0, 16)),
      clock_(clock) {}

SqliteJournal::~SqliteJournal() {
    close();
}

QString SqliteJournal::defaultFilePath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tavirin/journal.sqlite");
}

bool SqliteJournal::open() {
    return ensureOpen();
}

void SqliteJournal::close() {
    open_ = false;
    if (!QSqlDatabase::contains(connection_)) return;
    QSqlDatabase::database(connection_, false).close();
    // Removed, not only closed: a connection that met a full disk stays unusable after the
    // disk has room again, even closed and opened again.
    QSqlDatabase::removeDatabase(connection_);
}

void SqliteJournal::fail(const QString& why) {
    if (failing_) return;
    failing_ = true;
    qCWarning(lcJournal).noquote() << "the bell journal" << path_ << "cannot be written:" << why
                                   << "- the bells go on; what is not written waits in memory";
}

// Sets up a connection on the file: WAL, synced commits, its tables; a damaged file fails
// with its code.
bool SqliteJournal::prepareFile(QString& why, int& code) {
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid()) {
        why = QStringLiteral("Qt's SQLite driver is not installed (libqt6sql6-sqlite)");
        return false;
    }
    db.setDatabaseName(path_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        why = describe(db.lastError());
        code = codeOf(db.lastError());
        return false;
    }
    QSqlQuery q(db);
    const auto exec = [&](const QString& sql) {
        if (q.exec(sql)) return true;
        why = describe(q.lastError());
        code = codeOf(q.lastError());
        return false;
    };
    // A file that is not a database fails at its first statement.
    if (!exec(QStringLiteral("PRAGMA quick_check"))) return false;
    if (q.next() && q.value(0).toString() != QLatin1String("ok")) {
        why = QStringLiteral("damaged (%1)").arg(q.value(0).toString());
        code = kCorrupt;
        return false;
    }
    if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !exec(QStringLiteral("PRAGMA synchronous=FULL")) ||
        !exec(QStringLiteral("PRAGMA foreign_keys=ON")) ||
        !exec(QStringLiteral("PRAGMA user_version")))
        return false;
    const int version = q.next() ? q.value(0).toInt() : 0;
    if (version > kSchemaVersion) {
        why = QStringLiteral("it was written by a newer Tavirin (schema %1)").arg(version);
        return false;
    }
    if (version >= 1 && version < kSchemaVersion) {
        // An older journal gains the tables it lacks (the emergencies, the page's actions,
        // the outbox); nothing else changes.
        if (!exec(QStringLiteral("BEGIN IMMEDIATE"))) return false;
        bool made = true;
        if (version < 2)
            for (const char* sql : kEmergencySchema) made = made && exec(QString::fromLatin1(sql));
        if (version < 3)
            for (const char* sql : kActionSchema) made = made && exec(QString::fromLatin1(sql));
        for (const char* sql : kOutboxSchema) made = made && exec(QString::fromLatin1(sql));
        made = made && exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
        if (!made) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return false;
        }
        if (!exec(QStringLiteral("COMMIT"))) return false;
        qCInfo(lcJournal) << "the bell journal was upgraded to schema" << kSchemaVersion;
    }
    if (version == 0) {
        if (!exec(QStringLiteral("BEGIN IMMEDIATE"))) return false;
        bool made = true;
        for (const char* sql : kSchema) made = made && exec(QString::fromLatin1(sql));
        for (const char* sql : kEmergencySchema) made = made && exec(QString::fromLatin1(sql));
        for (const char* sql : kActionSchema) made = made && exec(QString::fromLatin1(sql));
        for (const char* sql : kOutboxSchema) made = made && exec(QString::fromLatin1(sql));
        // Where the removal of old rows starts: it moves on by at most a week a night.
        if (made) {
            QSqlQuery meta(db);
            meta.prepare(QStringLiteral("INSERT INTO meta(key, value) VALUES('purged_before', ?)"));
            meta.addBindValue(clock_.now().addDays(-journal::kKeepDays).toString(kSecond));
            if (!meta.exec()) {
                why = describe(meta.lastError());
                code = codeOf(meta.lastError());
                made = false;
            }
        }
        made = made && exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
        if (!made) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return false;
        }
        if (!exec(QStringLiteral("COMMIT"))) return false;
    }
    // An emergency in force when the program ended had no all clear: it is not resumed.
    if (!exec(QStringLiteral("SELECT %1 FROM emergencies WHERE ended IS NULL ORDER BY started")
                  .arg(kEmergencyColumns)))
        return false;
    unended_.clear();
    while (q.next()) {
        EmergencyRecord e = readEmergency(q);
        e.note = QStringLiteral("no all clear: the program ended while it was in force");
        unended_.append(e);
    }
    if (!unended_.isEmpty() &&
        !exec(QStringLiteral("UPDATE emergencies SET note = '%1' WHERE ended IS NULL")
                  .arg(unended_.first().note)))
        return false;
    // A bell under way when the program ended (a crash, a power cut) ended there.
    return exec(
        QStringLiteral("UPDATE bells SET outcome = 'failed', reason = 'interrupted', "
                       "detail = 'the program ended during this bell' "
                       "WHERE outcome IS NULL"));
}

bool SqliteJournal::setAsideDamaged(const QString& why) {
    close();
    const QString aside = damagedCopyPath(path_, clock_.now());
    if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(aside).constData()) != 0) {
        fail(QStringLiteral("it is damaged (%1) and cannot be set aside (%2)")
                 .arg(why, QString::fromLocal8Bit(::strerror(errno))));
        return false;
    }
    // Its write-ahead log belongs to it.
    for (const char* companion : {"-wal", "-shm"}) {
        const QString from = path_ + QLatin1String(companion);
        if (QFileInfo::exists(from))
            ::rename(QFile::encodeName(from).constData(),
                     QFile::encodeName(aside + QLatin1String(companion)).constData());
    }
    setAside_ = aside;
    qCWarning(lcJournal).noquote() << "the bell journal" << path_ << "is damaged (" + why + ")"
                                   << "- kept as" << aside << "and a new journal started";
    return true;
}

bool SqliteJournal::ensureOpen() {
    if (open_) return true;
    const QString dir = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(dir)) {
        fail(QStringLiteral("the folder %1 cannot be made").arg(dir));
        return false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString why;
        int code = -1;
        if (prepareFile(why, code)) {
            open_ = true;
            return true;
        }
        close();
        qCDebug(lcJournal).noquote() << "cannot open:" << why << code;
        struct stat st {};
        const bool notAFile =
            ::stat(QFile::encodeName(path_).constData(), &st) == 0 && !S_ISREG(st.st_mode);
        const bool damaged = code == kCorrupt || code == kNotADatabase || notAFile;
        if (!damaged || attempt > 0 || !setAsideDamaged(why)) {
            fail(why);
            return false;
        }
    }
    return false;
}

void SqliteJournal::submit(Transaction tx) {
    pending_.append(std::move(tx));
    if (pending_.size() > kMaxPending) {
        pending_.removeFirst();
        if (!overflowTold_) {
            overflowTold_ = true;
            qCWarning(lcJournal) << "the bell journal has not been writable for long; the oldest"
                                 << "records that waited are dropped";
        }
    }
    flush();
}

bool SqliteJournal::runTransaction(const Transaction& tx, QString& why, int& code) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    const auto failed = [&](const QSqlError& e) {
        why = describe(e);
        code = codeOf(e);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return failed(q.lastError());
    QHash<qint64, qint64> assigned;
    for (const Op& op : tx) {
        QVariantList binds = op.binds;
        bool known = true;
        for (int at : op.handleAt) {
            const qint64 handle = binds.at(at).toLongLong();
            const qint64 row = assigned.value(handle, rowOf_.value(handle, 0));
            known = known && row != 0;
            binds[at] = row;
        }
        // The bell's own row was dropped while the journal could not be written.
        if (!known) continue;
        if (!q.prepare(op.sql)) return failed(q.lastError());
        for (const QVariant& v : binds) q.addBindValue(v);
        if (!q.exec()) return failed(q.lastError());
        if (op.assigns) assigned.insert(op.assigns, q.lastInsertId().toLongLong());
    }
    if (!q.exec(QStringLiteral("COMMIT"))) return failed(q.lastError());
    rowOf_.insert(assigned);
    return true;
}

bool SqliteJournal::flush() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureOpen()) return false;
        if (!pendingHeartbeat_.isEmpty()) {
            pending_.append({Op{QStringLiteral("INSERT OR REPLACE INTO heartbeat(id, at) "
                                               "VALUES (1, ?)"),
                                {pendingHeartbeat_},
                                {},
                                0}});
            pendingHeartbeat_.clear();
        }
        const int waited = int(pending_.size()) - 1;
        QString why;
        int code = -1;
        while (!pending_.isEmpty()) {
            if (!runTransaction(pending_.first(), why, code)) break;
            pending_.removeFirst();
        }
        if (pending_.isEmpty()) {
            if (failing_) {
                failing_ = false;
                overflowTold_ = false;
                qCInfo(lcJournal) << "the bell journal is written again;" << qMax(0, waited)
                                  << "records that waited are in it";
            }
            return true;
        }
        if ((code == kCorrupt || code == kNotADatabase) && attempt == 0 && setAsideDamaged(why))
            continue;
        // A heartbeat waits as the latest one only.
        if (pending_.last().size() == 1 && pending_.last().first().sql.startsWith(
                                               QLatin1String("INSERT OR REPLACE INTO heartbeat")))
            pendingHeartbeat_ = pending_.takeLast().first().binds.first().toString();
        // The next write opens the file afresh.
        close();
        qCDebug(lcJournal).noquote() << "still not written:" << why;
        fail(why);
        return false;
    }
    return false;
}

qint64 SqliteJournal::bellFired(const BellRecord& b) {
    const qint64 handle = nextHandle_++;
    Op op{QStringLiteral("INSERT INTO bells(kind, period, due, fired, late_ms, relay, "
                         "relay_detail) VALUES (?, ?, ?, ?, ?, ?, ?)"),
          {b.kind, number(b.period), text(b.due, kSecond), text(b.fired, kMilli), number(b.lateMs),
           text(b.relay), text(b.relayDetail)},
          {},
          handle};
    submit({op});
    return handle;
}

void SqliteJournal::bellEnded(const BellRecord& b) {
    if (b.id <= 0) return;
    Transaction tx;
    tx.append({QStringLiteral("UPDATE bells SET outcome = ?, onset_ms = ?, reason = ?, "
                              "detail = ?, relay_off = ?, after_bell = ?, after_bell_ok = ?, "
                              "after_bell_detail = ?, ended = ? WHERE id = ?"),
               {b.outcome, number(b.onsetMs), text(b.reason), text(b.detail),
                text(b.relayOff, kMilli), text(b.afterBell),
                b.afterBellOk ? QVariant(int(*b.afterBellOk)) : QVariant(QMetaType(QMetaType::Int)),
                text(b.afterBellDetail), text(b.ended, kMilli), b.id},
               {9},
               0});
    for (qsizetype i = 0; i < b.sounds.size(); ++i) {
        const SoundRecord& s = b.sounds.at(i);
        tx.append({QStringLiteral("INSERT INTO sounds(bell_id, seq, path, started, ended, ok, "
                                  "error) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {b.id, int(i) + 1, s.path, text(s.started, kMilli), text(s.ended, kMilli),
                    int(s.ok), text(s.error)},
                   {0},
                   0});
    }
    submit(tx);
    notifyChanged();
}

void SqliteJournal::bellNotRung(const BellRecord& b) {
    submit(
        {Op{QStringLiteral("INSERT INTO bells(kind, period, due, fired, outcome, reason, "
                           "detail, ended) SELECT ?, ?, ?, NULL, ?, ?, ?, ? WHERE NOT EXISTS "
                           "(SELECT 1 FROM bells WHERE kind = ? AND period IS ? AND due = ?)"),
            {b.kind, number(b.period), text(b.due, kSecond), b.outcome, text(b.reason),
             text(b.detail), text(b.ended, kMilli), b.kind, number(b.period), text(b.due, kSecond)},
            {},
            0}});
    notifyChanged();
}

void SqliteJournal::heartbeat(const QDateTime& now) {
    pendingHeartbeat_ = now.toString(kMilli);
    flush();
}

QDateTime SqliteJournal::lastHeartbeat() const {
    if (!pendingHeartbeat_.isEmpty()) return readTime(pendingHeartbeat_);
    if (!open_) return {};
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec(QStringLiteral("SELECT at FROM heartbeat WHERE id = 1")) || !q.next()) return {};
    return readTime(q.value(0));
}

void SqliteJournal::purge(const QDateTime& now) {
    // The limit follows the clock, but by at most a week a night: a clock set years ahead
    // must not empty the journal in one go.
    const QString limit = now.addDays(-journal::kKeepDays).toString(kSecond);
    const QString current = QStringLiteral("(SELECT value FROM meta WHERE key = 'purged_before')");
    submit(
        {Op{QStringLiteral("INSERT OR REPLACE INTO meta(key, value) SELECT 'purged_before', "
                           "max(old, min(?, strftime('%Y-%m-%dT%H:%M:%S', old, '+7 days'))) "
                           "FROM (SELECT coalesce(%1, ?) AS old)")
                .arg(current),
            {limit, limit},
            {},
            0},
         Op{QStringLiteral("DELETE FROM bells WHERE due < %1").arg(current), {}, {}, 0},
         Op{QStringLiteral("DELETE FROM checks WHERE at < %1").arg(current), {}, {}, 0},
         Op{QStringLiteral("DELETE FROM emergencies WHERE started < %1").arg(current), {}, {}, 0},
         Op{QStringLiteral("DELETE FROM actions WHERE at < %1").arg(current), {}, {}, 0},
         Op{QStringLiteral("DELETE FROM outbox WHERE created < %1 AND state != 'pending'")
                .arg(current),
            {},
            {},
            0}});
}

void SqliteJournal::recordChecks(const QDateTime& at, const QList<CheckRecord>& checks) {
    Transaction tx;
    for (const CheckRecord& c : checks)
        tx.append({QStringLiteral("INSERT INTO checks(at, item, ok, detail) VALUES (?, ?, ?, ?)"),
                   {text(at, kMilli), c.item, int(c.ok), text(c.detail)},
                   {},
                   0});
    if (tx.isEmpty()) return;
    submit(tx);
    notifyChanged();
}

QList<BellRecord> SqliteJournal::bellsOn(QDate day) const {
    QList<BellRecord> out;
    if (!open_) return out;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const QString from = QDateTime(day, QTime(0, 0)).toString(kSecond);
    const QString to = QDateTime(day.addDays(1), QTime(0, 0)).toString(kSecond);
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "SELECT id, kind, period, due, fired, outcome, late_ms, onset_ms, reason, detail, relay, "
        "relay_detail, relay_off, after_bell, after_bell_ok, after_bell_detail, ended "
        "FROM bells WHERE due >= ? AND due < ? ORDER BY due, id"));
    q.addBindValue(from);
    q.addBindValue(to);
    if (!q.exec()) return out;
    QHash<qint64, qsizetype> index;
    while (q.next()) {
        BellRecord b;
        b.id = q.value(0).toLongLong();
        b.kind = q.value(1).toString();
        if (!q.value(2).isNull()) b.period = q.value(2).toInt();
        b.due = readTime(q.value(3));
        b.fired = readTime(q.value(4));
        b.outcome = q.value(5).toString();
        if (!q.value(6).isNull()) b.lateMs = q.value(6).toLongLong();
        if (!q.value(7).isNull()) b.onsetMs = q.value(7).toLongLong();
        b.reason = q.value(8).toString();
        b.detail = q.value(9).toString();
        b.relay = q.value(10).toString();
        b.relayDetail = q.value(11).toString();
        b.relayOff = readTime(q.value(12));
        b.afterBell = q.value(13).toString();
        if (!q.value(14).isNull()) b.afterBellOk = q.value(14).toBool();
        b.afterBellDetail = q.value(15).toString();
        b.ended = readTime(q.value(16));
        index.insert(b.id, out.size());
        out.append(b);
    }
    QSqlQuery s(db);
    s.prepare(
        QStringLiteral("SELECT s.bell_id, s.path, s.started, s.ended, s.ok, s.error "
                       "FROM sounds s JOIN bells b ON b.id = s.bell_id "
                       "WHERE b.due >= ? AND b.due < ? ORDER BY s.bell_id, s.seq"));
    s.addBindValue(from);
    s.addBindValue(to);
    if (!s.exec()) return out;
    while (s.next()) {
        const auto at = index.constFind(s.value(0).toLongLong());
        if (at == index.constEnd()) continue;
        out[*at].sounds.append({s.value(1).toString(), readTime(s.value(2)), readTime(s.value(3)),
                                s.value(4).toBool(), s.value(5).toString()});
    }
    return out;
}

namespace {
QList<CheckRecord> readChecks(QSqlQuery& q) {
    QList<CheckRecord> out;
    if (!q.exec()) return out;
    while (q.next())
        out.append({readTime(q.value(0)), q.value(1).toString(), q.value(2).toBool(),
                    q.value(3).toString()});
    return out;
}
}  // namespace

QList<CheckRecord> SqliteJournal::checksOn(QDate day) const {
    if (!open_) return {};
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(
        QStringLiteral("SELECT at, item, ok, detail FROM checks WHERE at >= ? AND at < ? "
                       "ORDER BY at, id"));
    q.addBindValue(QDateTime(day, QTime(0, 0)).toString(kSecond));
    q.addBindValue(QDateTime(day.addDays(1), QTime(0, 0)).toString(kSecond));
    return readChecks(q);
}

QList<CheckRecord> SqliteJournal::lastSelfTest() const {
    if (!open_) return {};
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(
        QStringLiteral("SELECT at, item, ok, detail FROM checks "
                       "WHERE at = (SELECT max(at) FROM checks) ORDER BY id"));
    return readChecks(q);
}

qint64 SqliteJournal::emergencyStarted(const EmergencyRecord& e) {
    const qint64 handle = nextHandle_++;
    submit({Op{QStringLiteral("INSERT INTO emergencies(kind, name, started, started_from, note) "
                              "VALUES (?, ?, ?, ?, ?)"),
               {e.kind, text(e.name), text(e.started, kMilli), text(e.startedFrom), text(e.note)},
               {},
               handle}});
    notifyChanged();
    return handle;
}

void SqliteJournal::emergencyEnded(const EmergencyRecord& e) {
    if (e.id <= 0) return;
    submit({Op{
        QStringLiteral("UPDATE emergencies SET ended = ?, ended_from = ?, sounds = ?, "
                       "bells_held = ?, note = ? WHERE id = ?"),
        {text(e.ended, kMilli), text(e.endedFrom), soundsJson(e.sounds),
         QString::fromUtf8(
             QJsonDocument(QJsonArray::fromStringList(e.bellsHeld)).toJson(QJsonDocument::Compact)),
         text(e.note), e.id},
        {5},
        0}});
    notifyChanged();
}

QList<EmergencyRecord> SqliteJournal::emergenciesOn(QDate day) const {
    QList<EmergencyRecord> out;
    if (!open_) return out;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT %1 FROM emergencies WHERE started >= ? AND started < ? "
                             "ORDER BY started, id")
                  .arg(kEmergencyColumns));
    q.addBindValue(QDateTime(day, QTime(0, 0)).toString(kSecond));
    q.addBindValue(QDateTime(day.addDays(1), QTime(0, 0)).toString(kSecond));
    if (!q.exec()) return out;
    while (q.next()) out.append(readEmergency(q));
    return out;
}

void SqliteJournal::recordAction(const ActionRecord& a) {
    submit({Op{QStringLiteral("INSERT INTO actions(at, source, role, address, action, outcome, "
                              "reason) VALUES (?, ?, ?, ?, ?, ?, ?)"),
               {text(a.at, kMilli), text(a.from), text(a.role), text(a.address), text(a.action),
                text(a.outcome), text(a.reason)},
               {},
               0}});
    notifyChanged();
}

QList<ActionRecord> SqliteJournal::actionsOn(QDate day) const {
    QList<ActionRecord> out;
    if (!open_) return out;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(
        QStringLiteral("SELECT at, source, role, address, action, outcome, reason "
                       "FROM actions WHERE at >= ? AND at < ? ORDER BY at, id"));
    q.addBindValue(QDateTime(day, QTime(0, 0)).toString(kSecond));
    q.addBindValue(QDateTime(day.addDays(1), QTime(0, 0)).toString(kSecond));
    if (!q.exec()) return out;
    while (q.next()) {
        ActionRecord a;
        a.at = QDateTime::fromString(q.value(0).toString(), Qt::ISODateWithMs);
        a.from = q.value(1).toString();
        a.role = q.value(2).toString();
        a.address = q.value(3).toString();
        a.action = q.value(4).toString();
        a.outcome = q.value(5).toString();
        a.reason = q.value(6).toString();
        out.append(a);
    }
    return out;
}

namespace {

OutboxMessage readOutbox(const QSqlQuery& q) {
    OutboxMessage m;
    m.key = q.value(0).toString();
    m.event = q.value(1).toString();
    m.subject = q.value(2).toString();
    m.channel = q.value(3).toString();
    m.text = q.value(4).toString();
    m.details = q.value(5).toString();
    m.created = QDateTime::fromString(q.value(6).toString(), Qt::ISODateWithMs);
    m.nextAt = QDateTime::fromString(q.value(7).toString(), Qt::ISODateWithMs);
    m.attempts = q.value(8).toInt();
    m.state = q.value(9).toString();
    m.lastAnswer = q.value(10).toString();
    m.sentAt = QDateTime::fromString(q.value(11).toString(), Qt::ISODateWithMs);
    return m;
}

}  // namespace

bool SqliteJournal::outboxAdd(const OutboxMessage& m) {
    // Known already (sent, given up or waiting, also from before a restart): not again. A
    // message that waits to be written is looked for too.
    for (const Transaction& tx : std::as_const(pending_))
        for (const Op& op : tx)
            if (op.sql.startsWith(QLatin1String("INSERT OR IGNORE INTO outbox")) &&
                op.binds.value(2).toString() == m.subject &&
                op.binds.value(3).toString() == m.channel)
                return false;
    if (open_) {
        QSqlQuery q(QSqlDatabase::database(connection_, false));
        q.prepare(QStringLiteral("SELECT 1 FROM outbox WHERE subject = ? AND channel = ?"));
        q.addBindValue(m.subject);
        q.addBindValue(m.channel);
        if (q.exec() && q.next()) return false;
    }
    submit({Op{QStringLiteral(
                   "INSERT OR IGNORE INTO outbox(%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                   .arg(kOutboxColumns),
               {m.key, m.event, m.subject, m.channel, text(m.text), text(m.details),
                text(m.created, kMilli), text(m.nextAt, kMilli), m.attempts, m.state,
                text(m.lastAnswer), text(m.sentAt, kMilli)},
               {},
               0}});
    notifyChanged();
    return true;
}

void SqliteJournal::outboxUpdate(const OutboxMessage& m) {
    submit({Op{QStringLiteral("UPDATE outbox SET next_at = ?, attempts = ?, state = ?, "
                              "last_answer = ?, sent_at = ? WHERE key = ?"),
               {text(m.nextAt, kMilli), m.attempts, m.state, text(m.lastAnswer),
                text(m.sentAt, kMilli), m.key},
               {},
               0}});
    notifyChanged();
}

QList<OutboxMessage> SqliteJournal::outboxPending() const {
    QList<OutboxMessage> out;
    if (!open_) return out;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT %1 FROM outbox WHERE state = 'pending' ORDER BY created, key")
                  .arg(kOutboxColumns));
    if (!q.exec()) return out;
    while (q.next()) out.append(readOutbox(q));
    return out;
}

QList<OutboxMessage> SqliteJournal::outboxOn(QDate day) const {
    QList<OutboxMessage> out;
    if (!open_) return out;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT %1 FROM outbox WHERE created >= ? AND created < ? "
                             "ORDER BY created, key")
                  .arg(kOutboxColumns));
    q.addBindValue(QDateTime(day, QTime(0, 0)).toString(kSecond));
    q.addBindValue(QDateTime(day.addDays(1), QTime(0, 0)).toString(kSecond));
    if (!q.exec()) return out;
    while (q.next()) out.append(readOutbox(q));
    return out;
}

}  // namespace tavirin
