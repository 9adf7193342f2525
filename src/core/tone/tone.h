// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/field_grammar.h"
#include "core/tone/noise_colour.h"
#include "core/tone/output_options.h"
#include "core/tone/periodic_shape.h"
#include "core/tone/tone_request.h"

#include <optional>

// A tone as the three fields and the options describe it, read once. Everything after (the plan,
// the command, the run, its progress and the check of the written file) takes this, never the
// fields again.
struct Tone
{
    // The fields as typed: a tone that needs nothing of the program reaches the tool as they are.
    ToneRequest fields;
    SampleLayout layout;          // of the file: two channels for left | right
    qint64 samples = 0;           // the length at the file's rate (of each step)
    bool lengthInSamples = false; // the length was given as a count of samples
    // The type: a periodic shape, or a noise; neither when no type is chosen.
    std::optional<ShapeKind> shape;
    std::optional<NoiseColour> noiseColour;
    // The tones of each step, in order; one step for a field without ';'.
    QList<ToneMix> steps;
    // DTMF keys: without a pause between steps, each key is followed by a pause as long as itself.
    bool keys = false;
    // A multitone on the bins of an FFT: samples is then whole periods of its length.
    std::optional<FftBins> bins;

    bool noise() const { return noiseColour.has_value(); }
    bool stepped() const { return steps.size() > 1; }
    // A step has left | right: the file is stereo whatever the Channels option says.
    bool twoSides() const;
    // One tone that sweeps, on its own: it passes each frequency once.
    bool sweep() const;
};

// Which field a reminder is about.
enum class ToneField
{
    Length,
    Frequencies,
};

// Why no tone can be made of the fields, and the word it is about, as typed.
struct ToneRefusal
{
    QString reminder;
    std::optional<ToneField> field;
    std::optional<FieldWord> word;

    // The reminder with the line that quotes the word, as the window shows it and the command line
    // prints it.
    QString quoted() const { return QuotingWordNotUnderstood(reminder, word); }
};

// The fields read: the tone as far as they could be read, and the first reason, in the order of
// the fields (the length, then the frequencies, then the type), why it cannot be made. A length
// must give at least one sample at the rate, and no more than fit in MaxSoundDataBytes in the
// file's layout: that reminder names the longest length that fits.
struct ToneReading
{
    Tone tone;
    std::optional<ToneRefusal> refusal;
};

ToneReading ReadTone(const ToneRequest &request, const OutputOptions &options);

inline const QString ForgotLengthReminder = QStringLiteral("You forgot to input length of audio.");
inline const QString ForgotFrequenciesReminder = QStringLiteral("You forgot to input frequencies.");

// Whether a noise may leave the frequencies empty: the tool makes it from the type alone, and the
// command line takes it so; the window's Save has always asked for both fields.
enum class EmptyFrequencies
{
    Forgotten,
    ForgottenUnlessNoise,
};

// The reminder for a field left empty, the length first, which a command gives before it reads the
// fields at all; nothing when neither is.
std::optional<QString> EmptyFieldReminder(const ToneRequest &request, EmptyFrequencies rule);
