#pragma once

#include "platform/settingsbackend.h"

#include <QHash>
#include <QList>
#include <QString>

namespace tavirin {

// The settings store in memory. Records every write in order, counts syncs, and fails the
// Nth setValue or the next sync when told to.
class MemorySettingsBackend final : public SettingsBackend {
public:
    struct Write {
        QString app;
        QString section;
        QString key;
        QString value;
    };

    QString value(const QString& app, const QString& section, const QString& key) const override {
        return values_.value(join(app, section, key));
    }

    Result setValue(const QString& app, const QString& section, const QString& key,
                    const QString& value) override {
        ++setValueCalls_;
        if (failAtCall_ > 0 && setValueCalls_ == failAtCall_) {
            failAtCall_ = 0;
            return Result::failure(QStringLiteral("simulated write failure"));
        }
        values_.insert(join(app, section, key), value.isNull() ? QStringLiteral("") : value);
        writes_.append({app, section, key, value});
        return Result::success();
    }

    void restore(const QString& app, const QString& section, const QString& key,
                 const QString& previous) override {
        if (previous.isNull())
            values_.remove(join(app, section, key));
        else
            values_.insert(join(app, section, key), previous);
    }

    Result sync() override {
        ++syncs_;
        if (failNextSync_) {
            failNextSync_ = false;
            return Result::failure(QStringLiteral("simulated sync failure"));
        }
        syncedWrites_ = int(writes_.size());
        return Result::success();
    }

    // The nth setValue from now (1 = the next one) fails and stores nothing.
    void failNthSetValue(int n) { failAtCall_ = setValueCalls_ + n; }
    void failNextSync() { failNextSync_ = true; }

    int syncCount() const { return syncs_; }
    int setValueCalls() const { return setValueCalls_; }
    // Successful writes in order, and how many of them the last good sync covered.
    const QList<Write>& writes() const { return writes_; }
    int syncedWriteCount() const { return syncedWrites_; }
    void clearLog() {
        writes_.clear();
        syncs_ = 0;
        syncedWrites_ = 0;
    }

private:
    static QString join(const QString& a, const QString& s, const QString& k) {
        return a + QLatin1Char('\x1f') + s + QLatin1Char('\x1f') + k;
    }

    QHash<QString, QString> values_;
    QList<Write> writes_;
    int setValueCalls_ = 0;
    int failAtCall_ = 0;
    bool failNextSync_ = false;
    int syncs_ = 0;
    int syncedWrites_ = 0;
};

}  // namespace tavirin
