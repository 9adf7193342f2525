// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/sox/alias_free_words.h"

#include "core/sox/tool_words.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The tone as the design needs it: the words typed and the file's length and rate.
struct BandTone
{
    const PeriodicSource &source;
    const AliasFreeDesign &design;
    QString length; // as typed
    qint64 samples = 0;
    int sampleRate = 0;
};

// Half a millisecond's fade in and out before the rate effect: a tone that starts or stops at once
// is a step, which its filter would ring on, above the tone's own peak.
QStringList EdgeFades()
{
    return {u"fade"_s, u"h"_s, u"0.0005"_s, u"-0"_s, u"0.0005"_s};
}

// Down to the file's rate, with the rate effect's very high quality filter.
QStringList ToFileRate(int sampleRate)
{
    return {u"rate"_s, u"-v"_s, QString::number(sampleRate)};
}

// The words of the synth effect that makes f / highest over the tone, the frequency the tool's
// sweep has at each moment as a share of its highest: a line, a parabola or an exponential, in
// the range 0 to 1 by the offset (half the tool's range plus half the lowest share).
QStringList SweepShare(const ToneTerm &term, int sampleRate, qint64 samples)
{
    const bool rising = term.to > term.from;
    const double lowest = term.lowest() / term.highest();
    // One period as long as the tone.
    const double once = double(sampleRate) / double(samples);
    if (term.sweep == SweepKind::Exponential || term.sweep == SweepKind::Stepped)
        return {u"exp"_s, DesignNumber(once),         u"50"_s,
                u"0"_s,   rising ? u"100"_s : u"0"_s, PercentWord(std::log10(1 / lowest) / 10)};
    // A rising sawtooth or a falling triangle; their phase moves with the square of the time when
    // their frequency rises linearly from 0 to twice that of one period as long as the tone.
    const QString frequency = term.sweep == SweepKind::Linear ? DesignNumber(once) : u"0:"_s + DesignNumber(2 * once);
    QStringList words{rising ? u"sawtooth"_s : u"triangle"_s, frequency, PercentWord((1 + lowest) / 2), u"0"_s};
    if (!rising)
        words << u"0"_s;
    return words;
}

AliasFreeWords AdditiveWords(const BandTone &tone)
{
    // No headroom of the synth's own: the remix gains add up to more than 1, and it would make
    // room for that.
    AliasFreeWords words{QStringList{u"-n"_s} + FieldWords(tone.length), {}};
    QStringList mix;
    for (const AliasFreeSine &sine : tone.design.sines) {
        // The tool's sine takes the phase in %.
        words.synth << u"sine"_s << DesignNumber(sine.harmonic * tone.source.term->from) << u"0"_s
                    << PhasePercentWord(sine.phase);
        mix << u"%1v%2"_s.arg(mix.size() + 1).arg(PlainNumber(sine.gain));
    }
    words.effects = {u"remix"_s, u"-m"_s, mix.join(u',')};
    if (tone.design.shift != 0)
        words.effects << u"dcshift"_s << DesignNumber(tone.design.shift);
    return words;
}

// The slope that the integrated way makes at the high rate, as the synth effect's words and the
// effects that finish it.
void SlopeWords(AliasFreeWords &words, const IntegratedSlope &slope, const ToneTerm &term, const QString &length)
{
    const QString frequency = term.word.isEmpty() ? u"440"_s : term.word;
    const QString phase = PhasePercentWord(term.parameters.phase);
    switch (slope.source) {
    case SlopeSource::Triangle:
        words.synth << u"triangle"_s << frequency << PercentWord(slope.offset) << phase << PercentWord(slope.peakAt);
        break;
    case SlopeSource::SawtoothSquared:
        words.synth << u"sawtooth"_s << frequency << u"0"_s << phase;
        words.effects << u"synth"_s << u"-n"_s << length << u"sawtooth"_s << u"fmod"_s << frequency << u"0"_s << phase;
        break;
    case SlopeSource::ExpSum:
        words.synth << u"square"_s << frequency << PercentWord(slope.offset) << phase << PercentWord(slope.peakAt);
        words.effects << u"synth"_s << u"-n"_s << length << u"exp"_s << u"fmod"_s << frequency << u"-50"_s << phase
                      << PercentWord(slope.peakAt) << PercentWord(slope.depth) << u"synth"_s << u"-n"_s << length
                      << u"triangle"_s << u"mix"_s << frequency << PercentWord(slope.rampOffset) << phase << u"0"_s;
        break;
    }
}

AliasFreeWords IntegratedWords(const BandTone &tone, const QString &length)
{
    const ToneTerm &term = *tone.source.term;
    const IntegratedSlope &slope = tone.design.slope;
    AliasFreeWords words{{u"-n"_s, length}, {}};
    SlopeWords(words, slope, term, length);
    if (slope.startShift)
        words.effects << u"dcshift"_s << DesignNumber(*slope.startShift);
    words.effects << u"biquad"_s << DesignNumber(slope.gain) << DesignNumber(-slope.gain) << u"0"_s << u"1"_s << u"0"_s
                  << u"0"_s;
    words.effects << EdgeFades() << ToFileRate(tone.sampleRate);
    if (slope.divided) {
        // The divide effect divides the second channel by the first; the second passes the
        // synth effect unchanged (a square at its top all the time, multiplying).
        words.effects << u"remix"_s << u"1"_s << u"1"_s << u"synth"_s << u"-n"_s << SampleCountWord(tone.samples)
                      << SweepShare(term, tone.sampleRate, tone.samples) << u"square"_s << u"amod"_s << u"0"_s << u"0"_s
                      << u"0"_s << u"100"_s << u"divide"_s << u"remix"_s << u"2"_s;
    }
    // The first difference took the mean away.
    if (tone.design.shift != 0)
        words.effects << u"dcshift"_s << DesignNumber(tone.design.shift);
    return words;
}

} // namespace

AliasFreeWords WriteAliasFreeWords(const PeriodicSource &source, const QString &length, qint64 samples, int sampleRate)
{
    const AliasFreeDesign &design = *source.design;
    const BandTone tone{source, design, length, samples, sampleRate};
    if (design.method == AliasFreeMethod::Additive)
        return AdditiveWords(tone);
    const QString highRateLength = SampleCountWord(samples * design.factor);
    if (design.method == AliasFreeMethod::Integrated)
        return IntegratedWords(tone, highRateLength);
    // The tool's own shape at the high rate, at the design's size.
    AliasFreeWords words{QStringList{u"-n"_s, highRateLength, ShapeWord(source.shape)} + FieldWords(source.words),
                         {u"vol"_s, DesignNumber(design.amplitude)}};
    words.effects << EdgeFades() << ToFileRate(sampleRate);
    return words;
}
