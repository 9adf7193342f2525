// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone.h"

#include "core/tone/tone_term.h"

ToneReading ReadTone(const ToneRequest &request, const OutputOptions &options)
{
    Tone tone;
    tone.fields = request;
    tone.shape = ShapeOfWaveform(request.Waveform);
    for (const QString &step : SplitSteps(request.Frequencies).value_or(QStringList())) {
        std::optional<ToneMix> mix = ParseStep(step);
        if (!mix)
            break;
        tone.steps.append(*mix);
    }
    // Left | right is stereo whatever the Channels option says.
    const bool twoSides =
        std::any_of(tone.steps.cbegin(), tone.steps.cend(), [](const ToneMix &mix) { return mix.twoSides(); });
    tone.layout = {options.sampleRate(), options.bitsPerSample(), twoSides ? 2 : options.channelCount()};
    if (std::optional<QString> reminder = ToneGrammarReminder(request, tone.layout))
        return {std::nullopt, reminder};
    // A noise without a frequency: the tool makes it from the type alone.
    if (tone.steps.isEmpty())
        tone.steps.append(ToneMix{{MixTone{}}, {}, true});
    const std::optional<ToneLength> length = ParseLength(request.Length);
    tone.samples = length->samplesAt(tone.layout.sampleRate);
    tone.lengthInSamples = length->inSamples;
    return {tone, std::nullopt};
}
