#include "outputs/alarmtones.h"

#include "platform/logging.h"

#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavirin::alarmtone {

namespace {

void appendLe16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void appendLe32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

}  // namespace

QList<Segment> segments(Pattern pattern) {
    QList<Segment> out;
    switch (pattern) {
        case Pattern::TemporalThree:
            for (int c = 0; c < kTemporalCycles; ++c) {
                for (int p = 0; p < kTemporalPulses; ++p) {
                    const bool last = p == kTemporalPulses - 1;
                    out << Segment{kEvacuationHz, kTemporalPulseMs}
                        << Segment{0, last ? kTemporalPauseMs : kTemporalGapMs};
                }
            }
            break;
        case Pattern::Rapid:
            for (int p = 0; p < kRapidPulses; ++p)
                out << Segment{kRapidHz, kRapidPulseMs} << Segment{0, kRapidGapMs};
            out << Segment{0, kRapidTailMs};
            break;
        case Pattern::TwoTone:
            for (int p = 0; p < kTwoTonePairs; ++p)
                out << Segment{kTwoToneHighHz, kTwoToneStepMs}
                    << Segment{kTwoToneLowHz, kTwoToneStepMs};
            out << Segment{0, kTwoToneTailMs};
            break;
    }
    return out;
}

std::optional<Pattern> patternOfKind(const QString& kind) {
    if (kind == u"evacuate" || kind == u"drill") return Pattern::TemporalThree;
    if (kind == u"earthquake") return Pattern::Rapid;
    if (kind == u"lockdown") return Pattern::TwoTone;
    return std::nullopt;
}

QList<qint16> samples(Pattern pattern) {
    // soundlib/make-soundlib.py (alarm_tone) does the same operations in the same order, so the
    // default library's files and these samples are the same.
    constexpr double pi = std::numbers::pi;
    constexpr int ramp = kSampleRate * kRampMs / 1000;
    QList<double> wave;
    for (const Segment& s : segments(pattern)) {
        const qsizetype n = qsizetype(s.ms) * kSampleRate / 1000;
        if (s.hz <= 0) {
            wave.insert(wave.size(), n, 0.0);
            continue;
        }
        wave.reserve(wave.size() + n);
        for (qsizetype i = 0; i < n; ++i) {
            double v = 0.0;
            for (int k = 1; k <= kHarmonicsUpToHz / s.hz; k += 2)
                v += std::sin(2.0 * pi * k * s.hz * double(i) / kSampleRate) / k;
            const qsizetype edge = std::min(i, n - 1 - i);
            if (edge < ramp) v *= 0.5 - 0.5 * std::cos(pi * double(edge) / ramp);
            wave.append(v);
        }
    }
    double top = 0.0;
    for (double v : wave) top = std::max(top, std::abs(v));
    const double gain = top > 0 ? std::pow(10.0, kPeakDbfs / 20) / top : 0.0;
    QList<qint16> out;
    out.reserve(wave.size());
    // nearbyint rounds half to even, as Python's round() in the library's script
    for (double v : wave) out.append(qint16(std::nearbyint(v * gain * 32767)));
    return out;
}

QByteArray wavFile(const QList<qint16>& pcm, int rate) {
    const quint32 dataBytes = quint32(pcm.size()) * 2;
    QByteArray out;
    out.reserve(44 + qsizetype(dataBytes));
    out.append("RIFF");
    appendLe32(out, 36 + dataBytes);
    out.append("WAVE");
    out.append("fmt ");
    appendLe32(out, 16);
    appendLe16(out, 1);  // PCM
    appendLe16(out, 1);  // mono
    appendLe32(out, quint32(rate));
    appendLe32(out, quint32(rate) * 2);  // bytes a second
    appendLe16(out, 2);                  // bytes a frame
    appendLe16(out, 16);
    out.append("data");
    appendLe32(out, dataBytes);
    for (qint16 v : pcm) appendLe16(out, quint16(v));
    return out;
}

Result writeTone(Pattern pattern, const QString& path) {
    const auto fail = [&path](const QString& why) {
        qCWarning(lcAudio).noquote()
            << "cannot write the built-in alarm tone to" << path << ":" << why;
        return Result::failure(path + QStringLiteral(": ") + why);
    };
    if (path.isEmpty()) return fail(QStringLiteral("no file name"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    const QByteArray bytes = wavFile(samples(pattern));
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit()) return fail(file.errorString());
    return Result::success();
}

Result writeToneOfKind(const QString& kind, const QString& path) {
    const std::optional<Pattern> pattern = patternOfKind(kind);
    if (!pattern) {
        qCWarning(lcAudio).noquote() << "no built-in alarm tone for the kind" << kind;
        return Result::failure(QStringLiteral("no built-in tone for the kind \"%1\"").arg(kind));
    }
    return writeTone(*pattern, path);
}

}  // namespace tavirin::alarmtone
