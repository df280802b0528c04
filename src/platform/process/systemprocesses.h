#pragma once

#include "platform/processes.h"

#include <QString>

namespace tavirin {

// Outside programs on Linux. Programs start detached from an argument list (no shell ever
// sees an argument); ending by name looks at this user's processes in /proc.
class SystemProcesses final : public Processes {
public:
    // `graceMs`: how long ended programs get to exit after SIGTERM before SIGKILL.
    explicit SystemProcesses(int graceMs = 1000) : graceMs_(graceMs) {}

    Result startDetached(const QString& program, const QStringList& arguments) override;
    Result endByName(const QString& executableName) override;
    Result endByArgument(const QStringList& arguments) override;

private:
    int graceMs_;
};

}  // namespace tavirin
