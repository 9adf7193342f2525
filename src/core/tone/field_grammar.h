// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/sample_layout.h"
#include "core/tone/tone_request.h"
#include "core/tone/tone_term.h"

#include <QString>
#include <optional>

// What the length and frequencies fields may hold. The fields go to the tool word by word, and
// the tool takes any word it knows as one of its effects, options or file names; so only the
// words of the tone itself are let through, and every length that passes has an end.

inline const QString LengthReminder =
    QStringLiteral("The length must be a number of seconds greater than zero, such as 2.5 or 00:01:30.");
inline const QString FrequenciesReminder =
    QStringLiteral("Frequencies can hold only numbers in hertz, notes such as A4, sweeps such as 300-3300, tones "
                   "together such as 697 & 1209, and left | right.");
inline const QString NoiseTogetherReminder = QStringLiteral(
    "A noise has no frequency to combine, so tones together (& and |) need a waveform from Sine to Exp.");
inline const QString LevelReminder =
    QStringLiteral("A level after @ is a number of decibels from 0 down to -120, relative to the loudest tone, such as "
                   "697 & 1209@-3.");
inline const QString NoiseRangeReminder =
    QStringLiteral("A noise cannot sweep: to keep it to the range, turn on Limit Noise to the Frequency Range; else "
                   "give one frequency.");
inline const QString StepsReminder =
    QStringLiteral("Steps are separated by ; and play one after another: up to 256 of them, none empty, each a "
                   "tone the field takes on its own, such as 100; 1000; 10000.");
inline const QString TooManyTonesReminder =
    QStringLiteral("Up to 16 tones can sound together (joined by & and |): leave some out, or play them one after "
                   "another as steps, separated by ;.");
inline const QString NoiseStepsReminder = QStringLiteral(
    "A noise has no frequency to step through, so steps (;) and tone bursts need a waveform from Sine to Exp.");
inline const QString KeysReminder =
    QStringLiteral("DTMF keys are dtmf and up to 256 of 0 to 9, *, # and A to D, such as dtmf 123*#; twist and a "
                   "number of decibels after them puts the high group that far above the low one, such as dtmf 123 "
                   "twist 2.");
inline const QString PulseNumbersReminder =
    QStringLiteral("A polarity pulse is the positive half of a sine at each frequency: give frequencies alone, with no "
                   "offset, phase or shape after them.");
inline const QString BinsReminder =
    QStringLiteral("A multitone is multitone, a number of tones up to 128 and a range, then optionally fft and a "
                   "length from 16384 to 262144 that is a power of two, such as multitone 31 20-20000 fft 65536.");
inline const QString MultitoneSineReminder = QStringLiteral("A multitone is made of sines: choose Sine (Default).");
inline const QString PeriodicReminder =
    QStringLiteral("A periodic noise is periodic, then optionally a range and fft and a length from 16384 to 262144 "
                   "that is a power of two, such as periodic 20-20000 fft 65536.");
inline const QString PeriodicNoiseReminder =
    QStringLiteral("A periodic noise is a noise: choose White Noise, Pink Noise or Brown Noise.");
// A stored list position of -1 leaves the type list blank, and the tool cannot make a tone of no type.
inline const QString TypeReminder = QStringLiteral("You forgot to choose the type of audio.");

// A length as the tool reads it: a time ("2", "2.5", ".5", "[[hh:]mm:]ss[.frac]") or a count of
// samples ("48000s"). How many samples a time gives depends on the sample rate.
struct ToneLength
{
    bool inSamples = false;
    quint64 wholeSeconds = 0; // a time: hours, minutes and whole seconds together
    double fraction = 0;      // a time: the part after the dot
    quint64 samples = 0;      // a count of samples

    // The samples the tool makes at this rate, rounded as it rounds them; -1 when there are more
    // than MaxLengthSamples.
    qint64 samplesAt(int sampleRate) const;
    // Their duration at this rate.
    double secondsAt(int sampleRate) const;
};

// The length word (decimal commas already turned into dots), or nothing when the text is not
// exactly one word of the forms above, or is zero.
std::optional<ToneLength> ParseLength(const QString &length);

// The frequencies with the units people type taken away: a number followed by "Hz" or "kHz", with
// or without a blank ("440 Hz", "440Hz", "1.5 kHz"), becomes the number alone ("1.5k" for kilohertz),
// as the tool reads it. A text without such a unit comes back unchanged. typedAt, when given, is
// set to where each character of the result (and its end) stood in the text; empty when unchanged.
QString WithoutFrequencyUnits(const QString &frequencies, QList<qsizetype> *typedAt = nullptr);

// Tones that sound together. "&" joins tones in one channel, "|" puts what the left channel plays
// before what the right one plays, and a tone may end in "@" and its level in dB relative to the
// loudest tone (at most 0): "60 & 7000@-12", "440 | 444", "697 & 1209 | 440". One tone is one or more
// words, each a frequency ("440", "1k", "%-12", a note such as "A4" or "C#5"), a sweep of two
// frequencies joined by '-', ':', '+' or '/', or a plain number such as the offset, phase and shape
// parameters after a frequency.
struct MixTone
{
    QString frequencies;   // what the field takes for one tone: a frequency or sweep, and its numbers
    double relativeDb = 0; // relative to the loudest tone of the field
    // The tone read; nothing for a step of several channels' tones, which the tool reads as typed.
    std::optional<ToneTerm> term;
};

struct ToneMix
{
    QList<MixTone> left;  // the one channel's tones, or the left channel's
    QList<MixTone> right; // the right channel's, when the field holds "|"
    // One tone without "&", "|" or "@", which the tool may read as it was typed.
    bool asTyped = false;

    bool twoSides() const { return !right.isEmpty(); }
    // The loudest tone of a side, relative to the loudest of the field (0 for the louder side).
    double sideDb(const QList<MixTone> &side) const;
    // The loudest tone of the step, relative to the loudest of the field.
    double loudestDb() const;
};

inline constexpr int MaxToneTerms = 16;
static_assert(MaxToneTerms == 16, "TooManyTonesReminder names the number");
// Quieter than this relative to the loudest tone is no tone at all in any sample format.
inline constexpr double QuietestRelativeDb = -120;

// Steps that play one after another, separated by ";": each is what the field takes for a whole
// tone (one tone, or tones together), and a tone's "@" level is relative to the loudest tone of the
// whole field.
inline constexpr int MaxSteps = 256;

// Tones on the bins of an FFT, "multitone 31 20-20000 fft 65536": so many tones spaced evenly in
// log frequency over the range, each moved to the nearest bin of an FFT of that length at the
// file's rate. Their sum repeats after the FFT's length exactly, so an analyser of that length
// sees each tone on its bin without a window. A noise on every bin of the range instead, "periodic
// 20-20000 fft 65536": one period of that length, repeated.
inline constexpr int ShortestFft = 1 << 14;
inline constexpr int LongestFft = 1 << 18;
inline constexpr int DefaultFftLength = 1 << 16;
inline constexpr int MaxMultitoneTones = 128;
static_assert(ShortestFft == 16384 && LongestFft == 262144 && MaxMultitoneTones == 128,
              "BinsReminder names the numbers");

// What a periodic noise spans when no range is typed: what is heard.
inline constexpr double PeriodicLowest = 20;
inline constexpr double PeriodicHighest = 20000;

struct FftBins
{
    int tones = 1; // as asked for: tones that land on one bin are one
    double low = 0;
    double high = 0;
    int length = DefaultFftLength;
    bool noise = false; // a periodic noise: every bin of the range, not so many tones
};

// A word of a field as typed: where it starts in the field's text, and the word.
struct FieldWord
{
    qsizetype start = 0;
    QString text;
};

// The length field read once.
struct LengthReading
{
    std::optional<ToneLength> length;
    // The first word that is not one the field takes; nothing when every word is understood and
    // only their number or values do not fit.
    std::optional<FieldWord> notUnderstood;
};
LengthReading ReadLength(const QString &length);

// The frequencies field read once (decimal commas already dots, units taken away).
struct FrequencyReading
{
    QList<ToneMix> steps;                   // the steps, up to the first that does not fit
    std::optional<QString> reminder;        // why the field does not fit: steps, tones, a level or a word
    std::optional<FieldWord> notUnderstood; // as LengthReading's
    double highest = 0;                     // the highest frequency of its tones, when it fits
    bool empty = false;                     // it holds no word at all
    bool stepped = false;                   // it holds ";"
    bool together = false;                  // it holds "&" or "|"
    bool keys = false;                      // it holds DTMF keys: each a step of its row's and column's tones
    std::optional<FftBins> bins;            // it holds a multitone or a periodic noise on FFT bins

    bool twoSides() const; // a step has left | right
};
FrequencyReading ReadFrequencies(const QString &frequencies);

// The request with every tone's frequency that is a nominal third-octave centre of ISO 266 (20,
// 25, 31.5, ... 20000, from 10 Hz) replaced by the exact base-10 one, 1000 * 10^(n / 10) Hz: a
// plain number alone, not a sweep's ends nor the numbers after a frequency. Where the words stood
// as typed is kept, for the reminders.
ToneRequest WithExactThirdOctaves(const ToneRequest &request);

// The reminder for a length with more samples than the layout lets a file hold.
QString TooLongReminder(const SampleLayout &layout);

// The reminder for a frequency above half the sample rate, which the tool would fold back to a
// lower tone: it names the highest frequency the rate holds and the setting where a higher rate is.
QString HighestFrequencyReminder(int sampleRate);

// The reminder and, when there is one, the line that quotes that word ("Not understood: noise"),
// as the window shows it and the command line prints it.
QString QuotingWordNotUnderstood(const QString &reminder, const std::optional<FieldWord> &word);
