#include "platform/power/systemctlpower.h"

#include "platform/logging.h"

#include <QProcess>

namespace tavirin {

void SystemctlPower::powerOff(Done done) {
    auto* process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    const auto answer = [process, done](const Result& r) {
        process->deleteLater();
        if (done) done(r);
    };
    QObject::connect(
        process, &QProcess::finished, process,
        [process, answer](int code, QProcess::ExitStatus status) {
            if (status == QProcess::NormalExit && code == 0) {
                answer(Result::success());
                return;
            }
            const QString said =
                QString::fromLocal8Bit(process->readAllStandardError()).simplified();
            const QString how = status == QProcess::NormalExit
                                    ? QStringLiteral("exited with %1").arg(code)
                                    : QStringLiteral("crashed");
            answer(Result::failure(QStringLiteral("systemctl poweroff ") + how +
                                   (said.isEmpty() ? QString() : QStringLiteral(": ") + said)));
        });
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process, answer](QProcess::ProcessError e) {
            // Any other error is followed by finished().
            if (e != QProcess::FailedToStart) return;
            answer(
                Result::failure(QStringLiteral("cannot run systemctl: ") + process->errorString()));
        });
    qCInfo(lcShutdown) << "asking the system to power off (systemctl poweroff)";
    process->start(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
}

}  // namespace tavirin
