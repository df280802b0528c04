#pragma once

// Small sound files made by sox for the playback tests, and a reader for the WAV files a
// "wavenc ! filesink" capture writes.

#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtEndian>

namespace tavirin::test {

// sox -n <path> synth <seconds> sine <hz>, plus any extra output options (rate, channels).
inline bool makeTone(const QString& path, double seconds, int hz = 440,
                     const QStringList& format = {"-r", "22050", "-c", "1", "-b", "16"}) {
    QStringList args{"-n"};
    args << format;
    if (path.endsWith(".mp3"))
        args << "-C"
             << "128";
    args << path << "synth" << QString::number(seconds) << "sine" << QString::number(hz) << "vol"
         << "0.5";
    QProcess sox;
    sox.start("sox", args);
    return sox.waitForFinished(20000) && sox.exitStatus() == QProcess::NormalExit &&
           sox.exitCode() == 0;
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct WavInfo {
    bool valid = false;
    int rate = 0;
    int channels = 0;
    int bits = 0;
    qint64 headerDataBytes = -1;  // the data chunk's size as the header states it
    QByteArray data;              // the PCM bytes actually present
    qint64 frames() const { return channels && bits ? data.size() / (channels * bits / 8) : 0; }
    double seconds() const { return rate ? double(frames()) / rate : 0; }
    // the header was finished (wavenc rewrites it at end-of-stream)
    bool complete() const { return valid && headerFinished; }
    bool headerFinished = false;
    qint16 sample(qint64 i) const { return qFromLittleEndian<qint16>(data.constData() + 2 * i); }
};

inline WavInfo readWav(const QString& path) {
    WavInfo w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return w;
    const QByteArray b = f.readAll();
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE") return w;
    qsizetype pos = 12;
    while (pos + 8 <= b.size()) {
        const QByteArray id = b.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(b.constData() + pos + 4);
        const qsizetype body = pos + 8;
        if (id == "fmt " && body + 16 <= b.size()) {
            w.channels = qFromLittleEndian<quint16>(b.constData() + body + 2);
            w.rate = int(qFromLittleEndian<quint32>(b.constData() + body + 4));
            w.bits = qFromLittleEndian<quint16>(b.constData() + body + 14);
        } else if (id == "data") {
            w.headerDataBytes = size;
            // an unfinished header states no size: then everything to the end is data
            w.headerFinished = size > 0 && body + qsizetype(size) <= b.size();
            w.data = w.headerFinished ? b.mid(body, size) : b.mid(body);
            w.valid = w.rate > 0;
            return w;
        }
        pos = body + size + (size & 1);
    }
    return w;
}

// The loud stretches of a 16-bit capture, as [first, last] frames: a frame is loud when any
// channel exceeds `threshold`; silence shorter than `minGapMs` (a sine's zero crossings) does
// not split a stretch.
struct Stretch {
    qint64 first = 0, last = 0;
    double seconds(int rate) const { return double(last - first + 1) / rate; }
};
inline QList<Stretch> loudStretches(const WavInfo& w, int threshold = 200, double minGapMs = 2.0) {
    QList<Stretch> out;
    const qint64 minGap = qint64(minGapMs * w.rate / 1000);
    qint64 quiet = 0;
    for (qint64 f = 0; f < w.frames(); ++f) {
        int peak = 0;
        for (int c = 0; c < w.channels; ++c)
            peak = qMax(peak, qAbs(int(w.sample(f * w.channels + c))));
        if (peak <= threshold) {
            ++quiet;
            continue;
        }
        if (out.isEmpty() || quiet >= minGap)
            out.append({f, f});
        else
            out.last().last = f;
        quiet = 0;
    }
    return out;
}

}  // namespace tavirin::test
