// Writes bursts of seven day programs into the store file given on the command line, as fast
// as it can, until it is killed, saying "done <g>" after each finished burst. Generation g sets every field of every day to a text that
// names g, so a reader can tell whether a day (or the file) mixes two bursts.
#include "platform/clock.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/dayprogram.h"
#include "store/programstore.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace tavirin;

static DayProgram programOfGeneration(int g) {
    // The length varies with g so that file sizes change from burst to burst.
    const QString v = QStringLiteral("g%1-").arg(g) + QString(g % 37, QChar(u'ก'));
    DayProgram p;
    for (Period& period : p.periods) period = {v, v, v, v, v};
    p.frontChimeFile = p.voiceFolder = p.amplifierDelaySeconds = p.shutdownMinute = v;
    p.announceMode = p.backChimeFile = p.shutdownHour = p.shutdownEnabled = v;
    return p;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    SystemClock clock;
    IniSettingsBackend backend(QString::fromLocal8Bit(argv[1]), clock);
    ProgramStore store(backend);
    const QString first = readDayProgram(store, 1).frontChimeFile;
    int g = first.isEmpty() ? 0 : first.mid(1, first.indexOf(u'-') - 1).toInt();
    QTextStream out(stdout);
    out << "ready" << Qt::endl;
    for (;;) {
        ++g;
        ProgramStore::Burst burst(store);
        for (int d = 1; d <= 7; ++d)
            (void)writeDayProgram(store, weekdayRow(d)->application, programOfGeneration(g));
        if (!burst.finish()) return 1;
        out << "done " << g << Qt::endl;
    }
}
