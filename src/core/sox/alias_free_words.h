// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/plan/plan_stages.h"

#include <QStringList>

// The tool's words for a band-limited tone, written from its design (see plan/alias_free.h).
struct AliasFreeWords
{
    QStringList synth;   // the synth effect's words after "synth"
    QStringList effects; // the effects after it, ending at the file's rate in one channel
};

// The words of the source's design, for a tone of length (as typed) or samples at the file's rate.
AliasFreeWords WriteAliasFreeWords(const PeriodicSource &source, const QString &length, qint64 samples, int sampleRate);
