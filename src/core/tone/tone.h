// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/field_grammar.h"
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
    SampleLayout layout;            // of the file: two channels for left | right
    qint64 samples = 0;             // the length at the file's rate (of each step)
    bool lengthInSamples = false;   // the length was given as a count of samples
    std::optional<ShapeKind> shape; // nothing for a noise (or a type the tool alone may know)
    // The tones of each step, in order; one step for a field without ';'.
    QList<ToneMix> steps;

    bool noise() const { return fields.Waveform.endsWith(u"noise"); }
    // The field holds tones together, or a level, and never reaches the tool as typed.
    bool mixed() const { return IsToneMix(fields.Frequencies); }
    bool stepped() const { return IsStepSequence(fields.Frequencies); }
};

// The tone, or the reminder for the first field that does not fit (see ToneGrammarReminder).
struct ToneReading
{
    std::optional<Tone> tone;
    std::optional<QString> reminder;
};

ToneReading ReadTone(const ToneRequest &request, const OutputOptions &options);
