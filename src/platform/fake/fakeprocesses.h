#pragma once

#include "platform/processes.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tavirin {

// Records every start and end in order. Programs in `missing` fail to start, as a program
// that is not installed does.
class FakeProcesses final : public Processes {
public:
    struct Call {
        QString kind;  // "start", "end" (by name) or "end-arg" (by argument)
        QString program;
        QStringList arguments;
        int seq = 0;  // position in the shared journal (or in `calls` without one)
    };

    Result startDetached(const QString& program, const QStringList& arguments) override {
        record(QStringLiteral("start"), program, arguments);
        if (missing.contains(program)) return Result::failure(program + QStringLiteral(" missing"));
        return Result::success();
    }
    Result endByName(const QString& executableName) override {
        record(QStringLiteral("end"), executableName, {});
        return Result::success();
    }
    Result endByArgument(const QStringList& arguments) override {
        record(QStringLiteral("end-arg"), QString(), arguments);
        return Result::success();
    }

    // "start prog [a|b]" / "end prog" / "end-arg [a|b]", the form the journal uses too.
    static QString describe(const Call& c) {
        QString s = c.kind;
        if (!c.program.isEmpty()) s += u' ' + c.program;
        if (c.kind != QLatin1String("end"))
            s += QStringLiteral(" [") + c.arguments.join(u'|') + u']';
        return s;
    }
    QStringList described() const {
        QStringList out;
        for (const Call& c : calls) out.append(describe(c));
        return out;
    }

    QList<Call> calls;
    QSet<QString> missing;
    QStringList* journal = nullptr;

private:
    void record(const QString& kind, const QString& program, const QStringList& args) {
        Call c{kind, program, args, journal ? int(journal->size()) : int(calls.size())};
        calls.append(c);
        if (journal) journal->append(describe(c));
    }
};

}  // namespace tavirin
