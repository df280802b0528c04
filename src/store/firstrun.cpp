#include "store/firstrun.h"

#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

namespace tavirin {

namespace {

// Remembers the first failed write of a series and carries on, as seeding does.
struct Writer {
    ProgramStore& store;
    Result first;
    void save(const QString& app, const QString& section, const QString& key,
              const QString& value) {
        const Result r = store.SaveSetting(app, section, key, value);
        if (!r && first) first = r;
    }
};

QString twoDigits(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

void writeDefaultRadioAddresses(Writer& w) {
    for (int i = 1; i <= 3; ++i)
        w.save(keys::kBaseApplication, keys::kRadioOnlineAsWritten, keys::radioOnline(i),
               defaultRadioAddress(i));
}

}  // namespace

QString defaultRadioAddress(int station) {
    switch (station) {
        case 1:
            return kDefaultRadioPage + QStringLiteral("#88-fm");
        case 2:
            return kDefaultRadioPage + QStringLiteral("#cool");
        case 3:
            return kDefaultRadioPage + QStringLiteral("#big");
        default:
            return {};
    }
}

Result seedFirstRun(ProgramStore& store, const SoundLibrary& library) {
    ProgramStore::Burst burst(store);
    Writer w{store, {}};
    const QString no = QStringLiteral("no");
    const QString zero = QStringLiteral("0");
    for (int d = 1; d <= keys::kDays; ++d) {
        const QString app = keys::dayApplication(d);
        // Periods 1..17 ring at 07:00..23:00; 18..24 and the shutdown hour (h25) are "no".
        for (int n = 1; n <= 25; ++n)
            w.save(app, keys::kTime, keys::hour(n), n <= 17 ? twoDigits(6 + n) : no);
        for (int n = 1; n <= 30; ++n) {
            QString v;
            switch (n) {
                case keys::kFrontChime:
                    v = library.frontChimeFile();
                    break;
                case keys::kVoiceFolder:
                    v = library.standardVoiceFolder();
                    break;
                case keys::kAmplifierDelay:
                    v = QStringLiteral("5");
                    break;
                case keys::kShutdownMinute:
                    v = no;
                    break;
                case keys::kAnnounceMode:
                    v = QStringLiteral("2");
                    break;
                case keys::kBackChime:
                    v = library.backChimeFile();
                    break;
                default:
                    v = QStringLiteral("00");
                    break;
            }
            w.save(app, keys::kTime, keys::minute(n), v);
        }
        for (int n = 1; n <= 25; ++n) w.save(app, keys::kNumber, keys::number(n), zero);
        for (int n = 1; n <= keys::kPeriods; ++n)
            w.save(app, keys::kSondAsWritten, keys::sond(n), QString());
        for (int n = 1; n <= keys::kPeriods; ++n) w.save(app, keys::kFm, keys::fm(n), zero);
    }
    writeDefaultRadioAddresses(w);
    w.save(keys::kBaseApplication, keys::kComPortAsWritten, keys::kComPortKey, QStringLiteral("1"));
    w.save(keys::kBaseApplication, keys::kDay7, keys::kDay7Key, zero);
    const Result synced = burst.finish();
    return w.first ? synced : w.first;
}

Result repairGlobals(ProgramStore& store) {
    ProgramStore::Burst burst(store);
    Writer w{store, {}};
    if (store.GetSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key, QString()).isEmpty())
        w.save(keys::kBaseApplication, keys::kDay7, keys::kDay7Key, QStringLiteral("1"));

    bool allEmpty = true;
    for (int i = 1; i <= 3; ++i) {
        if (!store
                 .GetSetting(keys::kBaseApplication, keys::kRadioOnline, keys::radioOnline(i),
                             QString())
                 .isEmpty())
            allEmpty = false;
    }
    if (allEmpty) {
        writeDefaultRadioAddresses(w);
        for (int d = 1; d <= keys::kDays; ++d)
            for (int n = 1; n <= keys::kPeriods; ++n)
                w.save(keys::dayApplication(d), keys::kFm, keys::fm(n), QStringLiteral("0"));
    }
    const Result synced = burst.finish();
    return w.first ? synced : w.first;
}

bool isFirstRun(const ProgramStore& store) {
    return store.GetSetting(keys::kBaseApplication, keys::kLimit, keys::kLimitKey, QString())
        .isEmpty();
}

bool writeFirstRunMarker(ProgramStore& store) {
    const Result r = store.SaveSetting(keys::kBaseApplication, keys::kLimit, keys::kLimitKey,
                                       QStringLiteral("1"));
    Q_UNUSED(r);  // the store has logged a failure; the read-back tells the caller
    return store.GetSetting(keys::kBaseApplication, keys::kLimit, keys::kLimitKey, QString()) ==
           u"1";
}

}  // namespace tavirin
