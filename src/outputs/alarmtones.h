#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The emergency signals as the program makes them itself. The default library holds the same
// signals as files (alarm/<kind>-tone.wav, made by soundlib/make-soundlib.py with these
// numbers and this synthesis); when a kind's file is missing or cannot be played, the caller
// writes the kind's tone with writeToneOfKind() to a file of its own and plays that instead.
namespace tavirin::alarmtone {

inline constexpr int kSampleRate = 22050;  // 16-bit mono, as every WAV of the default library

// ISO 8201 temporal-three, the evacuation signal (evacuate and drill): three 0.5 s pulses
// 0.5 s apart, then 1.5 s off, 4 s a cycle. 3.1 kHz, the pitch of the smoke alarms everyone
// knows. Two cycles (8 s) a file: the pattern is recognised before the words follow it.
inline constexpr int kEvacuationHz = 3100;
inline constexpr int kTemporalPulseMs = 500;
inline constexpr int kTemporalGapMs = 500;
inline constexpr int kTemporalPulses = 3;
inline constexpr int kTemporalPauseMs = 1500;  // after the third pulse, in place of its gap
inline constexpr int kTemporalCycles = 2;

// Earthquake: fast pips, 0.1 s on and 0.1 s off, twenty of them (4 s), then 1 s of silence
// (after the last pip's gap) before the words.
inline constexpr int kRapidHz = 1400;
inline constexpr int kRapidPulseMs = 100;
inline constexpr int kRapidGapMs = 100;
inline constexpr int kRapidPulses = 20;
inline constexpr int kRapidTailMs = 1000;

// Lockdown: a hi-lo a fifth apart, 0.5 s each with no gap, six pairs (6 s), then 1 s of
// silence. No pulses and no 3 kHz: nothing in it may be taken for the evacuation signal,
// which would send people out of the rooms they are to stay in.
inline constexpr int kTwoToneHighHz = 960;
inline constexpr int kTwoToneLowHz = 640;
inline constexpr int kTwoToneStepMs = 500;
inline constexpr int kTwoTonePairs = 6;
inline constexpr int kTwoToneTailMs = 1000;

// Each tone is a square wave built from its odd harmonics up to this frequency: the buzz of
// an alarm sounder, nothing above what the PA's horns carry and nothing folded back below
// the Nyquist frequency.
inline constexpr int kHarmonicsUpToHz = 10000;
// Each tone stretch starts and ends with a raised-cosine ramp of this length: hard, no click.
inline constexpr int kRampMs = 5;
// As loud as the chimes at the peak; with its small crest factor a square wave is still far
// louder than they are, as an alarm must be.
inline constexpr double kPeakDbfs = -3.0;

enum class Pattern { TemporalThree, Rapid, TwoTone };

// One stretch of a pattern: `hz` (0 for silence) for `ms`.
struct Segment {
    int hz = 0;
    int ms = 0;
    bool operator==(const Segment&) const = default;
};

// The whole of one tone file, stretch by stretch.
QList<Segment> segments(Pattern pattern);

// The built-in kinds: evacuate and drill sound the temporal-three, earthquake the rapid pips,
// lockdown the hi-lo. A school's own kind has no built-in tone: nullopt, the caller decides.
std::optional<Pattern> patternOfKind(const QString& kind);

// The samples of one tone file at kSampleRate.
QList<qint16> samples(Pattern pattern);

// A complete 16-bit mono PCM WAV file of the samples.
QByteArray wavFile(const QList<qint16>& samples, int rate = kSampleRate);

// Writes the pattern's tone as a WAV file to `path` (atomically: a reader never sees half a
// file, and a failed write leaves what was there).
Result writeTone(Pattern pattern, const QString& path);

// writeTone of the kind's pattern; a kind without a built-in tone fails with its reason.
Result writeToneOfKind(const QString& kind, const QString& path);

}  // namespace tavirin::alarmtone
