#pragma once

#include "platform/alarmplayer.h"

#include <QList>
#include <QStringList>

namespace tavirin {

// Records every round asked for; the test tells it what happens (a file starts, fails, the
// round ends), as the real player would later on the event loop.
class FakeAlarmPlayer final : public AlarmPlayer {
public:
    void play(const QStringList& files, Listener listener) override {
        rounds.append(files);
        listener_ = std::move(listener);
        playing = true;
    }
    void stop() override {
        ++stops;
        listener_ = nullptr;
        playing = false;
    }

    // What the real player reports.
    void started(int index) { tell(Event::Started, index, {}); }
    void failed(int index, const QString& why) { tell(Event::Failed, index, why); }
    void finish() {
        playing = false;
        tell(Event::Finished, -1, {});
    }

    QList<QStringList> rounds;
    int stops = 0;
    bool playing = false;

private:
    void tell(Event e, int index, const QString& detail) {
        if (Listener l = listener_) l(e, index, detail);
    }
    Listener listener_;
};

}  // namespace tavirin
