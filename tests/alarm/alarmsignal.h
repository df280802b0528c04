#pragma once

// What each emergency signal must be, and how it is measured from its samples: the same
// yardstick for the default library's files and for the program's built-in tones.

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavirin::test {

// --- what the signals are -------------------------------------------------------------
//
// Written here from what each signal must sound like, not taken from the code that makes it.
// ISO 8201 temporal-three: three 0.5 s pulses 0.5 s apart, then 1.5 s off, a 4 s cycle.
inline constexpr double kIsoPulseMs = 500, kIsoGapMs = 500, kIsoPauseMs = 1500, kIsoCycleMs = 4000;
inline constexpr int kIsoPulses = 3;
inline constexpr int kTemporalCyclesPerFile = 2;  // 8 s a file
inline constexpr double kEvacuationHz = 3100;
// Earthquake: twenty pips of 0.1 s, 0.1 s apart, then 1 s of silence after the last gap.
inline constexpr int kRapidPulses = 20;
inline constexpr double kRapidPulseMs = 100, kRapidGapMs = 100, kRapidTailMs = 1000;
inline constexpr double kRapidHz = 1400;
// Lockdown: hi-lo, 0.5 s each, no gaps, six pairs, then 1 s of silence.
inline constexpr int kTwoTonePairs = 6;
inline constexpr double kTwoToneStepMs = 500, kTwoToneTailMs = 1000;
inline constexpr double kTwoToneHighHz = 960, kTwoToneLowHz = 640;

// The ISO tolerance; the short pips and the steps get their own, tighter in proportion.
inline constexpr double kIsoToleranceMs = 30;
inline constexpr double kRapidToleranceMs = 10;
inline constexpr double kStepToleranceMs = 15;
inline constexpr double kPitchTolerance = 0.02;  // 2 %

// --- measuring --------------------------------------------------------------------------

struct Sounding {
    double startMs = 0;
    double lengthMs = 0;
    double endMs() const { return startMs + lengthMs; }
};

inline double ms(qsizetype frames, int rate) {
    return 1000.0 * double(frames) / rate;
}

// The sounding stretches: samples above a tenth of the signal's peak, quiet runs shorter than
// 10 ms bridged (a tone's zero crossings, the short dip where a hi-lo changes pitch).
inline QList<Sounding> soundingStretches(const QList<qint16>& pcm, int rate) {
    int peak = 0;
    for (qint16 v : pcm) peak = std::max(peak, std::abs(int(v)));
    const int threshold = peak / 10;
    const qsizetype bridge = rate / 100;
    QList<Sounding> out;
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < pcm.size(); ++i) {
        if (std::abs(int(pcm[i])) <= threshold) continue;
        if (first >= 0 && i - last > bridge) {
            out.append({ms(first, rate), ms(last - first + 1, rate)});
            first = -1;
        }
        if (first < 0) first = i;
        last = i;
    }
    if (first >= 0) out.append({ms(first, rate), ms(last - first + 1, rate)});
    return out;
}

inline double rmsDb(const QList<qint16>& pcm, qsizetype from, qsizetype to) {
    from = std::clamp<qsizetype>(from, 0, pcm.size());
    to = std::clamp<qsizetype>(to, from, pcm.size());
    if (to == from) return -200;
    double sum = 0;
    for (qsizetype i = from; i < to; ++i) sum += double(pcm[i]) * pcm[i];
    return 10 * std::log10(sum / double(to - from) / (32767.0 * 32767.0) + 1e-20);
}

inline double peakDb(const QList<qint16>& pcm) {
    int peak = 0;
    for (qint16 v : pcm) peak = std::max(peak, std::abs(int(v)));
    return 20 * std::log10(peak / 32767.0 + 1e-20);
}

// RMS over the span from the first to the last sounding sample, gaps included.
inline double spanRmsDb(const QList<qint16>& pcm, int rate) {
    const QList<Sounding> s = soundingStretches(pcm, rate);
    if (s.isEmpty()) return -200;
    return rmsDb(pcm, qsizetype(s.first().startMs * rate / 1000),
                 qsizetype(s.last().endMs() * rate / 1000));
}

// The pitch of a stretch, from its upward zero crossings over its middle 80 % (a square wave
// built from odd harmonics crosses zero twice a period, like its fundamental).
inline double pitchHz(const QList<qint16>& pcm, int rate, const Sounding& s) {
    const qsizetype from = qsizetype((s.startMs + 0.1 * s.lengthMs) * rate / 1000);
    const qsizetype to =
        std::min(pcm.size(), qsizetype((s.endMs() - 0.1 * s.lengthMs) * rate / 1000));
    qsizetype firstUp = -1, lastUp = -1;
    int ups = 0;
    for (qsizetype i = from + 1; i < to; ++i) {
        if (pcm[i - 1] < 0 && pcm[i] >= 0) {
            if (firstUp < 0) firstUp = i;
            lastUp = i;
            ++ups;
        }
    }
    if (ups < 2) return 0;
    return double(ups - 1) * rate / double(lastUp - firstUp);
}

// Power of one frequency in a window (Goertzel).
inline double powerAt(const QList<qint16>& pcm, qsizetype from, qsizetype n, int rate, double hz) {
    const double c = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (qsizetype i = from; i < from + n && i < pcm.size(); ++i) {
        const double s0 = pcm[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// A hi-lo as runs of one pitch: 10 ms windows every 5 ms, each named 'H' or 'L' when one of
// the two frequencies has ten times the power of the other, '-' otherwise (silence, the dip
// between steps); a run is where the named pitch changes. Returned as the runs' starts and
// pitches.
struct PitchRun {
    char pitch = '-';
    double startMs = 0;
    double endMs = 0;
};
inline QList<PitchRun> pitchRuns(const QList<qint16>& pcm, int rate, double highHz, double lowHz) {
    const qsizetype window = rate / 100, hop = rate / 200;
    QList<PitchRun> runs;
    for (qsizetype at = 0; at + window <= pcm.size(); at += hop) {
        const double h = powerAt(pcm, at, window, rate, highHz);
        const double l = powerAt(pcm, at, window, rate, lowHz);
        const bool loud = rmsDb(pcm, at, at + window) > -40;
        const char p = !loud ? '-' : h > 10 * l ? 'H' : l > 10 * h ? 'L' : '-';
        if (p == '-') continue;
        const double t = ms(at + window / 2, rate);
        if (runs.isEmpty() || runs.last().pitch != p)
            runs.append({p, t, t});
        else
            runs.last().endMs = t;
    }
    return runs;
}

// --- checking a signal --------------------------------------------------------------------

// What was found wrong with a signal, one line per fault; empty when it is right.
inline QStringList temporalThreeFaults(const QList<qint16>& pcm, int rate) {
    QStringList faults;
    const QList<Sounding> s = soundingStretches(pcm, rate);
    const int pulses = kIsoPulses * kTemporalCyclesPerFile;
    if (s.size() != pulses) return {QStringLiteral("%1 pulses, not %2").arg(s.size()).arg(pulses)};
    auto near = [&](const QString& what, double got, double want) {
        if (std::abs(got - want) > kIsoToleranceMs)
            faults
                << QStringLiteral("%1: %2 ms, not %3 ms").arg(what).arg(got, 0, 'f', 1).arg(want);
    };
    // first pulse at the start, the file ends after the last cycle's long pause
    near(QStringLiteral("start"), s.first().startMs, 0);
    near(QStringLiteral("length"), ms(pcm.size(), rate), kIsoCycleMs * kTemporalCyclesPerFile);
    for (int i = 0; i < pulses; ++i) {
        near(QStringLiteral("pulse %1").arg(i + 1), s[i].lengthMs, kIsoPulseMs);
        const double off =
            (i + 1 < pulses ? s[i + 1].startMs : ms(pcm.size(), rate)) - s[i].endMs();
        near(QStringLiteral("off after pulse %1").arg(i + 1), off,
             (i + 1) % kIsoPulses == 0 ? kIsoPauseMs : kIsoGapMs);
    }
    for (const Sounding& p : s) {
        const double hz = pitchHz(pcm, rate, p);
        if (std::abs(hz / kEvacuationHz - 1) > kPitchTolerance)
            faults << QStringLiteral("pulse at %1 ms: %2 Hz").arg(p.startMs).arg(hz);
    }
    return faults;
}

inline QStringList rapidFaults(const QList<qint16>& pcm, int rate) {
    QStringList faults;
    const QList<Sounding> s = soundingStretches(pcm, rate);
    if (s.size() != kRapidPulses)
        return {QStringLiteral("%1 pips, not %2").arg(s.size()).arg(kRapidPulses)};
    auto near = [&](const QString& what, double got, double want, double tol) {
        if (std::abs(got - want) > tol)
            faults
                << QStringLiteral("%1: %2 ms, not %3 ms").arg(what).arg(got, 0, 'f', 1).arg(want);
    };
    near(QStringLiteral("start"), s.first().startMs, 0, kRapidToleranceMs);
    for (int i = 0; i < kRapidPulses; ++i) {
        near(QStringLiteral("pip %1").arg(i + 1), s[i].lengthMs, kRapidPulseMs, kRapidToleranceMs);
        if (i + 1 < kRapidPulses)
            near(QStringLiteral("gap after pip %1").arg(i + 1), s[i + 1].startMs - s[i].endMs(),
                 kRapidGapMs, kRapidToleranceMs);
        const double hz = pitchHz(pcm, rate, s[i]);
        if (std::abs(hz / kRapidHz - 1) > kPitchTolerance)
            faults << QStringLiteral("pip %1: %2 Hz").arg(i + 1).arg(hz);
    }
    near(QStringLiteral("silence at the end"), ms(pcm.size(), rate) - s.last().endMs(),
         kRapidGapMs + kRapidTailMs, kIsoToleranceMs);
    return faults;
}

inline QStringList twoToneFaults(const QList<qint16>& pcm, int rate) {
    QStringList faults;
    // one unbroken sound: a hi-lo has no pulses
    const QList<Sounding> s = soundingStretches(pcm, rate);
    if (s.size() != 1) return {QStringLiteral("%1 sounding stretches, not one").arg(s.size())};
    const double sounding = kTwoTonePairs * 2 * kTwoToneStepMs;
    if (std::abs(s.first().startMs) > kStepToleranceMs ||
        std::abs(s.first().lengthMs - sounding) > kStepToleranceMs)
        faults << QStringLiteral("sounds from %1 ms for %2 ms, not from 0 for %3 ms")
                      .arg(s.first().startMs)
                      .arg(s.first().lengthMs)
                      .arg(sounding);
    const double tail = ms(pcm.size(), rate) - s.first().endMs();
    if (std::abs(tail - kTwoToneTailMs) > kIsoToleranceMs)
        faults
            << QStringLiteral("silence at the end %1 ms, not %2 ms").arg(tail).arg(kTwoToneTailMs);

    const QList<PitchRun> runs = pitchRuns(pcm, rate, kTwoToneHighHz, kTwoToneLowHz);
    QString order;
    for (const PitchRun& r : runs) order += QLatin1Char(r.pitch);
    const QString want = QStringLiteral("HL").repeated(kTwoTonePairs);
    if (order != want) return faults << QStringLiteral("pitches %1, not %2").arg(order, want);
    // each step from its start to the next one's (the last one to the end of the sound)
    for (int i = 0; i < runs.size(); ++i) {
        const double next = i + 1 < runs.size() ? runs[i + 1].startMs : s.first().endMs();
        const double start = i == 0 ? s.first().startMs : runs[i].startMs;
        if (std::abs(next - start - kTwoToneStepMs) > kStepToleranceMs)
            faults << QStringLiteral("step %1 (%2): %3 ms, not %4 ms")
                          .arg(i + 1)
                          .arg(QLatin1Char(runs[i].pitch))
                          .arg(next - start, 0, 'f', 1)
                          .arg(kTwoToneStepMs);
    }
    // the pitches themselves, from the middle of each step
    for (int i = 0; i < runs.size(); ++i) {
        const Sounding step{runs[i].startMs, runs[i].endMs - runs[i].startMs};
        const double want = runs[i].pitch == 'H' ? kTwoToneHighHz : kTwoToneLowHz;
        const double hz = pitchHz(pcm, rate, step);
        if (std::abs(hz / want - 1) > kPitchTolerance)
            faults << QStringLiteral("step %1: %2 Hz, not %3 Hz").arg(i + 1).arg(hz).arg(want);
    }
    return faults;
}

// The faults of a signal by the kind whose signal it is.
inline QStringList signalFaults(const QString& kind, const QList<qint16>& pcm, int rate) {
    if (kind == u"evacuate" || kind == u"drill") return temporalThreeFaults(pcm, rate);
    if (kind == u"earthquake") return rapidFaults(pcm, rate);
    if (kind == u"lockdown") return twoToneFaults(pcm, rate);
    return {QStringLiteral("no signal known for ") + kind};
}

// A tone must hold its level while it sounds, as a sounder does, not die away as a bell
// stroke does: the last 100 ms of each stretch within 1 dB of its first 100 ms (the edges'
// ramps left out).
inline QStringList decayFaults(const QList<qint16>& pcm, int rate) {
    QStringList faults;
    const qsizetype w = rate / 10, edge = rate / 100;
    for (const Sounding& s : soundingStretches(pcm, rate)) {
        const qsizetype from = qsizetype(s.startMs * rate / 1000) + edge;
        const qsizetype to = qsizetype(s.endMs() * rate / 1000) - edge;
        if (to - from < 2 * w) continue;  // the pips are too short to tell; their length does
        const double head = rmsDb(pcm, from, from + w), tail = rmsDb(pcm, to - w, to);
        if (std::abs(head - tail) > 1.0)
            faults << QStringLiteral("at %1 ms: %2 dB falling to %3 dB")
                          .arg(s.startMs)
                          .arg(head, 0, 'f', 1)
                          .arg(tail, 0, 'f', 1);
    }
    return faults;
}

}  // namespace tavirin::test
