#pragma once

// Arbitrary store contents from a seed: random keys of the real key layout with values that
// are valid entries, garbage, huge, Thai, empty or full of control characters.

#include "store/keylayout.h"
#include "store/programstore.h"

#include <QRandomGenerator>
#include <QString>

namespace tavirin::fuzz {

inline QString pick(QRandomGenerator& r, std::initializer_list<const char*> l) {
    return QString::fromUtf8(*(l.begin() + r.bounded(int(l.size()))));
}

inline QString randomValue(QRandomGenerator& r, const QString& libDir, int hugeChars) {
    switch (r.bounded(10)) {
        case 0:
            return QString();
        case 1:
            return QString::number(r.bounded(-5, 100)).rightJustified(2, u'0');  // in/near range
        case 2:
            return pick(r, {"no", "0", "1", "2", "3", "4", "5", "8", "10", "00", "23", "59"});
        case 3:  // a sound path, existing or not
            return libDir + pick(r, {"/chime/front.wav", "/nosuch.mp3", "/", "/../../etc/passwd",
                                     "/ระฆัง หน้า.wav", "/-rf.wav", "/$(touch x).mp3"});
        case 4:
            return pick(r, {"ขณะนี้เวลา", "วันพุธ", "อาทิตย์", "ก", "๑๒", "นาที"});
        case 5: {  // control characters and the file format's own characters
            QString s;
            for (int i = r.bounded(1, 12); i > 0; --i)
                s += QChar(char16_t(pick(r, {"\n", "\r", "\t", "=", "[", "]", ";", "\"", "\\", "#"})
                                        .at(0)
                                        .unicode()));
            if (r.bounded(2)) s += QChar(char16_t(r.bounded(1, 32)));
            return s;
        }
        case 6: {  // random code units, surrogates included
            QString s;
            for (int i = r.bounded(1, 40); i > 0; --i) s += QChar(char16_t(r.bounded(1, 0x10000)));
            return s;
        }
        case 7:
            return QString(hugeChars, QChar(u'0' + r.bounded(10)));
        case 8:
            return QString::number(r.generate64()) + QStringLiteral("e999");
        default:
            return QStringLiteral(" %1 ").arg(r.bounded(0, 30));  // blanks around a number
    }
}

// One random key of the layout: application, section and key.
struct Key {
    QString app, section, key;
};

inline Key randomKey(QRandomGenerator& r) {
    const QString app =
        r.bounded(8) == 0 ? keys::kBaseApplication : keys::dayApplication(r.bounded(1, 8));
    switch (r.bounded(9)) {
        case 0:
            return {app, keys::kTime, keys::hour(r.bounded(1, 26))};
        case 1:
        case 2:
            return {app, keys::kTime, keys::minute(r.bounded(1, 31))};
        case 3:
            return {app, keys::kNumber, keys::number(r.bounded(1, 26))};
        case 4:
            return {app, keys::kSond, keys::sond(r.bounded(1, 25))};
        case 5:
            return {app, keys::kFm, keys::fm(r.bounded(1, 25))};
        case 6:
            return {keys::kBaseApplication, keys::kRadioOnline, keys::radioOnline(r.bounded(1, 4))};
        case 7:
            return {keys::kBaseApplication, keys::kComPort, keys::kComPortKey};
        default:
            return r.bounded(2) ? Key{keys::kBaseApplication, keys::kDay7, keys::kDay7Key}
                                : Key{keys::kBaseApplication, keys::kLimit, keys::kLimitKey};
    }
}

// Writes `count` random keys in one burst.
inline bool scramble(ProgramStore& store, QRandomGenerator& r, const QString& libDir, int count,
                     int hugeChars) {
    ProgramStore::Burst burst(store);
    for (int i = 0; i < count; ++i) {
        const Key k = randomKey(r);
        if (!store.SaveSetting(k.app, k.section, k.key, randomValue(r, libDir, hugeChars)))
            return false;
    }
    return bool(burst.finish());
}

}  // namespace tavirin::fuzz
