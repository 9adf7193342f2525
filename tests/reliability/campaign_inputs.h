// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>

// The bad-input campaign: input triples as a careless, curious or hostile person might type
// them, made from a fixed seed so that every failure can be run again.
namespace Campaign {

inline constexpr quint32 DefaultSeed = 20210831;
inline constexpr int DefaultCount = 1000;

struct Triple
{
    QString length;
    int waveform = 0; // list index, -1 for no item
    QString frequencies;
    QString fileName;         // what the person types in the save dialog, inside the outputs folder
    bool plantOld = false;    // an older file of that name is already there
    bool plantFolder = false; // a folder of that name is already there
};

// The triples for a seed. Every length either starts with a short duration the tool reads
// (a few seconds at most), or is one the program refuses, or one the tool rejects, so no run
// writes a large file. No text names an effect of the tool: such a text is the person's own
// command to the tool (typed fields split into arguments at blanks), not bad input.
QList<Triple> Generate(quint32 seed, int count);

// True when one of the blank-separated words of the text is an effect of the tool or the
// separator of an effects chain.
bool NamesToolEffect(const QString &text);

// The text with control characters and non-ASCII escaped, cut to a readable length.
QString Printable(const QString &text);

} // namespace Campaign
