#include "platform/power/pkexecrtcwake.h"

#include "platform/logging.h"

#include <QProcess>
#include <QTimer>

#include <memory>

namespace tavirin {

namespace {

// The helper's exit statuses (src/wakehelper/wakealarmcommand.h) and pkexec's own.
enum : int {
    kDone = 0,
    kRefused = 2,
    kNoRtc = 3,
    kNotTaken = 4,
    kFailed = 5,
    kPkexecDismissed = 126,
    kPkexecNotRun = 127,
};

QString describe(qint64 epoch) {
    return epoch == 0 ? QStringLiteral("no alarm")
                      : QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC).toString(Qt::ISODate);
}

// "alarm EPOCH" or "alarm none", alone on stdout; -1 for anything else.
qint64 answerLine(const QByteArray& out) {
    const QList<QByteArray> lines = out.trimmed().split('\n');
    if (lines.size() != 1 || !lines[0].startsWith("alarm ")) return -1;
    const QByteArray value = lines[0].mid(6);
    if (value == "none") return 0;
    bool ok = false;
    const qint64 epoch = value.toLongLong(&ok);
    return ok && epoch > 0 ? epoch : -1;
}

RtcWakeAnswer interpret(int code, const QByteArray& out, const QByteArray& err, qint64 wanted) {
    QString said = QString::fromLocal8Bit(err).simplified();
    said.remove(QStringLiteral("tavirin-wakealarm: "));
    const qint64 held = answerLine(out);
    RtcWakeAnswer a;
    if (held >= 0 && (code == kDone || code == kNotTaken)) {
        a.readBack = true;
        if (held != 0) a.alarm = QDateTime::fromSecsSinceEpoch(held, Qt::UTC);
    }
    switch (code) {
        case kDone:
            if (!a.readBack)
                a.result =
                    Result::failure(QStringLiteral("the wake alarm helper gave no answer line"));
            else if (held != wanted)
                a.result =
                    Result::failure(QStringLiteral("the wake alarm helper reported %1, not %2")
                                        .arg(describe(held), describe(wanted)));
            return a;
        case kNotTaken:
            a.result = Result::failure(
                a.readBack
                    ? QStringLiteral("the RTC did not take %1 and holds %2")
                              .arg(describe(wanted), describe(held)) +
                          // a write error says why; the helper's own "did not take" repeats us
                          (said.isEmpty() || said.contains(QStringLiteral("did not take"))
                               ? QString()
                               : QStringLiteral(" (") + said + u')')
                    : QStringLiteral("the wake alarm helper gave no answer line"));
            return a;
        case kRefused:
        case kNoRtc:
        case kFailed:
            a.result = Result::failure(
                said.isEmpty() ? QStringLiteral("the wake alarm helper failed (%1)").arg(code)
                               : said);
            return a;
        case kPkexecDismissed:
            a.result =
                Result::failure(QStringLiteral("the request for the wake alarm was dismissed"));
            return a;
        case kPkexecNotRun:
            a.result = Result::failure(
                QStringLiteral(
                    "pkexec did not run the wake alarm helper (not allowed, or not installed)") +
                (said.isEmpty() ? QString() : QStringLiteral(": ") + said));
            return a;
        default:
            a.result =
                Result::failure(QStringLiteral("the wake alarm helper exited with %1").arg(code) +
                                (said.isEmpty() ? QString() : QStringLiteral(": ") + said));
            return a;
    }
}

}  // namespace

PkexecRtcWake::PkexecRtcWake(QString pkexec, QString helper, int answerLimitMs)
    : pkexec_(std::move(pkexec)), helper_(std::move(helper)), answerLimitMs_(answerLimitMs) {}

void PkexecRtcWake::set(const QDateTime& when, Done done) {
    if (!when.isValid()) {
        qCWarning(lcShutdown) << "wake alarm not set: no valid time given";
        // answered from the event loop, as every other answer is
        QTimer::singleShot(0, [done] {
            if (done)
                done({Result::failure(QStringLiteral("no valid time for the wake alarm")),
                      false,
                      {}});
        });
        return;
    }
    const qint64 epoch = when.toSecsSinceEpoch();
    ask({QStringLiteral("set"), QString::number(epoch)}, epoch, std::move(done));
}

void PkexecRtcWake::clear(Done done) {
    ask({QStringLiteral("clear")}, 0, std::move(done));
}

void PkexecRtcWake::ask(const QStringList& command, qint64 wanted, Done done) {
    auto* process = new QProcess;
    auto* limit = new QTimer(process);
    limit->setSingleShot(true);
    // Answered once: by the exit, by a start that failed, or by the limit.
    auto answered = std::make_shared<bool>(false);
    const auto answer = [answered, done, wanted](const RtcWakeAnswer& a) {
        if (*answered) return;
        *answered = true;
        if (a.result && wanted != 0)
            qCInfo(lcShutdown).noquote() << "wake alarm set for" << describe(wanted);
        else if (a.result)
            qCInfo(lcShutdown) << "wake alarm cleared";
        else if (wanted != 0)
            qCWarning(lcShutdown).noquote()
                << "wake alarm for" << describe(wanted) << "not set:" << a.result.error;
        else
            qCWarning(lcShutdown).noquote() << "wake alarm not cleared:" << a.result.error;
        if (done) done(a);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, answer, wanted](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status != QProcess::NormalExit) {
                             answer({Result::failure(QStringLiteral("pkexec crashed")), false, {}});
                             return;
                         }
                         answer(interpret(code, process->readAllStandardOutput(),
                                          process->readAllStandardError(), wanted));
                     });
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process, answer](QProcess::ProcessError e) {
            // Any other error is followed by finished().
            if (e != QProcess::FailedToStart) return;
            process->deleteLater();
            answer({Result::failure(QStringLiteral("cannot run pkexec: ") + process->errorString()),
                    false,
                    {}});
        });
    QObject::connect(limit, &QTimer::timeout, process, [process, answer, ms = answerLimitMs_] {
        answer({Result::failure(QStringLiteral("pkexec gave no answer within %1 ms (waiting for "
                                               "a password?); ended")
                                    .arg(ms)),
                false,
                {}});
        // pkexec itself can be ended; once it runs the helper as root, the helper ends soon
        // by itself, and finished() deletes the process then.
        process->kill();
    });
    limit->start(answerLimitMs_);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(pkexec_,
                   QStringList{QStringLiteral("--disable-internal-agent"), helper_} + command);
}

}  // namespace tavirin
