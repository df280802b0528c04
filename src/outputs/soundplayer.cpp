#include "outputs/soundplayer.h"

#include "platform/logging.h"

#include <QFileInfo>

namespace tavirin {
namespace {

// What the operator reads: the cause in Thai, the technical text below it.
QString thaiReason(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty()) return QStringLiteral("ไม่ได้กำหนดไฟล์เสียง");
    if (!info.exists()) return QStringLiteral("ไม่พบไฟล์เสียง");
    if (info.isDir()) return QStringLiteral("เป็นโฟลเดอร์ ไม่ใช่ไฟล์เสียง");
    if (info.size() == 0) return QStringLiteral("ไฟล์เสียงว่างเปล่า");
    return QStringLiteral("ไฟล์เสียงเสียหายหรือเป็นชนิดที่เล่นไม่ได้");
}

}  // namespace

SoundPlayer::SoundPlayer(AudioOutput& audio, Dialogs& dialogs, const Clock* clock)
    : audio_(audio), dialogs_(dialogs), clock_(clock) {
    monotonic_.start();
}

bool SoundPlayer::playWait(const QString& path) {
    const Result r = audio_.playToEnd(path);
    if (!r) report(path, r.error);
    return r.ok;
}

bool SoundPlayer::playBlip(const QString& path) {
    const Result r = audio_.startSpan(path, kBlipMs);
    if (!r) report(path, r.error);
    return r.ok;
}

qint64 SoundPlayer::nowMs() const {
    return clock_ ? clock_->now().toMSecsSinceEpoch() : monotonic_.elapsed();
}

void SoundPlayer::report(const QString& path, const QString& why) {
    qCWarning(lcAudio).noquote() << "sound failed:" << why;
    const qint64 now = nowMs();
    const auto last = lastNotice_.constFind(path);
    // a clock set back counts as time passed, so a notice is never held back for long
    if (last != lastNotice_.constEnd() && now >= *last && now - *last < kNoticeIntervalMs) return;
    lastNotice_.insert(path, now);
    dialogs_.notice(QStringLiteral("เล่นเสียงไม่ได้"),
                    thaiReason(path) + QStringLiteral(": ") + path + u'\n' + why);
}

}  // namespace tavirin
