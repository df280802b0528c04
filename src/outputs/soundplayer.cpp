#include "outputs/soundplayer.h"

#include "platform/logging.h"

#include <QFileInfo>

namespace tavirin {
namespace {

// The notices about the sound output share one key, which no file path can be.
const QString kOutputKey = QStringLiteral("\n(sound output)");

// What the operator reads: the cause in Thai, the technical text below it.
QString thaiReason(const QString& path, bool outputFault) {
    if (outputFault) return QStringLiteral("ระบบเสียงของเครื่องไม่พร้อม");
    const QFileInfo info(path);
    if (path.isEmpty()) return QStringLiteral("ไม่ได้กำหนดไฟล์เสียง");
    if (path.contains(QLatin1String("://"))) return QStringLiteral("เป็นที่อยู่เว็บ ไม่ใช่ไฟล์เสียง");
    if (!info.exists()) return QStringLiteral("ไม่พบไฟล์เสียง");
    if (info.isDir()) return QStringLiteral("เป็นโฟลเดอร์ ไม่ใช่ไฟล์เสียง");
    if (!info.isFile()) return QStringLiteral("ไม่ใช่ไฟล์เสียง");
    if (info.size() == 0) return QStringLiteral("ไฟล์เสียงว่างเปล่า");
    return QStringLiteral("ไฟล์เสียงเสียหายหรือเป็นชนิดที่เล่นไม่ได้");
}

}  // namespace

SoundPlayer::SoundPlayer(AudioOutput& audio, Dialogs& dialogs, const Clock* clock)
    : audio_(audio), dialogs_(dialogs), clock_(clock) {
    monotonic_.start();
}

void SoundPlayer::openStream() {
    played_.clear();
    audio_.openStream();
}

void SoundPlayer::preroll(const QString& path, qint64 inMs) {
    audio_.prerollIn(path, inMs);
}

StreamOutcome SoundPlayer::closeStream() {
    const StreamOutcome out = audio_.closeStream();
    if (!out.result && !out.cut) report(QString(), out.result, true);
    return out;
}

SoundOutcome SoundPlayer::playWait(const QString& path) {
    if (onSound_) onSound_(int(played_.size()) + 1);
    const SoundOutcome out = audio_.playToEnd(path);
    // A cut stream plays nothing more; what it did play stays on the record.
    if (out.cut) return out;
    played_.append({path, out});
    if (!out && !out.cut) report(path, out.result, out.outputFault);
    return out;
}

SoundOutcome SoundPlayer::playBlip(const QString& path) {
    if (onSound_) onSound_(int(played_.size()) + 1);
    const SoundOutcome out = audio_.queueSpan(path, kBlipMs, kBlipGapMs);
    if (out.cut) return out;
    played_.append({path, out});
    if (!out && !out.cut) report(path, out.result, out.outputFault);
    return out;
}

void SoundPlayer::cut(const QString& why) {
    audio_.cut(why);
}

qint64 SoundPlayer::nowMs() const {
    return clock_ ? clock_->now().toMSecsSinceEpoch() : monotonic_.elapsed();
}

void SoundPlayer::report(const QString& path, const Result& result, bool outputFault) {
    qCWarning(lcAudio).noquote() << "sound failed:" << result.error;
    const QString key = outputFault ? kOutputKey : path;
    const qint64 now = nowMs();
    const auto last = lastNotice_.constFind(key);
    // a clock set back counts as time passed, so a notice is never held back for long
    if (last != lastNotice_.constEnd() && now >= *last && now - *last < kNoticeIntervalMs) return;
    lastNotice_.insert(key, now);
    const QString where = path.isEmpty() ? QString() : QStringLiteral(": ") + path;
    dialogs_.notice(QStringLiteral("เล่นเสียงไม่ได้"),
                    thaiReason(path, outputFault) + where + u'\n' + result.error);
}

}  // namespace tavirin
