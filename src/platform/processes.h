#pragma once

#include "platform/result.h"

#include <QString>
#include <QStringList>

namespace tavirin {

// Starts and ends outside programs. Never through a shell: every argument reaches the
// program as exactly one argument, whatever characters it holds.
class Processes {
public:
    virtual ~Processes() = default;

    // Starts the program detached (never waited for). A missing program is a failure.
    virtual Result startDetached(const QString& program, const QStringList& arguments) = 0;
    // Ends every process of this user whose executable has this name: SIGTERM, then
    // SIGKILL after a short grace. Ending nothing is not a failure.
    virtual Result endByName(const QString& executableName) = 0;
    // Ends every process of this user that was started with one of these arguments (an
    // argument equal to one of them, never a part of one), and the processes those started:
    // SIGTERM, then SIGKILL after the grace. Ending nothing is not a failure.
    virtual Result endByArgument(const QStringList& arguments) = 0;
};

}  // namespace tavirin
