#pragma once

#include "platform/audiooutput.h"

#include <QList>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <functional>

namespace tavirin {

// Records every sound asked for, in order; fails the paths listed in `failing`.
// `onPlay` runs for every request before it returns (a scheduler test can move its fake
// clock on by the sound's length there); `onStream` for every stream opened ("open") and
// played out ("drained").
class FakeAudioOutput final : public AudioOutput {
public:
    struct Play {
        QString path;
        int spanMs = -1;  // -1: played to its end; else queueSpan's length
        int silenceMs = 0;
        bool isSpan() const { return spanMs >= 0; }
        bool operator==(const Play&) const = default;
    };

    void openStream() override {
        ++opened;
        if (onStream) onStream(QStringLiteral("open"));
    }
    void prerollIn(const QString& path, qint64 inMs) override {
        prerolls.append({path, inMs});
        if (onStream) onStream(QStringLiteral("preroll ") + path);
    }
    SoundOutcome playToEnd(const QString& path) override { return record({path, -1, 0}); }
    SoundOutcome queueSpan(const QString& path, int milliseconds, int silenceMs) override {
        return record({path, milliseconds, silenceMs});
    }
    void cut(const QString& why) override {
        cuts.append(why);
        cut_ = opened > drained ? why : QString();
        if (onStream) onStream(QStringLiteral("cut"));
    }
    StreamOutcome closeStream() override {
        StreamOutcome out;
        if (!cut_.isEmpty()) {
            out.result = Result::failure(cut_);
            out.cut = true;
        }
        cut_.clear();
        ++drained;
        if (onStream) onStream(QStringLiteral("drained"));
        out.noDevice = noDevice;
        return out;
    }

    QStringList paths() const {
        QStringList out;
        for (const auto& p : plays) out.append(p.path);
        return out;
    }

    QList<Play> plays;
    QList<QPair<QString, qint64>> prerolls;  // path, in how many ms
    QSet<QString> failing;
    int opened = 0;
    int drained = 0;
    QStringList cuts;
    bool noDevice = false;  // every stream reaches only a silent stand-in
    std::function<void(const Play&)> onPlay;
    std::function<void(const QString&)> onStream;

private:
    QString cut_;  // the open stream was cut, and why
    SoundOutcome record(Play play) {
        if (!cut_.isEmpty()) return SoundOutcome::cutOff(cut_);
        plays.append(play);
        if (onPlay) onPlay(play);
        if (failing.contains(play.path))
            return SoundOutcome::fileFault(QStringLiteral("cannot play %1 (test)").arg(play.path));
        return {};
    }
};

}  // namespace tavirin
