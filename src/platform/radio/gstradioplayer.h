#pragma once

#include "platform/radioplayer.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace tavirin {

// How long each step of a radio stream may take (docs/MEDIA.md).
struct RadioLimits {
    int answerMs = 8000;  // the server's answer: its headers, and a playlist's text
    int startMs = 15000;  // from connecting the stream to its first sound at the output
    int stallS = 10;      // a stream that sends nothing this long has dropped
    int reconnectMs = 1000;
    int steadyMs = 60000;  // a stream that played this long may be reconnected once more
};

// RadioPlayer on Qt Network and GStreamer.
//
// The question to the server is a GET through Qt Network, which does its I/O on threads of
// its own: nothing waits on the calling thread. It ends as soon as the headers say what the
// address holds (a playlist is read, up to 64 KB), or at RadioLimits::answerMs.
//
// The stream plays in a `playbin` (audio only) whose every state change runs on a thread of
// this player with its own GLib main context, so a sound server or network that hangs never
// holds the window. The audio sink is a gst-launch description, the same as the bells':
// `autoaudiosink` in the program.
//
// Use it from one thread, the one that created it, with a running Qt event loop.
class GstRadioPlayer final : public RadioPlayer {
public:
    explicit GstRadioPlayer(QString sinkDescription = QStringLiteral("autoaudiosink"),
                            RadioLimits limits = RadioLimits());
    ~GstRadioPlayer() override;

    GstRadioPlayer(const GstRadioPlayer&) = delete;
    GstRadioPlayer& operator=(const GstRadioPlayer&) = delete;

    void open(const QString& url, bool isStream, Listener listener) override;
    void stop() override;

    struct Stream;  // the GStreamer side, on its own thread

private:
    enum class Phase { Idle, Asking, Sniffing, ReadingPlaylist, Streaming };

    void onHeaders();
    void onBody();
    void onFinished();
    void onAnswerTimeout();
    void onStartTimeout();
    void resolvePlaylist();
    void startStream(const QUrl& url);
    void dropReply();
    void deliver(quint64 session, Event event, const QString& detail);
    void deliverLater(Event event, const QString& detail);

    QString sink_;
    RadioLimits limits_;
    QString initError_;
    QObject context_;  // the stream's thread posts its events here
    std::unique_ptr<QNetworkAccessManager> network_;
    QPointer<QNetworkReply> reply_;
    QTimer answerTimer_;
    QTimer startTimer_;  // a stream's thread held up (a hung sound server) cannot say so itself
    QByteArray body_;
    QUrl url_;
    bool isStream_ = false;
    Phase phase_ = Phase::Idle;
    quint64 session_ = 0;
    quint64 lastSession_ = 0;
    Listener listener_;
    std::shared_ptr<Stream> stream_;
};

}  // namespace tavirin
