#pragma once

#include "platform/audiooutput.h"

#include <QList>
#include <QSet>
#include <QStringList>

#include <functional>

namespace tavirin {

// Records every sound asked for, in order; fails the paths listed in `failing`.
// `onPlay` runs for every request before it returns (a scheduler test can move its fake
// clock on by the sound's length there).
class FakeAudioOutput final : public AudioOutput {
public:
    struct Play {
        QString path;
        int spanMs = -1;  // -1: played to its end; else startSpan's length
        bool isSpan() const { return spanMs >= 0; }
        bool operator==(const Play&) const = default;
    };

    Result playToEnd(const QString& path) override { return record({path, -1}); }
    Result startSpan(const QString& path, int milliseconds) override {
        return record({path, milliseconds});
    }

    QStringList paths() const {
        QStringList out;
        for (const auto& p : plays) out.append(p.path);
        return out;
    }

    QList<Play> plays;
    QSet<QString> failing;
    std::function<void(const Play&)> onPlay;

private:
    Result record(Play play) {
        plays.append(play);
        if (onPlay) onPlay(play);
        if (failing.contains(play.path))
            return Result::failure(QStringLiteral("cannot play %1 (test)").arg(play.path));
        return Result::success();
    }
};

}  // namespace tavirin
