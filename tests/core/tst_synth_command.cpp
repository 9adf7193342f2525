// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/job/tone_job.h"
#include "core/run/temp_folder.h"
#include "core/run/tone_progress.h"
#include "core/sox/plan_words.h"
#include "core/sox/synth_command.h"
#include "test_sandbox.h"
#include "tool_run.h"

#include <QProcess>
#include <QRegularExpression>
#include <array>
#include <cmath>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

using ToolRun::Options;

const std::array<QString, 6> ShapeNames{u"sine"_s, u"square"_s, u"sawtooth"_s, u"triangle"_s, u"trapezium"_s, u"exp"_s};
const std::array<QString, 3> NoiseNames{u"white noise"_s, u"pink noise"_s, u"brown noise"_s};
const std::array<QString, 3> MethodNames{u"additive"_s, u"oversampled"_s, u"integrated"_s};

QString Source(const ToneSource &source)
{
    if (const auto *periodic = std::get_if<PeriodicSource>(&source)) {
        QString text = u"%1 '%2'"_s.arg(ShapeNames[size_t(periodic->shape)], periodic->words.trimmed());
        if (const std::optional<AliasFreeDesign> &design = periodic->design) {
            text += u' ' + MethodNames[size_t(design->method)];
            text += design->method == AliasFreeMethod::Additive ? u", %1 sines"_s.arg(design->sines.size())
                                                                : u" ×%1"_s.arg(design->factor);
        }
        return periodic->apart ? text + u" apart"_s : text;
    }
    if (const auto *noise = std::get_if<NoiseSource>(&source)) {
        const QString text = u"%1 '%2'"_s.arg(NoiseNames[size_t(noise->colour)], noise->words);
        return noise->band ? text + u" band %1-%2"_s.arg(noise->term->lowest()).arg(noise->term->highest()) : text;
    }
    if (const auto *sweep = std::get_if<MeasurementSweep>(&source))
        return u"sweep %1-%2 for %3-%4 in %5 samples, faded %6, %7"_s.arg(sweep->startFrequency, 0, 'f', 4)
            .arg(sweep->endFrequency, 0, 'f', 4)
            .arg(sweep->from)
            .arg(sweep->to)
            .arg(sweep->sweepSamples)
            .arg(sweep->fadeInSamples)
            .arg(sweep->fadeOutSamples);
    return u"burst %1"_s.arg(std::get<BurstSource>(source).frequency);
}

QString Level(const LevelStage &level)
{
    QStringList gains;
    for (const double db : level.channelGainsDb)
        gains << QString::number(db);
    if (level.measured)
        return level.sidePeakTargets.isEmpty() ? u"measured"_s : u"measured by side"_s;
    if (level.normalisedPeakDb)
        return u"normalised %1"_s.arg(*level.normalisedPeakDb);
    if (level.gainDb)
        return u"gain %1"_s.arg(QString::number(*level.gainDb, 'f', 4).remove(QRegularExpression(u"\\.?0+$"_s)));
    return gains.isEmpty() ? QString() : u"gains "_s + gains.join(u", "_s);
}

// The plan's stages in a few words of their meaning, in the order the sound goes through them.
QString Stages(const TonePlan &plan)
{
    QStringList stages;
    QStringList sources;
    for (const ToneSource &source : plan.sources)
        sources << Source(source);
    QStringList steps;
    for (const TonePlan &step : plan.steps)
        steps << u'[' + Stages(step) + u']';
    stages << (steps.isEmpty() ? sources.join(u", "_s) : u"steps "_s + steps.join(u' '));
    QStringList channels;
    for (const ChannelMix &channel : plan.mix) {
        QStringList gains;
        for (const ChannelGain &gain : channel)
            gains << u"%1×%2"_s.arg(gain.source + 1).arg(QString::number(gain.gain, 'g', 6));
        channels << u'[' + gains.join(u',') + u']';
    }
    if (!channels.isEmpty())
        stages << u"mix "_s + channels.join(u' ');
    if (const std::optional<BurstStage> &burst = plan.burst) {
        QStringList lengths;
        for (const qint64 length : burst->lengths)
            lengths << QString::number(length);
        stages << u"%1, %2 cycles: %3 of %4 samples"_s.arg(burst->hann ? u"Hann window"_s : u"gated"_s)
                      .arg(burst->cycles)
                      .arg(lengths.join(u", "_s))
                      .arg(burst->slot);
    }
    if (const QString level = Level(plan.level); !level.isEmpty())
        stages << level;
    if (plan.softEdges)
        stages << u"soft edges"_s;
    if (plan.ditherBits)
        stages << u"dither %1"_s.arg(*plan.ditherBits);
    const std::array<QString, 7> maps{QString(), u"left"_s, u"right"_s, u"both"_s, u"quad"_s, u"5.1"_s, u"7.1"_s};
    if (plan.soundingChannel)
        stages << u"only channel %1"_s.arg(*plan.soundingChannel + 1);
    else if (plan.channels != ChannelMap::Mono)
        stages << maps[size_t(plan.channels)];
    if (plan.silenceAfter > 0)
        stages << u"then %1 silence"_s.arg(plan.silenceAfter);
    stages << u"%1 Hz %2-bit%3 %4 ch, %5 frames"_s.arg(plan.layout.sampleRate)
                  .arg(plan.layout.bitsPerSample)
                  .arg(plan.layout.floatSamples ? u" float"_s : QString())
                  .arg(plan.layout.channels)
                  .arg(plan.frames);
    if (plan.repeatable)
        stages << u"repeatable"_s;
    if (plan.toolDitherOff)
        stages << u"no dither of its own"_s;
    return stages.join(u" | "_s);
}

// The working folder's name in a base that does not exist: nothing is made there.
QString WorkIn(const QString &base)
{
    return base + u"/quorvane-"_s + QString::number(::geteuid());
}

} // namespace

class SynthCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("TEMP", "/work temp");
        qunsetenv("TMPDIR");
    }

    // The plan's stages: what each source is, how they are mixed and brought to their level, the
    // fades, the channels and the file, for the fields and options of each row.
    void planStages_data()
    {
        QTest::addColumn<QStringList>("inputs"); // length, waveform label, frequencies
        QTest::addColumn<QString>("options");    // stored output options; empty: all defaults
        QTest::addColumn<QString>("stages");     // '*' stands for any text

        const auto gain = [](double linear) { return QString::number(linear, 'g', 6); };
        // A tone at 0 dBFS peaks HeadroomDb below full scale.
        const double headroom = std::pow(10, -HeadroomDb / 20);
        QTest::newRow("the tone as typed") << QStringList{u"3"_s, u"Sine (Default)"_s, u"300-3300"_s} << u""_s
                                           << u"sine '300-3300' | 48000 Hz 32-bit 1 ch, 144000 frames"_s;
        QTest::newRow("level, soft edges, left only, 16 bits at 44.1 kHz")
            << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s}
            << u"Channels=Left SoftEdges=1 Level=-6 SampleFormat=16 SampleRate=44100"_s
            << u"sine '440' | gain -6 | soft edges | left | 44100 Hz 16-bit 2 ch, 132300 frames | repeatable"_s;
        QTest::newRow("float at 192 kHz, right only")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s}
            << u"SampleRate=192000 SampleFormat=32f Channels=Right Level=-30"_s
            << u"sine '440' | gain -30 | right | 192000 Hz 32-bit float 2 ch, 192000 frames"_s;
        // A dithered format keeps a full-scale tone a thousandth of a decibel down, for the dither.
        QTest::newRow("telephone rate, 24 bits, both channels")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s} << u"SampleRate=8000 SampleFormat=24 Channels=Both"_s
            << u"sine '440' | gain -0.001 | both | 8000 Hz 24-bit 2 ch, 8000 frames | repeatable"_s;
        // Dithered in each turn before the silent channels are added; the file's own conversion
        // adds none.
        QTest::newRow("quad in turn, 16 bits")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s} << u"Channels=Quad ChannelsInTurn=1 SampleFormat=16"_s
            << u"steps [sine '440' | gain -0.001 | dither 16 | only channel 1 | 48000 Hz 32-bit 4 ch, 48000 frames | "
               "repeatable] [* | only channel 2 | *] [* | only channel 3 | *] [* | only channel 4 | *] | 48000 Hz "
               "16-bit 4 ch, 192000 frames | no dither of its own"_s;
        QTest::newRow("in turn changes nothing for one channel")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s} << u"Channels=Left ChannelsInTurn=1"_s
            << u"sine '440' | left | 48000 Hz 32-bit 2 ch, 48000 frames"_s;
        QTest::newRow("a noise measured once for every turn")
            << QStringList{u"1"_s, u"Pink Noise"_s, u"500-2000"_s} << u"Channels=Both ChannelsInTurn=1 NoiseBand=1"_s
            << u"steps [pink noise '500-2000' band 500-2000 | measured | only channel 1 | *] [* | only channel 2 | *] "
               u"| "
               "measured | 48000 Hz 32-bit 2 ch, 96000 frames | repeatable"_s;
        QTest::newRow("an RMS level of a sine is its peak level")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s} << u"LevelUnit=RMS Level=-20"_s
            << u"sine '440' | gain -20 | 48000 Hz 32-bit 1 ch, 48000 frames"_s;
        // AES17: a full-scale square reads +3.01 dBFS RMS.
        QTest::newRow("a square's RMS level is 3.01 dB above its peak level")
            << QStringList{u"1"_s, u"Square"_s, u"440"_s} << u"LevelUnit=RMS Level=-23"_s
            << u"square '440' | gain %1 | 48000 Hz 32-bit 1 ch, 48000 frames"_s.arg(-23 - Aes17OffsetDb, 0, 'f', 4);
        QTest::newRow("alias-free leaves a sine as it is")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s} << u"AliasFree=1 Level=-18"_s
            << u"sine '440' | gain -18 | 48000 Hz 32-bit 1 ch, 48000 frames"_s;
        QTest::newRow("a noise band needs a range")
            << QStringList{u"1"_s, u"Pink Noise"_s, u"440"_s} << u"AliasFree=1 NoiseBand=1"_s
            << u"pink noise '440' | 48000 Hz 32-bit 1 ch, 48000 frames"_s;
        QTest::newRow("a noise band is measured, the same noise each run")
            << QStringList{u"1"_s, u"Pink Noise"_s, u"500-2000 0 20"_s} << u"NoiseBand=1"_s
            << u"pink noise '500-2000 0 20' band 500-2000 | measured | 48000 Hz 32-bit 1 ch, 48000 frames | "
               "repeatable | no dither of its own"_s;
        QTest::newRow("a noise's RMS level is measured")
            << QStringList{u"1"_s, u"White Noise"_s, u""_s} << u"LevelUnit=RMS Level=-20 SampleFormat=16"_s
            << u"white noise '' | measured | 48000 Hz 16-bit 1 ch, "
               "48000 frames | repeatable | no dither of its own"_s;
        QTest::newRow("tones together share the level")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"697 & 1209"_s} << u""_s
            << u"sine '697', sine '1209' | mix [1×%1,2×%1] | 48000 Hz 32-bit 1 ch, 48000 frames"_s.arg(
                   gain(0.5 * headroom));
        QTest::newRow("left | right is stereo whatever the Channels option")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"440|444@-6"_s} << u"Channels=Left"_s
            << u"sine '440', sine '444' | mix [1×%1] [2×%2] | 48000 Hz 32-bit 2 ch, 48000 frames"_s.arg(
                   gain(headroom), gain(std::pow(10, -6.0 / 20)));
        QTest::newRow("alias-free: few harmonics, one sine each")
            << QStringList{u"1"_s, u"Square"_s, u"3000"_s} << u"AliasFree=1"_s
            << u"square '3000' additive, 4 sines | gain -* | 48000 Hz 32-bit 1 ch, 48000 frames"_s;
        QTest::newRow("alias-free sweep: the peak is normalised")
            << QStringList{u"1"_s, u"Sawtooth"_s, u"300-3300"_s} << u"AliasFree=1 SoftEdges=1"_s
            << u"sawtooth '300-3300' integrated ×* | normalised -0.001 | soft edges | 48000 Hz 32-bit 1 ch, "
               "48000 frames"_s;
        QTest::newRow("alias-free tones together are made apart")
            << QStringList{u"1"_s, u"Square"_s, u"3000 & 300-3300"_s} << u"AliasFree=1"_s
            << u"square '3000' additive, 4 sines apart, square '300-3300' * apart | mix [1×*,2×*] | normalised "
               "-0.001 | *"_s;
        QTest::newRow("steps: each step's pause after it, dithered before it")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"100; 1000"_s} << u"StepPause=0.5 SampleFormat=16"_s
            << u"steps [sine '100' | gain -0.001 | dither 16 | then 24000 silence | 48000 Hz 32-bit 1 ch, 48000 "
               "frames | repeatable] [sine '1000' | gain -0.001 | dither 16 | 48000 Hz 32-bit 1 ch, 48000 frames | "
               "repeatable] | 48000 Hz 16-bit 1 ch, 120000 frames | no dither of its own"_s;
        // Each step's level is its loudest tone's @ against the field's loudest.
        QTest::newRow("a staircase by RMS")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"1000; 1000@-10"_s} << u"LevelUnit=RMS Level=-20"_s
            << u"steps [sine '1000' | gain -20 | *] [sine '1000' | mix [1×%1] | *] | *"_s.arg(
                   gain(std::pow(10, -30.0 / 20)));
        // 6.5 cycles at 100 Hz and 48 kHz: 3120 samples.
        QTest::newRow("a CEA-2010 burst in its slot")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"100"_s} << u"Burst=CEA2010"_s
            << u"steps [burst 100 | Hann window, 6.5 cycles: 3120 of 48000 samples | gain -0.001 | 48000 Hz 32-bit "
               "1 ch, 48000 frames] | 48000 Hz 32-bit 1 ch, 48000 frames"_s;
        QTest::newRow("a one-channel burst in a stereo file sounds in both")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"100; 200 | 204"_s} << u"Burst=3"_s
            << u"steps [burst 100 | gated, 3 cycles: 1440 of 48000 samples | gain -0.001 | both | *] [burst 200, "
               "burst 204 | gated, 3 cycles: 720, 706 of 48000 samples | gains -0.001, -0.001 | *] | *"_s;
        // L = 29 / 20 s. It starts six widths sqrt(L / f) below 20 Hz, at 9 / L = 6.2069 Hz, and goes as
        // far above 20 kHz, to 20717.2 Hz, in 564669 samples; each fade takes the outer half of the run
        // beyond the band (48000 L ln(20 / f0) / 2 = 40718, 48000 L ln(fe / 20000) / 2 = 1226); then a
        // second of zeros, dithered before it when the format is.
        QTest::newRow("measurement sweep")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20:20000"_s} << u"MeasurementSweep=1 SampleFormat=16"_s
            << u"sweep 6.2069-20717.2376 for 20-20000 in 564669 samples, faded 40718, 1226 | gain -0.001 | dither 16 "
               "| then 48000 silence | 48000 Hz 16-bit 1 ch, 612669 frames | repeatable | no dither of its own"_s;
    }

    void planStages()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QString, options);
        QFETCH(QString, stages);
        const PlannedTone planned = PlanInputs(MakeToneRequest(inputs[0], inputs[1], inputs[2]), Options(options));
        QVERIFY(!planned.refusal());
        const QString shown = Stages(planned.plan);
        // Only '*' is a wildcard; the brackets are the mix's and the steps'.
        QString pattern;
        for (const QChar c : std::as_const(stages))
            pattern += c == u'[' ? u"[[]"_s : c == u']' ? u"[]]"_s : QString(c);
        QVERIFY2(QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(shown).hasMatch(),
                 qPrintable(shown));
    }

    // The command as the tool receives it, for the examples of the plain tone: the fields as typed
    // after "synth", the output quoted, and the options' words in their places.
    void renderedCommands_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("inputs"); // length, waveform label, frequencies
        QTest::addColumn<QString>("options");    // stored output options; empty: all defaults
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("arguments"); // empty: the words of the text, the output one of them

        QTest::newRow("white noise") << u"/tones/a.wav"_s << QStringList{u"2"_s, u"White Noise"_s, u"300"_s} << u""_s
                                     << uR"("/work temp/sox.exe" -r 48000 -n "/tones/a.wav" synth 2 whitenoise 300)"_s
                                     << QStringList();
        QTest::newRow("hh:mm:ss length")
            << u"/t/b.wav"_s << QStringList{u"00:05:30.0"_s, u"Sine (Default)"_s, u"5000"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/b.wav" synth 00:05:30.0 sine 5000)"_s << QStringList();
        QTest::newRow("output with blanks is one argument")
            << u"/My Tones/a b.wav"_s << QStringList{u"1"_s, u"Square"_s, u"440"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/My Tones/a b.wav" synth 1 square 440)"_s << QStringList();
        QTest::newRow("quote in output cannot split it")
            << uR"(/t/a" -n "/etc/x.wav)"_s << QStringList{u"1"_s, u"Exp"_s, u"440"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/a" -n "/etc/x.wav" synth 1 exp 440)"_s
            << QStringList{u"-r"_s,    u"48000"_s, u"-n"_s,  uR"(/t/a" -n "/etc/x.wav)"_s,
                           u"synth"_s, u"1"_s,     u"exp"_s, u"440"_s};
        QTest::newRow("output starting with a dash is no option")
            << u"-n.wav"_s << QStringList{u"1"_s, u"Sine (Default)"_s, u"440"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "./-n.wav" synth 1 sine 440)"_s << QStringList();
        QTest::newRow("decimal commas arrive as dots")
            << u"/t/d.wav"_s << QStringList{u"2,5"_s, u"Triangle"_s, u"440,5"_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/d.wav" synth 2.5 triangle 440.5)"_s << QStringList();
        QTest::newRow("typed blanks stay in the text, not in the arguments")
            << u"/t/e.wav"_s << QStringList{u" 1 "_s, u"Sawtooth"_s, u"440  0  25 "_s} << u""_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/e.wav" synth  1  sawtooth 440  0  25 )"_s << QStringList();
        QTest::newRow("unknown stored values and looping change nothing")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s}
            << u"Level=-4.125 Channels=left SoftEdges=yes SampleRate=48000.0 SampleFormat=32F LoopPreview=1"_s
            << uR"("/work temp/sox.exe" -r 48000 -n "/t/o.wav" synth 3 sine 440)"_s << QStringList();
        QTest::newRow("global options before -n, effects gain, fade, channels")
            << u"/t/o.wav"_s << QStringList{u"3"_s, u"Sine (Default)"_s, u"440"_s}
            << u"Channels=Left SoftEdges=1 Level=-6 SampleFormat=16 SampleRate=44100"_s
            << uR"("/work temp/sox.exe" -R -r 44100 -b 16 -n "/t/o.wav" synth 3 sine 440 gain -6 fade h 0.01 -0 0.01 remix 1 0)"_s
            << QStringList();
    }

    void temporaryFolderIsAlwaysAbsolute_data()
    {
        QTest::addColumn<QByteArray>("temp");
        QTest::addColumn<bool>("relative");
        QTest::newRow("absolute") << QByteArray("/work temp") << false;
        QTest::newRow("relative") << QByteArray("tmp/x") << true;
        QTest::newRow("an option of the tool") << QByteArray("-n") << true;
    }

    void temporaryFolderIsAlwaysAbsolute()
    {
        QFETCH(QByteArray, temp);
        QFETCH(bool, relative);
        qputenv("TEMP", temp);
        const QString expected = QString::fromUtf8(temp);
        QCOMPARE(TempFolder(), relative ? QDir::currentPath() + u'/' + expected : expected);
        const SynthCommand command = ToolRun::Command(PreviewPath(), MakeToneRequest(u"1"_s, u"Sine"_s, u"440"_s));
        QVERIFY(command.program.startsWith(u'/'));
        QVERIFY(command.arguments[command.arguments.indexOf(u"-n"_s) + 1].startsWith(u'/'));
    }

    void renderedCommands()
    {
        QFETCH(QString, output);
        QFETCH(QStringList, inputs);
        QFETCH(QString, options);
        const SynthCommand command =
            ToolRun::Command(output, MakeToneRequest(inputs[0], inputs[1], inputs[2]), Options(options));
        QFETCH(QString, text);
        QCOMPARE(command.text, text.replace(u"/work temp/"_s, WorkIn(u"/work temp"_s) + u'/'));
        QFETCH(QStringList, arguments);
        if (arguments.isEmpty()) {
            // What the text shows, split at blanks, but the quoted output stays one word.
            const qsizetype start = text.indexOf(u" -n \""_s) + 5;
            const qsizetype end = text.indexOf(u"\" synth"_s, start);
            arguments = text.mid(text.indexOf(u"\" "_s) + 2, start - 1 - text.indexOf(u"\" "_s) - 2)
                            .split(u' ', Qt::SkipEmptyParts) +
                        QStringList{text.mid(start, end - start)} + text.mid(end + 2).split(u' ', Qt::SkipEmptyParts);
        }
        QCOMPARE(command.arguments, arguments);
        QCOMPARE(command.program, WorkIn(u"/work temp"_s) + u"/sox.exe"_s);
        // What a check of the written file's length needs to know.
        QCOMPARE(command.layout.sampleRate, command.arguments[command.arguments.indexOf(u"-r"_s) + 1].toInt());
    }

    void copiedCommandIsOneAShellRunsAsIs_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("command");
        QTest::newRow("defaults") << QStringList{u"3"_s, u"Sine (Default)"_s, u"300-3300"_s} << u""_s
                                  << u"sox -r 48000 -n tone.wav synth 3 sine 300-3300"_s;
        QTest::newRow("options") << QStringList{u"2,5"_s, u"Pink Noise"_s, u""_s}
                                 << u"Level=-12 SoftEdges=1 Channels=Both SampleFormat=32f"_s
                                 << u"sox -r 48000 -e floating-point -b 32 -n tone.wav synth 2.5 pinknoise gain -12 "
                                    "fade h 0.01 -0 0.01 channels 2"_s;
        // Each tone on a channel of its own, summed with its share of the level (0 dBFS is kept a
        // thousandth of a decibel below full scale).
        const QString half = QString::number(0.5 * std::pow(10, -0.001 / 20), 'g', 12);
        const QString whole = QString::number(std::pow(10, -0.001 / 20), 'g', 12);
        QTest::newRow("tones together") << QStringList{u"3"_s, u"Sine (Default)"_s, u"697 & 1209"_s} << u""_s
                                        << u"sox -r 48000 -c 2 -n tone.wav synth -n 3 sine 697 sine 1209 remix -m "
                                           "1v%1,2v%1"_s.arg(half);
        QTest::newRow("left | right is stereo whatever the Channels option")
            << QStringList{u"3"_s, u"Sine (Default)"_s, u"440|444"_s} << u"Channels=Left"_s
            << u"sox -r 48000 -c 2 -n tone.wav synth -n 3 sine 440 sine 444 remix -m 1v%1 2v%1"_s.arg(whole);
        // L = 29 / 20 s. It starts six widths sqrt(L / f) below 20 Hz, at 9 / L = 6.2069 Hz, and
        // goes as far above 20 kHz, to 20717.2 Hz, in 564669 samples; each fade takes the outer half of
        // the run beyond the band (48000 L ln(20 / f0) / 2 = 40718, 48000 L ln(fe / 20000) / 2 = 1226);
        // then a second of zeros, dithered before it when the format is.
        QTest::newRow("measurement sweep")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20:20000"_s} << u"MeasurementSweep=1 SampleFormat=16"_s
            << u"sox -R -D -r 48000 -b 16 -n tone.wav synth 564669s sine 6.20689655172/20717.2375733 fade h 40718s "
               "564669s 1226s gain -0.001 dither -p 16 pad 0 48000s"_s;
    }

    void copiedCommandIsOneAShellRunsAsIs()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QString, options);
        const ToneRequest request = MakeToneRequest(inputs[0], inputs[1], inputs[2]);
        const QString command = CopyableSoxCommand(PlanInputs(request, Options(options)).plan);
        QTEST(command, "command");
        // A real shell hands the tool exactly the words of the run.
        QProcess shell;
        shell.start(u"/bin/sh"_s, {u"-c"_s, u"printf '%s\\n' "_s + command.mid(4)});
        QVERIFY(shell.waitForFinished());
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
                 ToolRun::Command(u"tone.wav"_s, request, Options(options)).arguments);
    }

    // Every word reaches a POSIX shell's command as it is: the runs that steps and tones made apart
    // are read from hold the shell's own characters.
    void shellQuoting_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("literal") << u"-r"_s << u"-r"_s;
        QTest::newRow("a run read through a pipe")
            << u"|sox -n -p synth 1 sine 100"_s << u"'|sox -n -p synth 1 sine 100'"_s;
        QTest::newRow("a single quote") << u"440'a"_s << u"'440'\\''a'"_s;
        QTest::newRow("the shell's own characters")
            << u"$(reboot) `c` \\ *~ \"é\";"_s << u"'$(reboot) `c` \\ *~ \"é\";'"_s;
        QTest::newRow("empty") << u""_s << u"''"_s;
    }

    void shellQuoting()
    {
        QFETCH(QString, word);
        QTEST(ShellQuoted(word), "quoted");
        QProcess shell;
        shell.start(u"/bin/sh"_s, {u"-c"_s, u"printf '%s' "_s + ShellQuoted(word)});
        QVERIFY(shell.waitForFinished());
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), word);
    }

    void optionsThatCannotMakeTheToneRemind_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("reminder"); // empty: the tone can be made; '*' stands for any text
        // A triangle's RMS is 1 / sqrt(3) of its peak: at most -1.76 dBFS RMS (AES17).
        QTest::newRow("a triangle at 0 dBFS RMS would clip")
            << QStringList{u"1"_s, u"Triangle"_s, u"441"_s} << u"LevelUnit=RMS Level=0"_s
            << u"At 0 dBFS RMS this tone would clip: the highest level that fits is -1.8 dBFS RMS, so choose -3 dBFS "
               "or lower under Level."_s;
        QTest::newRow("a sine fits at 0 dBFS RMS")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"441"_s} << u"LevelUnit=RMS Level=0"_s << u""_s;
        QTest::newRow("a square fits at 0 dBFS RMS")
            << QStringList{u"1"_s, u"Square"_s, u"441"_s} << u"LevelUnit=RMS Level=0"_s << u""_s;
        // Band-limited, it overshoots by the Gibbs 9 % of its jump: at most -3.18 dBFS RMS.
        QTest::newRow("a band-limited sawtooth at -3 dBFS RMS would clip")
            << QStringList{u"1"_s, u"Sawtooth"_s, u"1000"_s} << u"AliasFree=1 LevelUnit=RMS Level=-3"_s
            << u"At -3 dBFS RMS this tone would clip: the highest level that fits is -3.* dBFS RMS, so choose -6 "
               "dBFS or lower under Level."_s;
        QTest::newRow("alias-free: nothing below half the rate")
            << QStringList{u"1"_s, u"Square"_s, u"24k"_s} << u"AliasFree=1"_s
            << u"With Alias-Free Waveforms on, the frequency must be below half the sample rate (24000 Hz)."_s;
        QTest::newRow("alias-free: just below half the rate")
            << QStringList{u"1"_s, u"Square"_s, u"23999"_s} << u"AliasFree=1"_s << u""_s;
        QTest::newRow("alias-free: a sine even at half the rate")
            << QStringList{u"1"_s, u"Sine (Default)"_s, u"24k"_s} << u"AliasFree=1"_s << u""_s;
        const QString notASweep = u"The measurement sweep is a Sine with one rising sweep in Frequencies, such as "
                                  "20-20000: turn off Measurement Sweep with Inverse Filter for other tones."_s;
        QTest::newRow("measurement sweep of a square")
            << QStringList{u"10"_s, u"Square"_s, u"20-20000"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep of one frequency")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"1000"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep of steps")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-200; 200-2000"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep of bursts")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-200"_s} << u"MeasurementSweep=1 Burst=10"_s << notASweep;
        QTest::newRow("measurement sweep of tones together")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-200 & 30-300"_s} << u"MeasurementSweep=1"_s << notASweep;
        QTest::newRow("measurement sweep without room above its band")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20-23000"_s} << u"MeasurementSweep=1"_s
            << u"The measurement sweep runs on above its top frequency, so that the top is measured whole: at 48000 "
               "Hz, give a top well below 22800 Hz, or choose a higher rate under Sample Rate."_s;
        QTest::newRow("falling measurement sweep")
            << QStringList{u"10"_s, u"Sine (Default)"_s, u"20000/20"_s} << u"MeasurementSweep=1"_s
            << u"The measurement sweep rises: give the lower frequency first, such as 20-20000."_s;
        QTest::newRow("a noise band above half the rate")
            << QStringList{u"1"_s, u"White Noise"_s, u"30000-40000"_s} << u"NoiseBand=1"_s
            << u"The noise band must begin below half the sample rate (24000 Hz)."_s;
    }

    void optionsThatCannotMakeTheToneRemind()
    {
        QFETCH(QStringList, inputs);
        QFETCH(QString, options);
        QFETCH(QString, reminder);
        const ToneRequest request = MakeToneRequest(inputs[0], inputs[1], inputs[2]);
        // Only what the options cannot make: fields that do not fit are the grammar's to refuse.
        const PlannedTone planned = PlanInputs(request, Options(options));
        QVERIFY(!planned.reading.refusal);
        const QString told = planned.plan.reminder.value_or(QString());
        QVERIFY2(QRegularExpression::fromWildcard(reminder, Qt::CaseSensitive).match(told).hasMatch(),
                 qPrintable(told));
    }

    void progressForTheTitle_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<qint64>("written");
        QTest::addColumn<QString>("expected"); // empty: the title stays as it is

        QTest::newRow("quiet in the first second") << u"/a.wav"_s << qint64(900) << qint64(96000) << u""_s;
        QTest::newRow("share of a wave file") << u"/a.wav"_s << qint64(1100) << qint64(96000) << u"making tone 50 %"_s;
        QTest::newRow("header before data") << u"/a.WAV"_s << qint64(1100) << qint64(44) << u"making tone 0 %"_s;
        QTest::newRow("never 100 % while running")
            << u"/a.aiff"_s << qint64(5000) << qint64(300000) << u"making tone 99 %"_s;
        QTest::newRow("compressed: seconds") << u"/a.flac"_s << qint64(2500) << qint64(1000) << u"making tone 2 s"_s;
        QTest::newRow("no extension: seconds") << u"/a"_s << qint64(61000) << qint64(0) << u"making tone 61 s"_s;
        // A tone the tool holds until it knows its peak grows only at the end.
        QTest::newRow("written at the end: seconds")
            << u"/a.wav?end"_s << qint64(3000) << qint64(44) << u"making tone 3 s"_s;
    }

    void progressForTheTitle()
    {
        QFETCH(QString, output);
        QFETCH(qint64, elapsedMs);
        QFETCH(qint64, written);
        // One second of 16-bit stereo at 48 kHz.
        const bool atTheEnd = output.endsWith(u"?end"_s);
        const auto expectedBytes = ExpectedSoundBytes(output.remove(u"?end"_s), {1.0, {48000, 16, 2}, atTheEnd});
        QTEST(ToneProgressText(elapsedMs, written, expectedBytes).value_or(QString()), "expected");
    }

    void toolPathFollowsTemporaryFolder_data()
    {
        QTest::addColumn<QByteArray>("temp");
        QTest::addColumn<QByteArray>("tmpdir");
        QTest::addColumn<QString>("base");

        QTest::newRow("TEMP wins") << QByteArray("/a") << QByteArray("/b") << u"/a"_s;
        QTest::newRow("empty TEMP falls back to TMPDIR") << QByteArray("") << QByteArray("/b") << u"/b"_s;
        QTest::newRow("neither set gives /tmp") << QByteArray() << QByteArray() << u"/tmp"_s;
        QTest::newRow("trailing slash taken unchanged") << QByteArray("/a/") << QByteArray() << u"/a/"_s;
    }

    void toolPathFollowsTemporaryFolder()
    {
        QFETCH(QByteArray, temp);
        QFETCH(QByteArray, tmpdir);
        temp.isNull() ? qunsetenv("TEMP") : qputenv("TEMP", temp);
        tmpdir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmpdir);
        QFETCH(QString, base);
        QCOMPARE(TempFolder(), base);
        if (base == u"/tmp"_s)
            return; // the real one: the user's own working folder is not touched
        const SynthCommand command = ToolRun::Command(u"/o.wav"_s, MakeToneRequest(u"1"_s, u"Sine"_s, u"440"_s));
        QCOMPARE(command.program, WorkIn(base) + u"/sox.exe"_s);
        QVERIFY(command.text.startsWith(u'"' + command.program + u"\" "_s));
    }
};

QUORVANE_TEST_MAIN(SynthCommandTest)
#include "tst_synth_command.moc"
