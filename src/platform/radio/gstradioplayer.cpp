#include "platform/radio/gstradioplayer.h"

#include "platform/audio/gstcontext.h"
#include "platform/logging.h"

#include <gst/gst.h>

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tavirin {

using Event = RadioPlayer::Event;

// The GStreamer side. Everything below `post` is touched only on the stream's own thread.
struct GstRadioPlayer::Stream {
    QString sink;
    RadioLimits limits;
    GMainContext* context = g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    std::thread thread;
    // not std::promise: its call_once would make the program need the dynamic loader's TLS
    std::mutex endMutex;
    std::condition_variable endSignal;
    bool ended = false;

    std::mutex postMutex;
    std::function<void(quint64 session, Event event, const QString& detail)> post;

    GstElement* pipeline = nullptr;
    GSource* busWatch = nullptr;
    GSource* timer = nullptr;
    quint64 session = 0;
    QByteArray uri;
    bool started = false;      // this connection's sound reached the output
    bool reported = false;     // Playing was reported for this session
    bool reconnected = false;  // the one reconnection is used up
    gint64 startedAt = 0;

    ~Stream() {
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
};

namespace {

using Stream = GstRadioPlayer::Stream;

constexpr guint kPlayFlagAudio = 1u << 1;  // GST_PLAY_FLAG_AUDIO: no video or subtitle chain
constexpr qsizetype kPlaylistLimit = 64 * 1024;
constexpr qsizetype kSniffBytes = 512;  // enough to tell a playlist's text from sound
constexpr auto kThreadEndLimit = std::chrono::seconds(3);
constexpr int kStartGraceMs = 2000;  // the stream's thread reports first, with its reason

QString gstInitError() {
    return gstcontext::initError();
}

// --- on the stream's thread -------------------------------------------------------------

// Queued in order; runs on the stream's thread.
void onStreamThread(Stream* s, std::function<void(Stream*)> run) {
    gstcontext::post(s->context, [s, run = std::move(run)] { run(s); });
}

void report(Stream* s, Event event, const QString& detail) {
    std::lock_guard lock(s->postMutex);
    if (s->post) s->post(s->session, event, detail);
}

void cancelTimer(Stream* s) {
    if (!s->timer) return;
    g_source_destroy(s->timer);
    g_source_unref(s->timer);
    s->timer = nullptr;
}

void startTimer(Stream* s, int ms, GSourceFunc fire) {
    cancelTimer(s);
    s->timer = g_timeout_source_new(guint(ms));
    g_source_set_callback(s->timer, fire, s, nullptr);
    g_source_attach(s->timer, s->context);
}

void teardown(Stream* s) {
    cancelTimer(s);
    if (s->busWatch) {
        g_source_destroy(s->busWatch);
        g_source_unref(s->busWatch);
        s->busWatch = nullptr;
    }
    if (s->pipeline) {
        // may wait for a slow sound server, on this thread only
        gst_element_set_state(s->pipeline, GST_STATE_NULL);
        gst_object_unref(s->pipeline);
        s->pipeline = nullptr;
    }
    s->started = false;
}

void connectStream(Stream* s);

gboolean onReconnect(gpointer data) {
    connectStream(static_cast<Stream*>(data));
    return G_SOURCE_REMOVE;
}

// The stream ended or failed: reconnect once if it had played, else give up and report.
void dropped(Stream* s, const QString& why) {
    const bool played = s->started;
    const bool wasReconnect = s->reconnected;
    if (played && (g_get_monotonic_time() - s->startedAt) / 1000 >= s->limits.steadyMs)
        s->reconnected = false;  // a long run earns another reconnection
    teardown(s);
    if (s->session == 0) return;
    if (played && !s->reconnected) {
        s->reconnected = true;
        qCWarning(lcRadio).noquote() << "stream dropped:" << why << "- connecting again";
        startTimer(s, s->limits.reconnectMs, onReconnect);
        return;
    }
    const QString detail = played ? QStringLiteral("the stream dropped again: ") + why
                           : wasReconnect
                               ? QStringLiteral("the stream dropped and did not come back: ") + why
                               : why;
    qCWarning(lcRadio).noquote() << "stream failed:" << detail;
    report(s, Event::Failed, detail);
    s->session = 0;
}

gboolean onStartLimit(gpointer data) {
    auto* s = static_cast<Stream*>(data);
    dropped(s, QStringLiteral("no sound within %1 s").arg(s->limits.startMs / 1000.0));
    return G_SOURCE_REMOVE;
}

QString errorText(GstMessage* msg) {
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    const QString text = err ? QString::fromUtf8(err->message) : QStringLiteral("unknown error");
    qCDebug(lcRadio) << "GStreamer error detail:" << (debug ? debug : "");
    g_clear_error(&err);
    g_free(debug);
    return text;
}

gboolean onBus(GstBus*, GstMessage* msg, gpointer data) {
    auto* s = static_cast<Stream*>(data);
    switch (GST_MESSAGE_TYPE(msg)) {
        case GST_MESSAGE_ASYNC_DONE:
            if (GST_MESSAGE_SRC(msg) != GST_OBJECT(s->pipeline) || s->started) break;
            s->started = true;
            s->startedAt = g_get_monotonic_time();
            cancelTimer(s);
            qCInfo(lcRadio).noquote() << "stream playing:" << s->uri;
            if (!s->reported) {
                s->reported = true;
                report(s, Event::Playing, QString::fromUtf8(s->uri));
            }
            break;
        case GST_MESSAGE_ERROR:
            dropped(s, errorText(msg));
            break;
        case GST_MESSAGE_EOS:
            dropped(s, QStringLiteral("the station ended the stream"));
            break;
        case GST_MESSAGE_CLOCK_LOST:
            // the sink's clock went away: pick a new one
            gst_element_set_state(s->pipeline, GST_STATE_PAUSED);
            gst_element_set_state(s->pipeline, GST_STATE_PLAYING);
            break;
        default:
            break;
    }
    return G_SOURCE_CONTINUE;
}

void onSourceSetup(GstElement*, GstElement* source, gpointer data) {
    const auto* s = static_cast<const Stream*>(data);
    GObjectClass* cls = G_OBJECT_GET_CLASS(source);
    // A stream that stalls is an error after stallS; the one reconnection is ours alone.
    if (g_object_class_find_property(cls, "timeout"))
        g_object_set(source, "timeout", guint(s->limits.stallS), nullptr);
    if (g_object_class_find_property(cls, "retries")) g_object_set(source, "retries", 0, nullptr);
}

void connectStream(Stream* s) {
    teardown(s);
    GError* err = nullptr;
    GstElement* sink = gst_parse_bin_from_description(s->sink.toUtf8().constData(), TRUE, &err);
    if (err || !sink) {
        const QString why = err ? QString::fromUtf8(err->message) : QString();
        g_clear_error(&err);
        if (sink) gst_object_unref(gst_object_ref_sink(sink));
        dropped(s, QStringLiteral("the audio output \"%1\" cannot be built: %2").arg(s->sink, why));
        return;
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
        gst_object_unref(gst_object_ref_sink(sink));
        dropped(s, QStringLiteral("GStreamer has no playbin (plugins-base missing)"));
        return;
    }
    s->pipeline = GST_ELEMENT(gst_object_ref_sink(playbin));
    g_object_set(playbin, "uri", s->uri.constData(), "flags", kPlayFlagAudio, "audio-sink", sink,
                 nullptr);
    g_signal_connect(playbin, "source-setup", G_CALLBACK(onSourceSetup), s);
    GstBus* bus = gst_element_get_bus(playbin);
    s->busWatch = gst_bus_create_watch(bus);
    g_source_set_callback(s->busWatch, G_SOURCE_FUNC(onBus), s, nullptr);
    g_source_attach(s->busWatch, s->context);
    gst_object_unref(bus);
    startTimer(s, s->limits.startMs, onStartLimit);
    // a refusal posts its error on the bus; the start limit covers one that does not
    if (gst_element_set_state(playbin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        qCDebug(lcRadio) << "the stream refused to start";
}

// --- the question to the server ---------------------------------------------------------

// Playlists are read here; the first stream they name is played.
bool isPlaylistType(const QString& type) {
    static const QStringList types{
        QStringLiteral("audio/x-mpegurl"),       QStringLiteral("audio/mpegurl"),
        QStringLiteral("application/x-mpegurl"), QStringLiteral("application/vnd.apple.mpegurl"),
        QStringLiteral("audio/x-scpls"),         QStringLiteral("audio/scpls"),
        QStringLiteral("application/pls+xml")};
    return types.contains(type);
}

bool isAudioType(const QString& type) {
    return type.startsWith(QLatin1String("audio/")) || type == QLatin1String("application/ogg") ||
           type == QLatin1String("application/x-ogg");
}

QString playlistText(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    return text.trimmed();
}

// A server that names no type (or a wrong one) for an .m3u or .pls: its first bytes tell.
bool looksLikePlaylist(const QByteArray& bytes) {
    const QString start = playlistText(bytes.left(kSniffBytes)).left(16).toLower();
    for (const char* head : {"[playlist]", "#extm3u", "http://", "https://"})
        if (start.startsWith(QLatin1String(head))) return true;
    return false;
}

// The first stream of an .m3u (first line that is no comment) or a .pls (lowest FileN=).
QUrl firstEntry(const QString& text, const QUrl& base) {
    const bool pls = text.startsWith(QLatin1String("[playlist]"), Qt::CaseInsensitive);
    QString pick;
    int lowest = INT_MAX;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty()) continue;
        if (!pls) {
            if (line.startsWith(u'#')) continue;
            pick = line;
            break;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || !line.startsWith(QLatin1String("file"), Qt::CaseInsensitive)) continue;
        bool ok = false;
        const int n = line.mid(4, eq - 4).toInt(&ok);
        if (ok && n < lowest) {
            lowest = n;
            pick = line.mid(eq + 1).trimmed();
        }
    }
    if (pick.isEmpty()) return {};
    const QUrl entry = base.resolved(QUrl(pick));
    const QString scheme = entry.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ? entry : QUrl();
}

// The proxy of the environment (http_proxy), as GStreamer's HTTP source uses it too.
class EnvironmentProxies final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        return systemProxyForQuery(query);
    }
};

}  // namespace

GstRadioPlayer::GstRadioPlayer(QString sinkDescription, RadioLimits limits)
    : sink_(std::move(sinkDescription)), limits_(limits), initError_(gstInitError()) {
    if (!initError_.isEmpty()) qCWarning(lcRadio).noquote() << initError_;
    answerTimer_.setSingleShot(true);
    QObject::connect(&answerTimer_, &QTimer::timeout, &context_, [this] { onAnswerTimeout(); });
    startTimer_.setSingleShot(true);
    QObject::connect(&startTimer_, &QTimer::timeout, &context_, [this] { onStartTimeout(); });
}

GstRadioPlayer::~GstRadioPlayer() {
    stop();
    if (!stream_) return;
    {
        std::lock_guard lock(stream_->postMutex);
        stream_->post = nullptr;
    }
    onStreamThread(stream_.get(), [](Stream* s) {
        teardown(s);
        g_main_loop_quit(s->loop);
    });
    bool ended = false;
    {
        std::unique_lock lock(stream_->endMutex);
        ended = stream_->endSignal.wait_for(lock, kThreadEndLimit, [&] { return stream_->ended; });
    }
    if (ended) {
        stream_->thread.join();
    } else {
        // A hung sound server holds the teardown; the thread keeps its own share of the
        // stream and ends when the server answers.
        qCWarning(lcRadio) << "the stream's thread did not end in time; left to finish alone";
        stream_->thread.detach();
    }
}

void GstRadioPlayer::open(const QString& address, bool isStream, Listener listener) {
    stop();
    session_ = ++lastSession_;
    listener_ = std::move(listener);
    url_ = QUrl(address);
    isStream_ = isStream;
    if (!initError_.isEmpty()) return deliverLater(Event::Failed, initError_);
    const QString scheme = url_.scheme().toLower();
    if (!url_.isValid() || url_.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return deliverLater(Event::Failed, QStringLiteral("not an http(s) address: ") + address);

    if (!network_) {
        network_ = std::make_unique<QNetworkAccessManager>();
        network_->setProxyFactory(new EnvironmentProxies);
    }
    QNetworkRequest request(url_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    body_.clear();
    phase_ = Phase::Asking;
    reply_ = network_->get(request);
    QObject::connect(reply_, &QNetworkReply::metaDataChanged, &context_, [this] { onHeaders(); });
    QObject::connect(reply_, &QNetworkReply::readyRead, &context_, [this] { onBody(); });
    QObject::connect(reply_, &QNetworkReply::finished, &context_, [this] { onFinished(); });
    answerTimer_.start(limits_.answerMs);
    qCInfo(lcRadio).noquote() << "asking" << url_.toDisplayString() << "what it holds";
}

void GstRadioPlayer::stop() {
    if (phase_ == Phase::Streaming) qCInfo(lcRadio) << "stream stopped";
    session_ = 0;
    listener_ = nullptr;
    phase_ = Phase::Idle;
    dropReply();
    startTimer_.stop();
    if (stream_)
        onStreamThread(stream_.get(), [](Stream* s) {
            s->session = 0;
            teardown(s);
        });
}

void GstRadioPlayer::onHeaders() {
    if (phase_ != Phase::Asking || !reply_) return;
    const QVariant code = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!code.isValid()) return;
    const int status = code.toInt();
    if (status >= 300 && status < 400) return;  // a redirect, followed (or refused: finished)
    const QString type = reply_->header(QNetworkRequest::ContentTypeHeader)
                             .toString()
                             .section(u';', 0, 0)
                             .trimmed()
                             .toLower();
    qCInfo(lcRadio).noquote() << "the server answered" << status << (type.isEmpty() ? "-" : type);
    if (status < 200 || status >= 300) {
        const QString why =
            QStringLiteral("the server answered %1 %2")
                .arg(status)
                .arg(reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        // A browser may get past what this request could not, and shows what the server says.
        return deliver(session_, isStream_ ? Event::Failed : Event::Page, why);
    }
    if (isPlaylistType(type)) {
        phase_ = Phase::ReadingPlaylist;
        return onBody();
    }
    if (isAudioType(type)) return startStream(reply_->url());
    if (!isStream_) return deliver(session_, Event::Page, type);
    phase_ = Phase::Sniffing;
    onBody();
}

void GstRadioPlayer::onBody() {
    if (!reply_ || (phase_ != Phase::Sniffing && phase_ != Phase::ReadingPlaylist)) return;
    body_ += reply_->read(kPlaylistLimit - body_.size());
    const bool all = reply_->isFinished() || body_.size() >= kPlaylistLimit;
    if (phase_ == Phase::Sniffing) {
        if (body_.size() < kSniffBytes && !all) return;
        if (!looksLikePlaylist(body_)) return startStream(reply_->url());
        phase_ = Phase::ReadingPlaylist;
    }
    if (all) resolvePlaylist();
}

void GstRadioPlayer::onFinished() {
    if (!reply_) return;
    if (phase_ == Phase::Sniffing || phase_ == Phase::ReadingPlaylist) {
        if (phase_ == Phase::Sniffing && body_.isEmpty() &&
            reply_->error() != QNetworkReply::NoError)
            return deliver(session_, Event::Failed, reply_->errorString());
        if (phase_ == Phase::Sniffing && !looksLikePlaylist(body_))
            return startStream(reply_->url());
        phase_ = Phase::ReadingPlaylist;
        return resolvePlaylist();
    }
    if (phase_ != Phase::Asking) return;
    if (reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        onHeaders();
        if (phase_ != Phase::Asking) return;
    }
    // An answer Qt cannot read as HTTP (a Shoutcast "ICY 200 OK"): GStreamer may.
    if (reply_->error() == QNetworkReply::ProtocolFailure) return startStream(url_);
    deliver(session_, Event::Unreachable, reply_->errorString());
}

void GstRadioPlayer::onAnswerTimeout() {
    if (phase_ == Phase::Idle || phase_ == Phase::Streaming) return;
    const QString why = QStringLiteral("no answer within %1 s").arg(limits_.answerMs / 1000.0);
    if (phase_ == Phase::Asking) return deliver(session_, Event::Unreachable, why);
    // A playlist still coming in: what has arrived may name the stream already.
    if (phase_ == Phase::ReadingPlaylist || looksLikePlaylist(body_)) return resolvePlaylist();
    startStream(reply_ ? reply_->url() : url_);
}

void GstRadioPlayer::onStartTimeout() {
    if (phase_ != Phase::Streaming) return;
    const QString why = QStringLiteral("no sound within %1 s (the sound output does not answer?)")
                            .arg((limits_.startMs + kStartGraceMs) / 1000.0);
    qCWarning(lcRadio).noquote() << "stream failed:" << why;
    const Listener listener = listener_;
    stop();
    if (listener) listener(Event::Failed, why);
}

void GstRadioPlayer::resolvePlaylist() {
    const QUrl base = reply_ ? reply_->url() : url_;
    dropReply();
    const QString text = playlistText(body_);
    // HLS is a playlist of pieces that GStreamer's own demuxer plays.
    if (text.contains(QLatin1String("#EXT-X-"))) return startStream(base);
    const QUrl entry = firstEntry(text, base);
    if (!entry.isValid())
        return deliver(
            session_, Event::Failed,
            QStringLiteral("the playlist names no http(s) stream: ") + base.toDisplayString());
    qCInfo(lcRadio).noquote() << "playlist" << base.toDisplayString() << "names"
                              << entry.toDisplayString();
    startStream(entry);
}

void GstRadioPlayer::startStream(const QUrl& url) {
    dropReply();
    phase_ = Phase::Streaming;
    if (!stream_) {
        auto s = std::make_shared<Stream>();
        s->sink = sink_;
        s->limits = limits_;
        s->post = [this](quint64 session, Event event, const QString& detail) {
            QMetaObject::invokeMethod(
                &context_, [this, session, event, detail] { deliver(session, event, detail); },
                Qt::QueuedConnection);
        };
        s->thread = std::thread([s] {
            g_main_context_push_thread_default(s->context);
            g_main_loop_run(s->loop);
            teardown(s.get());
            g_main_context_pop_thread_default(s->context);
            std::lock_guard lock(s->endMutex);
            s->ended = true;
            s->endSignal.notify_all();
        });
        stream_ = std::move(s);
    }
    qCInfo(lcRadio).noquote() << "connecting the stream" << url.toDisplayString();
    startTimer_.start(limits_.startMs + kStartGraceMs);
    onStreamThread(stream_.get(), [session = session_, uri = url.toEncoded()](Stream* s) {
        s->session = session;
        s->uri = uri;
        s->reported = false;
        s->reconnected = false;
        connectStream(s);
    });
}

void GstRadioPlayer::dropReply() {
    answerTimer_.stop();
    if (!reply_) return;
    QObject::disconnect(reply_, nullptr, &context_, nullptr);
    // not inside the reply's own signal: Qt may be reporting its error just then
    QMetaObject::invokeMethod(reply_, &QNetworkReply::abort, Qt::QueuedConnection);
    reply_->deleteLater();
    reply_ = nullptr;
}

void GstRadioPlayer::deliver(quint64 session, Event event, const QString& detail) {
    if (session == 0 || session != session_) return;
    const Listener listener = listener_;
    startTimer_.stop();
    if (event != Event::Playing) {
        session_ = 0;
        listener_ = nullptr;
        phase_ = Phase::Idle;
        dropReply();
    }
    if (listener) listener(event, detail);
}

void GstRadioPlayer::deliverLater(Event event, const QString& detail) {
    QMetaObject::invokeMethod(
        &context_, [this, session = session_, event, detail] { deliver(session, event, detail); },
        Qt::QueuedConnection);
}

}  // namespace tavirin
