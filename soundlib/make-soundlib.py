#!/usr/bin/env python3
"""Builds the default sound library (the tree copied to ~/rivedezode on first start).

    make-soundlib.py OUTDIR

Chimes and the system tone are synthesised here (additive synthesis, written with the
wave module), and so are the emergency signals (square waves in their patterns); the
talking-clock words and the emergency messages are spoken by espeak-ng (voice th) from Thai
phonemes, trimmed with sox and levelled here, the add-on melody comes from sox and lame, the
background picture from ImageMagick. Everything is deterministic: the same tools give
the same files. The tree is built in a sibling folder and renamed into place, so an
interrupted build never leaves a half library behind.
"""

import array
import math
import os
import shutil
import subprocess
import sys
import tempfile
import wave

RATE = 22050  # every WAV of the library: 22050 Hz, mono, 16-bit
PEAK_CHIME = 10 ** (-3.0 / 20)  # -3 dBFS
# The system tone is a pure bell stroke: at the chimes' peak it was the loudest file of the
# library. At -11 dBFS peak it is no louder than the words it follows.
PEAK_TONE = 10 ** (-11.0 / 20)
# Words are levelled by loudness, not by peak: a plosive burst ("แปด") sets the peak of a word
# while saying little about how loud it sounds. Every word gets the same RMS, unless that would
# push its peak over the ceiling; then it gets only as much gain as the ceiling allows.
RMS_WORD = 10 ** (-19.0 / 20)
PEAK_WORD_MAX = 10 ** (-1.0 / 20)

# --- synthesis ------------------------------------------------------------------------

# Partials of a struck tone bar / tubular chime: (frequency ratio, amplitude, decay in s).
# The fundamental rings longest; the inharmonic upper partials give the metallic strike
# and die away quickly, which is what makes it sound like a bell rather than an organ.
BELL_PARTIALS = [
    (0.5, 0.10, 1.6),     # hum
    (1.0, 1.00, 1.25),    # fundamental
    (1.0027, 0.35, 1.1),  # slightly detuned twin: a slow beat, as real bars have
    (2.0, 0.30, 0.65),
    (2.756, 0.22, 0.40),
    (5.404, 0.10, 0.16),
    (8.933, 0.05, 0.08),
]


def bell_note(freq, length_s, partials=BELL_PARTIALS):
    n = int(length_s * RATE)
    out = [0.0] * n
    attack = int(0.003 * RATE)  # 3 ms rise: no click, still a hard strike
    for ratio, amp, tau in partials:
        f = freq * ratio
        if f >= RATE / 2:
            continue
        w = 2 * math.pi * f / RATE
        k = math.exp(-1.0 / (tau * RATE))
        env = amp
        for i in range(n):
            out[i] += env * math.sin(w * i)
            env *= k
    for i in range(min(attack, n)):
        out[i] *= i / attack
    return out


def mix_at(dest, src, start_s):
    start = int(start_s * RATE)
    need = start + len(src)
    if need > len(dest):
        dest.extend([0.0] * (need - len(dest)))
    for i, v in enumerate(src):
        dest[start + i] += v


def finish(samples, peak, fade_s=0.25):
    # a short fade at the very end so the tail stops at zero, then scale to the peak
    n = len(samples)
    f = min(int(fade_s * RATE), n)
    for i in range(f):
        samples[n - f + i] *= 1.0 - i / f
    top = max(abs(v) for v in samples) or 1.0
    return [v * peak / top for v in samples]


def write_wav(path, samples):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    # every caller scales below full scale: a sample out of range raises, it is never clipped
    pcm = array.array("h", [round(v * 32767) for v in samples])
    if sys.byteorder == "big":
        pcm.byteswap()
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def chime(first_hz, second_hz):
    # "ding" then "dong": the second note strikes while the first still rings
    second_at, second_len = 0.75, 2.4
    out = []
    # the first note rings on to the end too: cut off early it would click
    mix_at(out, bell_note(first_hz, second_at + second_len), 0.0)
    mix_at(out, [v * 0.95 for v in bell_note(second_hz, second_len)], second_at)
    return finish(out, PEAK_CHIME)


# --- tools ----------------------------------------------------------------------------

def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


# Thai number words. espeak-ng reads digits one by one, and its Thai letter-to-sound rules
# are too thin to read Thai script (most vowel signs come out as "s"), so every word is
# given to it as Thai phonemes of its own table: syllables with the tone after the vowel,
# 1 rising, 2 low, 3 mid, 4 high, 5 falling. A long vowel is marked with ":" (espeak-ng
# lengthens the vowel before it by about 0.1 s); unmarked, สี่ (sìi) is heard as สิ. The Thai
# spelling is kept beside each one.
DIGITS = [("ศูนย์", "s'u:1n"), ("หนึ่ง", "n'W2N"), ("สอง", "s'O:1N"), ("สาม", "s'a:1m"),
          ("สี่", "s'i:2"), ("ห้า", "h'a:5"), ("หก", "h'o2k"), ("เจ็ด", "tS'e2t"),
          ("แปด", "p'E:2t"), ("เก้า", "k'au5")]
TEN = ("สิบ", "s'i2p")
TWENTY = ("ยี่", "j'i:5")
ONE_AFTER_TEN = ("เอ็ด", "?'e2t")
# 0.wav is only ever said for the minute 00 (the hour 00 has 00.wav), where a Thai speaker
# says "สิบสามนาฬิกาตรง" (o'clock sharp), never "สิบสามนาฬิกาศูนย์". Its ร is the tap "*":
# espeak-ng's "r" is an English approximant.
MINUTE_ZERO = ("ตรง", "t*'o3N")


def thai_number(k):
    """(Thai spelling, phonemes) of 0..99."""
    if k < 10:
        return DIGITS[k]
    tens, units = divmod(k, 10)
    parts = [] if tens == 1 else [TWENTY if tens == 2 else DIGITS[tens]]
    parts.append(TEN)
    if units == 1:
        parts.append(ONE_AFTER_TEN)
    elif units:
        parts.append(DIGITS[units])
    return "".join(p[0] for p in parts), "".join(p[1] for p in parts)


# Silence after each word, in the file itself: the player adds no pause between files, and
# without it "ขณะนี้เวลาแปดนาฬิกาสิบห้านาที" runs together. The longest after the opening
# phrase and after นาที, which ends the sentence (in the repeat mode the announcement starts
# again right after it); a short one after a number.
PAUSE_INTRO = 0.20
PAUSE_OCLOCK = 0.15
PAUSE_MINUTES = 0.20
PAUSE_NUMBER = 0.04


# The word files of a voice folder: file name -> (Thai spelling, phonemes, trailing silence in
# s). The hour 00 is said "ศูนย์" (zero), as in the 24-hour reading "ศูนย์นาฬิกาสามสิบนาที";
# "เที่ยงคืน" (midnight) would not fit before the "นาฬิกา" (o'clock) that the announcement adds.
def clock_words():
    words = {
        "ขณะนี้เวลา": ("ขณะนี้เวลา", "k_h'a2n'a4n'i:4w'e:3l'a:3", PAUSE_INTRO),
        "00": DIGITS[0] + (PAUSE_NUMBER,),
        "นาฬิกา": ("นาฬิกา", "n'a:3l'i4k'a:3", PAUSE_OCLOCK),
        "นาที": ("นาที", "n'a:3t_h'i:3", PAUSE_MINUTES),
    }
    for k in range(60):
        words[str(k)] = (MINUTE_ZERO if k == 0 else thai_number(k)) + (PAUSE_NUMBER,)
    return words


class BadPhonemes(Exception):
    pass


def read_wav(path):
    pcm = array.array("h")
    with wave.open(path, "rb") as w:
        pcm.frombytes(w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        pcm.byteswap()
    return [v / 32767 for v in pcm]


def speak(phonemes, path, tmp, pause_s=0.0):
    raw = os.path.join(tmp, "raw.wav")
    trimmed = os.path.join(tmp, "trimmed.wav")
    # a little slower than espeak-ng's default, and -a 100: at 120 the bursts of แปด reach full
    # scale inside espeak-ng. -x prints the phonemes it read: it drops an unknown symbol and
    # the rest of the word with it, without an error, so a typo would make a wrong word.
    read = subprocess.run(["espeak-ng", "-v", "th", "-s", "140", "-a", "100", "-x", "-w", raw,
                           "[[" + phonemes + "]]"], check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE).stdout.decode()
    if read.split() != phonemes.split():
        raise BadPhonemes(f"espeak-ng read the phonemes {phonemes!r} as {read.strip()!r}")
    # trim leading and trailing silence (below 0.5 % for 10 ms), 5 ms fades so the cut
    # edges do not click
    run("sox", "-R", "-D", raw, "-r", str(RATE), "-c", "1", "-b", "16", trimmed,
        "silence", "1", "0.01", "0.5%", "fade", "t", "0.005", "reverse",
        "silence", "1", "0.01", "0.5%", "fade", "t", "0.005", "reverse")
    x = read_wav(trimmed)
    rms = math.sqrt(sum(v * v for v in x) / len(x))
    gain = min(RMS_WORD / rms, PEAK_WORD_MAX / max(abs(v) for v in x))
    write_wav(path, [v * gain for v in x] + [0.0] * int(round(pause_s * RATE)))


def melody(path_wav, tmp):
    # a short rising-and-settling phrase of plucked notes: C5 E5 G5 C6 G5 C6
    notes = [(523.25, 0.22), (659.25, 0.22), (783.99, 0.22), (1046.5, 0.36),
             (783.99, 0.22), (1046.5, 0.9)]
    parts = []
    for i, (hz, dur) in enumerate(notes):
        p = os.path.join(tmp, f"n{i}.wav")
        run("sox", "-R", "-D", "-n", "-r", str(RATE), "-c", "1", "-b", "16", p,
            "synth", str(dur), "pluck", str(hz), "fade", "t", "0.005", str(dur), "0.03")
        parts.append(p)
    run("sox", "-R", "-D", *parts, path_wav, "norm", "-3")


# --- the emergency signals -------------------------------------------------------------

# The same patterns as the program's built-in tones (src/outputs/alarmtones.h), made the same
# way sample for sample: when a school's file is missing the program sounds exactly what the
# default library would have played. tests/alarm/test_alarmlibrary.cpp holds the two together.
#
# A pattern is a list of (frequency in Hz, length in ms); 0 Hz is silence. Each tone is a square
# wave built from its odd harmonics up to ALARM_HARMONICS_HZ: the buzz of an alarm sounder, not
# the sine of a test tone, and nothing above what the PA's horns carry or that would fold back.
ALARM_HARMONICS_HZ = 10000
ALARM_RAMP_MS = 5  # raised-cosine edges: a pulse starts hard but does not click
# As loud as the chimes at the peak; a square wave has far less crest than a struck bar, so it
# is well above them in loudness, which is what an alarm must be.
PEAK_ALARM = 10 ** (-3.0 / 20)

# ISO 8201 temporal-three, the evacuation signal: three 0.5 s pulses 0.5 s apart, then 1.5 s
# off; 4 s a cycle. 3.1 kHz, the pitch of the smoke alarms everyone knows. One file holds two
# cycles (8 s): the pattern is recognised before the words follow.
EVACUATION_HZ = 3100
TEMPORAL_PULSE_MS, TEMPORAL_GAP_MS, TEMPORAL_PULSES, TEMPORAL_PAUSE_MS = 500, 500, 3, 1500
TEMPORAL_CYCLES = 2

# Earthquake: fast pips, 0.1 s on, 0.1 s off, twenty of them (4 s), then 1 s before the words.
RAPID_HZ = 1400
RAPID_PULSE_MS, RAPID_GAP_MS, RAPID_PULSES, RAPID_TAIL_MS = 100, 100, 20, 1000

# Lockdown: a hi-lo of a fifth (960 / 640 Hz), 0.5 s each, six pairs (6 s), then 1 s. No gaps
# and no 3 kHz: nothing in it sounds like the evacuation signal, which would send people out.
TWO_TONE_HIGH_HZ, TWO_TONE_LOW_HZ, TWO_TONE_STEP_MS = 960, 640, 500
TWO_TONE_PAIRS, TWO_TONE_TAIL_MS = 6, 1000


def temporal_three():
    cycle = []
    for k in range(TEMPORAL_PULSES):
        off = TEMPORAL_PAUSE_MS if k == TEMPORAL_PULSES - 1 else TEMPORAL_GAP_MS
        cycle += [(EVACUATION_HZ, TEMPORAL_PULSE_MS), (0, off)]
    return cycle * TEMPORAL_CYCLES


def rapid():
    return [(RAPID_HZ, RAPID_PULSE_MS), (0, RAPID_GAP_MS)] * RAPID_PULSES + [(0, RAPID_TAIL_MS)]


def two_tone():
    return ([(TWO_TONE_HIGH_HZ, TWO_TONE_STEP_MS), (TWO_TONE_LOW_HZ, TWO_TONE_STEP_MS)] *
            TWO_TONE_PAIRS + [(0, TWO_TONE_TAIL_MS)])


def alarm_tone(pattern):
    # Written out as the program's alarmtones.cpp does it, operation for operation, so that
    # both give the same samples (the peak found and scaled to, rounding half to even).
    out = []
    ramp = RATE * ALARM_RAMP_MS // 1000
    for hz, ms in pattern:
        n = ms * RATE // 1000
        if hz == 0:
            out += [0.0] * n
            continue
        harmonics = list(range(1, ALARM_HARMONICS_HZ // hz + 1, 2))
        for i in range(n):
            v = 0.0
            for k in harmonics:
                v += math.sin(2.0 * math.pi * k * hz * i / RATE) / k
            edge = min(i, n - 1 - i)
            if edge < ramp:
                v *= 0.5 - 0.5 * math.cos(math.pi * edge / ramp)
            out.append(v)
    top = max(abs(v) for v in out)
    return [v * (PEAK_ALARM / top) for v in out]


# The spoken parts, as phonemes like the clock's words, the Thai spelling beside each. Each file
# ends in a second of silence, so the signal that repeats after it does not start on the last
# syllable.
PAUSE_ALARM = 1.0
# A message is a list of phrases, spoken with a short pause ("_") between them.
EMERGENCY = "p*'a2k'a:2th'e:2ttS_h'u2ktS_h'@:1n"  # ประกาศเหตุฉุกเฉิน
PLEASE = "p*'o:2t"  # โปรด
EVACUATE = "?'o2pp_h'a4j'o4p"  # อพยพ
OUT_OF_THE_BUILDING = "?'O:2ktS'a:2k?'a:3k_h'a:3n"  # ออกจากอาคาร
ALARM_WORDS = {
    # ประกาศเหตุฉุกเฉิน / โปรดอพยพออกจากอาคารทันที
    "evacuate": [EMERGENCY, PLEASE + EVACUATE + OUT_OF_THE_BUILDING + "t_h'a3nt_h'i:3"],
    # เกิดแผ่นดินไหว / โปรดหมอบ / ป้องกันศีรษะ / และจับยึดให้มั่น
    "earthquake": ["k'@:2tp_h'E2nd'i3nw'ai1", PLEASE + "m'O:2p", "p'O:5Nk'a3ns'i:1s'a2",
                   "l'E4tS'a2pj'W4th'ai5m'a5n"],
    # ประกาศเหตุฉุกเฉิน / โปรดอยู่ในห้อง / ปิดประตู / และอยู่ในความสงบ
    "lockdown": [EMERGENCY, PLEASE + "j'u:2n'ai3h'O5N", "p'i2tp*'a2t'u:3",
                 "l'E4j'u:2n'ai3k_hw'a:3ms'a2N'o2p"],
    # นี่คือการซ้อมอพยพ / โปรดออกจากอาคารตามเส้นทางที่กำหนด
    "drill": ["n'i:5k_h'W:3k'a:3ns'O:4m" + EVACUATE,
              PLEASE + OUT_OF_THE_BUILDING + "t'a:3ms'e5nt_h'a:3Nt_h'i:5k'a3mn'o2t"],
    # สิ้นสุดเหตุฉุกเฉินแล้ว
    "allclear": ["s'i5ns'u2th'e:2ttS_h'u2ktS_h'@:1nl'E:4w"],
}
ALARM_TONES = {"evacuate": temporal_three, "earthquake": rapid, "lockdown": two_tone,
               "drill": temporal_three}


def alarms(folder, tmp):
    for kind, pattern in ALARM_TONES.items():
        write_wav(os.path.join(folder, kind + "-tone.wav"), alarm_tone(pattern()))
    for name, phonemes in ALARM_WORDS.items():
        speak(" _ ".join(phonemes), os.path.join(folder, name + "-voice.wav"), tmp, PAUSE_ALARM)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-soundlib.py OUTDIR")
    out = os.path.abspath(sys.argv[1])
    parent = os.path.dirname(out)
    os.makedirs(parent, exist_ok=True)
    build = tempfile.mkdtemp(prefix=".rivedezode-build-", dir=parent)
    tmp = tempfile.mkdtemp(prefix=".soundlib-tmp-", dir=parent)
    try:
        lib = lambda *p: os.path.join(build, *p)

        # front chime rising (G4 to B4), back chime falling (B4 to G4): a major third
        write_wav(lib("title", "ติ๊งหน่องหน้า.wav"), chime(392.0, 493.88))
        write_wav(lib("title", "ติ๊งหน่องหลัง.wav"), chime(493.88, 392.0))

        # the system tone: one short, soft high bell stroke
        write_wav(lib("sys", "0.wav"), finish(bell_note(1046.5, 0.45, BELL_PARTIALS[1:5]),
                                              PEAK_TONE, fade_s=0.1))

        voice = lib("time", "standard")
        os.makedirs(voice, exist_ok=True)
        for name, (_, phonemes, pause_s) in clock_words().items():
            speak(phonemes, os.path.join(voice, name + ".wav"), tmp, pause_s)

        os.makedirs(lib("other"), exist_ok=True)
        melody(lib("other", "ทำนองเข้าแถว.wav"), tmp)
        # -t: no LAME/Xing info frame, which GStreamer's mpg123 decoder trips over
        run("lame", "--quiet", "-t", "-b", "96", lib("other", "ทำนองเข้าแถว.wav"),
            lib("other", "ทำนองเข้าแถว.mp3"))
        # a spoken closing phrase as MP3: "break is over, please go to class"
        speak("m'o2tw'e:3l'a:3p_h'a4kl'E:4w _ k'a2r'u4n'a:3k_h'au5h'O5Nr'i3@n",
              os.path.join(tmp, "phrase.wav"), tmp)
        run("lame", "--quiet", "-t", "-b", "64", os.path.join(tmp, "phrase.wav"),
            lib("other", "หมดเวลาพัก.mp3"))

        # the emergency signals and their spoken instructions, and the all clear's words
        alarms(lib("alarm"), tmp)

        os.makedirs(lib("bg"), exist_ok=True)
        run("convert", "-size", "740x411", "gradient:#12406e-#6fb7e0",
            "(", "-size", "740x411", "radial-gradient:#ffffff80-#ffffff00", ")",
            "-compose", "over", "-composite", "-strip", "-quality", "90",
            lib("bg", "bg.jpg"))

        if os.path.isdir(out):
            shutil.rmtree(out)
        os.rename(build, out)
    except subprocess.CalledProcessError as e:
        shutil.rmtree(build, ignore_errors=True)
        sys.exit(f"make-soundlib: {' '.join(e.cmd)} failed: {e.stderr.decode(errors='replace')}")
    except BadPhonemes as e:
        shutil.rmtree(build, ignore_errors=True)
        sys.exit(f"make-soundlib: {e}")
    except BaseException:
        shutil.rmtree(build, ignore_errors=True)
        raise
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
