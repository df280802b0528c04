#include "store/programstore.h"

#include "platform/logging.h"
#include "platform/settingsbackend.h"

namespace tavirin {

namespace {

bool validName(const QString& name) {
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\');
}

}  // namespace

ProgramStore::ProgramStore(SettingsBackend& backend) : backend_(backend) {}

QString ProgramStore::GetSetting(const QString& application, const QString& section,
                                 const QString& key, const QString& defaultValue) const {
    if (!validName(application) || !validName(section) || !validName(key)) return defaultValue;
    const QString v = backend_.value(application.toLower(), section.toLower(), key.toLower());
    return v.isNull() ? defaultValue : v;
}

Result ProgramStore::SaveSetting(const QString& application, const QString& section,
                                 const QString& key, const QString& value) {
    ++writes_;
    Result r;
    if (!validName(application) || !validName(section) || !validName(key)) {
        r = Result::failure(QStringLiteral("no such setting: application \"%1\", section "
                                           "\"%2\", key \"%3\"")
                                .arg(application, section, key));
    } else {
        const QString a = application.toLower(), s = section.toLower(), k = key.toLower();
        for (Burst* b : std::as_const(open_)) {
            if (b->onFailure_ != Burst::OnFailure::RollBack) continue;
            const QString id = a + u'/' + s + u'/' + k;
            if (!b->before_.contains(id)) b->before_.insert(id, {a, s, k, backend_.value(a, s, k)});
        }
        r = backend_.setValue(a, s, k, value);
    }
    if (!r) {
        qCWarning(lcStore).noquote()
            << "saving" << application + u'/' + section + u'/' + key << "failed:" << r.error;
        for (Burst* b : std::as_const(open_))
            if (b->result_) b->result_ = r;
        return r;
    }
    if (inBurst()) return r;
    r = backend_.sync();
    if (!r) qCWarning(lcStore).noquote() << "settings not saved to disk:" << r.error;
    return r;
}

ProgramStore::Burst::Burst(ProgramStore& store, OnFailure onFailure)
    : store_(&store), onFailure_(onFailure), writesAtStart_(store.writes_) {
    store.open_.append(this);
}

ProgramStore::Burst::~Burst() {
    if (!finished_) {
        const Result r = finish();
        Q_UNUSED(r);  // already logged where it happened
    }
}

Result ProgramStore::Burst::finish() {
    if (finished_) return result_;
    finished_ = true;
    return store_->endBurst(this);
}

Result ProgramStore::endBurst(Burst* burst) {
    open_.removeOne(burst);
    const bool rollBackOnFailure = burst->onFailure_ == Burst::OnFailure::RollBack;
    if (!burst->result_ && rollBackOnFailure) {
        rollBack(burst);
        return burst->result_;
    }
    if (!open_.isEmpty() || writes_ == burst->writesAtStart_) return burst->result_;
    // Sync even after a failed write: the keys written before the failure keep their values.
    const Result synced = backend_.sync();
    if (!synced) qCWarning(lcStore).noquote() << "settings not saved to disk:" << synced.error;
    if (burst->result_ && !synced) {
        burst->result_ = synced;
        if (rollBackOnFailure) rollBack(burst);
    }
    return burst->result_;
}

void ProgramStore::rollBack(Burst* burst) {
    for (const Burst::Before& b : std::as_const(burst->before_))
        backend_.restore(b.application, b.section, b.key, b.value);
    qCWarning(lcStore) << "rolled back" << burst->before_.size()
                       << "values: the store holds what it held before";
    burst->before_.clear();
}

}  // namespace tavirin
