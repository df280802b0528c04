#pragma once

// A real PulseAudio server for the sound tests, started by the test itself: its own runtime
// folder and socket (so tests running side by side never share or kill each other's server),
// one null sink whose monitor can be recorded with parec, and the means to freeze, thaw and
// remove the server in the middle of a bell.
//
// While a PulseServer runs, PULSE_SERVER points this process (and everything it starts) at it;
// the previous value comes back when it stops.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <optional>

namespace tavirin::test {

struct PulseServerOptions {
    QString sinkName = QStringLiteral("bells");
    // > 0: a silent stream that asks for this latency plays into the sink the whole time, so
    // the sink runs at that latency (a low-latency desktop) and its monitor records a
    // continuous timeline that keeps pace with the wall clock. start() waits until the sink
    // has settled at it.
    // 0: no such stream; the sink keeps PulseAudio's default latency. A null sink then
    // renders blocks of up to two seconds ahead of its clock, and the monitor delivers them
    // when they are rendered: the recording is the sink's own timeline (what was played, in
    // order, with the gaps the sink really had), not the wall clock's.
    int holdLatencyMs = 20;
};

class PulseServer {
public:
    using Options = PulseServerOptions;

    PulseServer() = default;
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;
    ~PulseServer() { stop(); }

    // Starts the server and waits until it answers. false (with why()) when it cannot.
    bool start(const Options& options = {}) {
        options_ = options;
        if (!dir_.isValid()) return fail(QStringLiteral("no temporary folder"));
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
            return fail(QStringLiteral("pulseaudio is not installed"));
        socket_ = dir_.path() + QStringLiteral("/native");
        QStringList sinkArgs{QStringLiteral("module-null-sink"),
                             QStringLiteral("sink_name=") + options.sinkName};
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
        env.insert(QStringLiteral("HOME"), dir_.path());
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir_.path() + QStringLiteral("/pulse"));
        env.remove(QStringLiteral("PULSE_SERVER"));
        server_.setProcessEnvironment(env);
        server_.setProgram(QStringLiteral("pulseaudio"));
        server_.setArguments(
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
             QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
             QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
             QStringLiteral("--log-target=file:") + dir_.path() + QStringLiteral("/pulse.log"),
             QStringLiteral("-L"), sinkArgs.join(u' '), QStringLiteral("-L"),
             QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket_});
        server_.setStandardOutputFile(QProcess::nullDevice());
        server_.setStandardErrorFile(dir_.path() + QStringLiteral("/pulse.err"));
        server_.start();
        if (!server_.waitForStarted(5000)) return fail(QStringLiteral("pulseaudio did not start"));

        if (!previous_) previous_ = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", serverAddress().toUtf8());
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            if (server_.state() != QProcess::Running)
                return fail(QStringLiteral("pulseaudio ended: ") + log());
            if (pactl({QStringLiteral("info")})) {
                if (options.holdLatencyMs > 0 && !holdLatency(options.holdLatencyMs))
                    return fail(QStringLiteral("the silent stream did not start"));
                return true;
            }
            QThread::msleep(50);
        }
        return fail(QStringLiteral("pulseaudio does not answer: ") + log());
    }

    QString serverAddress() const { return QStringLiteral("unix:") + socket_; }
    QString sinkName() const { return options_.sinkName; }
    QString monitorName() const { return options_.sinkName + QStringLiteral(".monitor"); }
    qint64 pid() const { return server_.processId(); }
    QString why() const { return why_; }
    QString log() const {
        QFile f(dir_.path() + QStringLiteral("/pulse.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(2000)) : QString();
    }

    // A hung server: the socket still accepts connections, nothing answers.
    void freeze() { signal(SIGSTOP); }
    void thaw() { signal(SIGCONT); }
    // The server gone for good (crashed, or the sound service stopped).
    void stop() {
        if (holder_.state() != QProcess::NotRunning) {
            holder_.kill();
            holder_.waitForFinished(1000);
        }
        if (server_.state() == QProcess::NotRunning) return;
        thaw();
        server_.terminate();
        if (!server_.waitForFinished(3000)) {
            server_.kill();
            server_.waitForFinished(3000);
        }
        if (previous_) {
            if (previous_->isEmpty())
                qunsetenv("PULSE_SERVER");
            else
                qputenv("PULSE_SERVER", *previous_);
            previous_.reset();
        }
    }

    // pactl against this server; true when it exited 0. Its output in *out.
    bool pactl(const QStringList& args, QString* out = nullptr, int timeoutMs = 3000) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), serverAddress());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("pactl"), args);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished(1000);
            return false;
        }
        if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private:
    bool fail(const QString& why) {
        why_ = why;
        stop();
        return false;
    }
    void signal(int sig) {
        if (server_.state() == QProcess::Running) ::kill(pid_t(server_.processId()), sig);
    }
    bool holdLatency(int ms) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), serverAddress());
        holder_.setProcessEnvironment(env);
        holder_.setStandardInputFile(QStringLiteral("/dev/zero"));
        holder_.setStandardErrorFile(QProcess::nullDevice());
        holder_.start(QStringLiteral("pacat"),
                      {QStringLiteral("--raw"), QStringLiteral("-d"), options_.sinkName,
                       QStringLiteral("--latency-msec=") + QString::number(ms)});
        if (!holder_.waitForStarted(3000)) return false;
        // Until a stream asks for less, the null sink renders blocks of up to two seconds
        // ahead of its clock, and its monitor delivers nothing new until the clock has caught
        // up: wait for the sink to settle at the latency asked for.
        QElapsedTimer waited;
        waited.start();
        const qint64 settledUs = qint64(ms) * 3000 + 50000;
        while (waited.elapsed() < 5000) {
            if (holder_.state() != QProcess::Running) return false;
            const qint64 us = sinkLatencyUs();
            if (us >= 0 && us <= settledUs) return true;
            QThread::msleep(100);
        }
        return holder_.state() == QProcess::Running;
    }

    // The sink's current latency as pactl reports it ("Latency: N usec"), or -1.
    qint64 sinkLatencyUs() const {
        QString out;
        if (!pactl({QStringLiteral("list"), QStringLiteral("sinks")}, &out)) return -1;
        const qsizetype at = out.indexOf(QLatin1String("\tLatency: "));
        if (at < 0) return -1;
        return out.mid(at + 10).section(u' ', 0, 0).toLongLong();
    }

    Options options_;
    QTemporaryDir dir_;
    QString socket_;
    QProcess server_;
    QProcess holder_;
    QString why_;
    std::optional<QByteArray> previous_;
};

// Records a sink's monitor with parec into a WAV file (16-bit, the rate and channels given),
// from start() until stop().
class MonitorRecorder {
public:
    MonitorRecorder(const PulseServer& server, QString wavPath, int rate = 48000, int channels = 1)
        : server_(server), path_(std::move(wavPath)), rate_(rate), channels_(channels) {}
    ~MonitorRecorder() { stop(); }

    bool start(int latencyMs = 20) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), server_.serverAddress());
        parec_.setProcessEnvironment(env);
        parec_.setStandardErrorFile(QProcess::nullDevice());
        parec_.start(QStringLiteral("parec"),
                     {QStringLiteral("-d"), server_.monitorName(),
                      QStringLiteral("--latency-msec=") + QString::number(latencyMs),
                      QStringLiteral("--rate=") + QString::number(rate_),
                      QStringLiteral("--channels=") + QString::number(channels_),
                      QStringLiteral("--format=s16le"), QStringLiteral("--file-format=wav"), path_});
        if (!parec_.waitForStarted(3000)) return false;
        // parec opens its stream a moment after it starts
        QThread::msleep(300);
        return parec_.state() == QProcess::Running;
    }
    // Ends the recording (SIGINT lets parec finish the WAV header).
    void stop() {
        if (parec_.state() == QProcess::NotRunning) return;
        ::kill(pid_t(parec_.processId()), SIGINT);
        if (!parec_.waitForFinished(3000)) {
            parec_.kill();
            parec_.waitForFinished(1000);
        }
    }
    QString path() const { return path_; }
    int rate() const { return rate_; }

private:
    const PulseServer& server_;
    QString path_;
    int rate_;
    int channels_;
    QProcess parec_;
};

}  // namespace tavirin::test
