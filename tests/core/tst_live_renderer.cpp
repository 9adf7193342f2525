// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/live/live_renderer.h"
#include "live_comparison.h"
#include "test_sandbox.h"
#include "wav_analysis.h"

#include <QProcess>
#include <algorithm>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(LiveTone)
Q_DECLARE_METATYPE(ShapeKind)

namespace {

constexpr int Rate = 48000;
constexpr double TwoPi = 2 * std::numbers::pi;
// The fades and ramps in frames at 48 kHz: the start's 5 ms, the others' 10 ms.
constexpr int StartFrames = 240;
constexpr int ChangeFrames = 480;

LiveSource Periodic(ShapeKind kind, double frequency, std::vector<double> gains = {1}, ShapeParameters parameters = {},
                    bool bandLimited = false)
{
    return {LivePeriodic{kind, parameters, frequency, bandLimited}, std::move(gains)};
}

LiveSource Noise(NoiseColour colour, std::optional<NoiseBand> band = {}, std::vector<double> gains = {1})
{
    return {LiveNoise{colour, band, 0}, std::move(gains)};
}

LiveTone Tone(std::vector<LiveSource> sources, int channels = 1, int rate = Rate)
{
    return {rate, channels, std::move(sources)};
}

std::vector<float> Render(LiveRenderer &renderer, qsizetype frames, qsizetype block = 256)
{
    std::vector<float> out(size_t(frames * renderer.channels()));
    for (qsizetype done = 0; done < frames; done += block)
        renderer.render(out.data() + done * renderer.channels(), std::min(block, frames - done));
    return out;
}

// The shapes by their textbook formulas, at a phase from 0 to 1.
double Shape(ShapeKind kind, double phase)
{
    const double u = phase - std::floor(phase);
    return kind == ShapeKind::Sine ? std::sin(TwoPi * u) : u < 0.5 ? 4 * u - 1 : 3 - 4 * u;
}

// The largest step from one sample to the next of a steady sine or triangle at this amplitude.
double OwnStep(ShapeKind kind, double frequency, double amplitude)
{
    return amplitude *
           (kind == ShapeKind::Sine ? 2 * std::sin(std::numbers::pi * frequency / Rate) : 4 * frequency / Rate);
}

double LargestStep(const std::vector<float> &samples, size_t from = 0)
{
    double largest = 0;
    for (size_t n = from + 1; n < samples.size(); ++n)
        largest = std::max(largest, double(std::abs(samples[n] - samples[n - 1])));
    return largest;
}

} // namespace

class LiveRendererTest : public QObject
{
    Q_OBJECT

private slots:
    void frequencyGoesOnFromThePhaseReached_data();
    void frequencyGoesOnFromThePhaseReached();
    void levelRampsOver10Milliseconds_data();
    void levelRampsOver10Milliseconds();
    void otherSourcesCrossfadeOver10Milliseconds_data();
    void otherSourcesCrossfadeOver10Milliseconds();
    void startFadesInAndStopFadesOut();
    void blockSizeDoesNotChangeTheSamples_data();
    void blockSizeDoesNotChangeTheSamples();
    void periodicTonesAgreeWithTheToolSampleBySample_data();
    void periodicTonesAgreeWithTheToolSampleBySample();
    void noisesAgreeWithTheToolInLevelAndSpectrum_data();
    void noisesAgreeWithTheToolInLevelAndSpectrum();

private:
    // The tool's own file of synth -n 3 <words>, at that rate, as 32-bit float; its channels.
    std::vector<std::vector<double>> toolSamples(int rate, const QString &words);
};

void LiveRendererTest::frequencyGoesOnFromThePhaseReached_data()
{
    QTest::addColumn<ShapeKind>("kind");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("sine up an octave") << ShapeKind::Sine << 1000.0 << 2000.0;
    QTest::newRow("sine down an octave") << ShapeKind::Sine << 2000.0 << 1000.0;
    QTest::newRow("sine by 1.7 Hz") << ShapeKind::Sine << 440.0 << 441.7;
    QTest::newRow("triangle") << ShapeKind::Triangle << 500.0 << 3000.0;
}

void LiveRendererTest::frequencyGoesOnFromThePhaseReached()
{
    QFETCH(ShapeKind, kind);
    QFETCH(double, from);
    QFETCH(double, to);
    const double amplitude = 0.5;
    LiveRenderer renderer(Rate, 1);
    renderer.setTone(Tone({Periodic(kind, from, {amplitude})}));
    std::vector<float> samples = Render(renderer, 4800);
    renderer.setTone(Tone({Periodic(kind, to, {amplitude})}));
    const std::vector<float> after = Render(renderer, 4800);
    samples.insert(samples.end(), after.begin(), after.end());

    // The new frequency from the phase the old one reached, and no step beyond either tone's own.
    const double reached = from * 4800 / Rate;
    for (size_t i = 0; i < after.size(); ++i)
        QVERIFY(std::abs(after[i] - amplitude * Shape(kind, reached + to * double(i) / Rate)) < 1e-6);
    const double own = std::max(OwnStep(kind, from, amplitude), OwnStep(kind, to, amplitude));
    QVERIFY2(LargestStep(samples, StartFrames) <= 1.1 * own, qPrintable(QString::number(LargestStep(samples))));
}

void LiveRendererTest::levelRampsOver10Milliseconds_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("-20 to -6 dBFS") << 0.1 << std::pow(10, -6 / 20.0);
    QTest::newRow("full scale to silence") << 1.0 << 0.0;
}

void LiveRendererTest::levelRampsOver10Milliseconds()
{
    QFETCH(double, from);
    QFETCH(double, to);
    LiveRenderer renderer(Rate, 2);
    renderer.setTone(Tone({Periodic(ShapeKind::Sine, 1000, {from, from / 2})}, 2));
    Render(renderer, 4800);
    renderer.setTone(Tone({Periodic(ShapeKind::Sine, 1000, {to, to / 2})}, 2));
    const std::vector<float> after = Render(renderer, 4800);

    // A straight line from the old gain to the new over 480 frames, in each channel; the phase
    // goes on unchanged.
    for (size_t i = 0; i < 4800; ++i) {
        const double gain = from + (to - from) * std::min(1.0, double(i + 1) / ChangeFrames);
        const double sine = std::sin(TwoPi * 1000 * double(4800 + i) / Rate);
        QVERIFY(std::abs(after[2 * i] - gain * sine) < 1e-6);
        QVERIFY(std::abs(after[2 * i + 1] - gain / 2 * sine) < 1e-6);
    }
}

void LiveRendererTest::otherSourcesCrossfadeOver10Milliseconds_data()
{
    QTest::addColumn<bool>("added"); // a tone added, else the type changed
    QTest::newRow("sine to triangle") << false;
    QTest::newRow("a second tone added") << true;
}

void LiveRendererTest::otherSourcesCrossfadeOver10Milliseconds()
{
    QFETCH(bool, added);
    LiveRenderer renderer(Rate, 1);
    renderer.setTone(Tone({Periodic(ShapeKind::Sine, 1000)}));
    Render(renderer, 4800);
    renderer.setTone(added ? Tone({Periodic(ShapeKind::Sine, 1000), Periodic(ShapeKind::Sine, 1500, {0.5})})
                           : Tone({Periodic(ShapeKind::Triangle, 1000)}));
    const std::vector<float> after = Render(renderer, 4800);

    // The old tone falls as the new one rises, along straight lines; the new one takes up the
    // phase of the one it replaces, and a tone that is new starts at 0.
    for (size_t i = 0; i < after.size(); ++i) {
        const double share = std::min(1.0, double(i + 1) / ChangeFrames);
        const double old = std::sin(TwoPi * 1000 * double(4800 + i) / Rate);
        const double next = added ? old + 0.5 * std::sin(TwoPi * 1500 * double(i) / Rate)
                                  : Shape(ShapeKind::Triangle, 1000 * double(4800 + i) / Rate);
        QVERIFY(std::abs(after[i] - ((1 - share) * old + share * next)) < 1e-6);
    }
}

void LiveRendererTest::startFadesInAndStopFadesOut()
{
    LiveRenderer renderer(Rate, 1);
    QCOMPARE(Render(renderer, 256), std::vector<float>(256, 0.0F)); // nothing to play yet
    renderer.setTone(Tone({Periodic(ShapeKind::Sine, 1000)}));
    const std::vector<float> start = Render(renderer, 1000);
    renderer.stop();
    QVERIFY(!renderer.ended());
    const std::vector<float> end = Render(renderer, 1000);
    QVERIFY(renderer.ended());

    for (size_t i = 0; i < 1000; ++i) {
        const double in = std::min(1.0, double(i) / StartFrames);
        QVERIFY(std::abs(start[i] - in * std::sin(TwoPi * 1000 * double(i) / Rate)) < 1e-6);
        const double out = std::max(0.0, 1 - double(i) / ChangeFrames);
        QVERIFY(std::abs(end[i] - out * std::sin(TwoPi * 1000 * double(1000 + i) / Rate)) < 1e-6);
    }
    // Once ended, silence, and a new tone is no longer taken.
    renderer.setTone(Tone({Periodic(ShapeKind::Sine, 440)}));
    QCOMPARE(Render(renderer, 512), std::vector<float>(512, 0.0F));
}

void LiveRendererTest::blockSizeDoesNotChangeTheSamples_data()
{
    QTest::addColumn<qsizetype>("block");
    QTest::newRow("1") << qsizetype(1);
    QTest::newRow("64") << qsizetype(64);
    QTest::newRow("4096") << qsizetype(4096);
}

void LiveRendererTest::blockSizeDoesNotChangeTheSamples()
{
    QFETCH(qsizetype, block);
    // Every kind of change, each at a frame where every block size has a boundary.
    const std::vector<LiveTone> tones{
        Tone({Periodic(ShapeKind::Sine, 1000, {0.5, 0.25}), Noise(NoiseColour::Pink, NoiseBand{500, 2000}, {1, 1})}, 2),
        Tone({Periodic(ShapeKind::Sine, 1234.5, {0.2, 0.5}), Noise(NoiseColour::Pink, NoiseBand{500, 2000}, {0.5, 1})},
             2),
        Tone({Periodic(ShapeKind::Square, 441.7, {0.3, 0.3}, {}, true), Noise(NoiseColour::Brown, {}, {0.1, 0})}, 2),
    };
    const auto play = [&](qsizetype blockFrames) {
        LiveRenderer renderer(Rate, 2);
        std::vector<float> samples;
        for (const LiveTone &tone : tones) {
            renderer.setTone(tone);
            const std::vector<float> part = Render(renderer, 8192, blockFrames);
            samples.insert(samples.end(), part.begin(), part.end());
        }
        renderer.stop();
        const std::vector<float> part = Render(renderer, 8192, blockFrames);
        samples.insert(samples.end(), part.begin(), part.end());
        return samples;
    };
    QVERIFY(play(block) == play(8192));
}

std::vector<std::vector<double>> LiveRendererTest::toolSamples(int rate, const QString &words)
{
    const QString file = TestSandbox::NewFolder() + u"/tool.wav"_s;
    QProcess sox;
    // Repeatable random numbers and no dither: the tool's noise from seed 0, as the renderer's.
    // No headroom of the synth's own: remix gains may add up to more than 1.
    sox.start(u"sox"_s, QStringList{u"-R"_s, u"-D"_s, u"-r"_s, QString::number(rate), u"-n"_s, u"-e"_s,
                                    u"floating-point"_s, u"-b"_s, u"32"_s, file, u"synth"_s, u"-n"_s, u"3"_s} +
                            words.split(u' ', Qt::SkipEmptyParts));
    if (!sox.waitForFinished(60000) || sox.exitCode() != 0)
        qWarning() << sox.readAllStandardError();
    const WavInfo wav = ReadWav(file);
    std::vector<std::vector<double>> channels{wav.firstChannel};
    if (wav.channels > 1)
        channels.push_back(wav.secondChannel);
    for (auto &channel : channels)
        channel.erase(channel.begin(), channel.begin() + qsizetype(std::min<size_t>(channel.size(), StartFrames)));
    return channels;
}

void LiveRendererTest::periodicTonesAgreeWithTheToolSampleBySample_data()
{
    QTest::addColumn<QString>("words"); // after "synth -n 3"
    QTest::addColumn<LiveTone>("tone");
    using K = ShapeKind;
    const auto one = [](ShapeKind kind, double frequency, ShapeParameters parameters = {}) {
        return Tone({Periodic(kind, frequency, {1}, parameters)});
    };
    QTest::newRow("sine") << u"sine 1000"_s << one(K::Sine, 1000);
    QTest::newRow("sine, offset and phase") << u"sine 441.7 10 25"_s << one(K::Sine, 441.7, {0.1, 0.25});
    QTest::newRow("square, on its edges") << u"square 1000"_s << one(K::Square, 1000);
    QTest::newRow("square, 30 %, phase") << u"square 997 0 10 30"_s << one(K::Square, 997, {0, 0.1, 0.3});
    QTest::newRow("sawtooth") << u"sawtooth 441.7"_s << one(K::Sawtooth, 441.7);
    QTest::newRow("triangle, 20 %") << u"triangle 500 0 0 20"_s << one(K::Triangle, 500, {0, 0, 0.2});
    QTest::newRow("trapezium") << u"trapezium 300"_s << one(K::Trapezium, 300);
    QTest::newRow("trapezium 10 40 70") << u"trapezium 300 -20 0 10 40 70"_s
                                        << one(K::Trapezium, 300, {-0.2, 0, 0.1, 0.4, 0.7});
    QTest::newRow("exp") << u"exp 200"_s << one(K::Exp, 200);
    QTest::newRow("exp 30 60") << u"exp 200 0 0 30 60"_s << one(K::Exp, 200, {0, 0, 0.3, 0.6});
    QTest::newRow("at 44.1 kHz") << u"sine 1000"_s << Tone({Periodic(K::Sine, 1000)}, 1, 44100);
    QTest::newRow("tones together with gains")
        << u"sine 697 sine 1209 remix 1v0.5,2v0.25"_s
        << Tone({Periodic(K::Sine, 697, {0.5}), Periodic(K::Sine, 1209, {0.25})});
    QTest::newRow("left | right, the left 6 dB down")
        << u"sine 440 square 444 remix 1v0.5 2"_s
        << Tone({Periodic(K::Sine, 440, {0.5, 0}), Periodic(K::Square, 444, {0, 1})}, 2);
    QTest::newRow("both channels") << u"triangle 1000 remix 1v0.8 1v0.8"_s
                                   << Tone({Periodic(K::Triangle, 1000, {0.8, 0.8})}, 2);
    // Alias-free: the Fourier series, summed by the tool as sines of their own; at half scale,
    // as their peaks overshoot.
    const auto sines = [](double frequency, int last, int step, double phasePercent, auto amplitude) {
        QStringList synth;
        QStringList mix;
        for (int k = 1; k <= last; k += step) {
            synth << u"sine %1 0 %2"_s.arg(k * frequency).arg(phasePercent);
            mix << u"%1v%2"_s.arg(mix.size() + 1).arg(0.5 * amplitude(k), 0, 'g', 17);
        }
        return synth.join(u' ') + u" remix -m "_s + mix.join(u',');
    };
    const double pi = std::numbers::pi;
    QTest::newRow("alias-free square") << sines(2000, 11, 2, 0, [&](int k) { return 4 / (pi * k); })
                                       << Tone({Periodic(K::Square, 2000, {0.5}, {}, true)});
    QTest::newRow("alias-free triangle") << sines(3000, 7, 2, 75, [&](int k) { return 8 / (pi * pi * k * k); })
                                         << Tone({Periodic(K::Triangle, 3000, {0.5}, {}, true)});
    QTest::newRow("alias-free sawtooth") << sines(4000, 5, 1, 50, [&](int k) { return 2 / (pi * k); })
                                         << Tone({Periodic(K::Sawtooth, 4000, {0.5}, {}, true)});
}

void LiveRendererTest::periodicTonesAgreeWithTheToolSampleBySample()
{
    QFETCH(QString, words);
    QFETCH(LiveTone, tone);
    const auto tool = toolSamples(tone.sampleRate, words);
    const auto live = LiveComparison::Render(tone, qsizetype(3) * tone.sampleRate);
    QCOMPARE(live.size(), tool.size());
    for (size_t c = 0; c < live.size(); ++c) {
        QCOMPARE(live[c].size(), tool[c].size());
        const double worst = LiveComparison::WorstDifference(live[c], tool[c]);
        QVERIFY2(worst < 1e-5, qPrintable(u"%1 dB in channel %2"_s.arg(20 * std::log10(worst)).arg(c + 1)));
    }
}

void LiveRendererTest::noisesAgreeWithTheToolInLevelAndSpectrum_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<LiveTone>("tone");
    // The band filter as the published Butterworth design has it: six sections a side, Q =
    // 1 / (2 sin((2i - 1) pi / 24)), corners a tenth outside the band, 12 dB down before them.
    const auto band = [](double low, double high) {
        QString words = u"vol 0.25"_s;
        for (const auto &[kind, corner] : {std::pair{u"highpass"_s, low * 0.9}, {u"lowpass"_s, high / 0.9}}) {
            for (int i = 6; i >= 1; --i)
                words += u" %1 -2 %2 %3q"_s.arg(kind)
                             .arg(corner, 0, 'g', 12)
                             .arg(1 / (2 * std::sin((2 * i - 1) * std::numbers::pi / 24)), 0, 'g', 12);
        }
        return words;
    };
    QTest::newRow("white") << u"whitenoise"_s << Tone({Noise(NoiseColour::White)});
    QTest::newRow("pink") << u"pinknoise"_s << Tone({Noise(NoiseColour::Pink)});
    QTest::newRow("brown") << u"brownnoise"_s << Tone({Noise(NoiseColour::Brown)});
    QTest::newRow("white, 100-10000 Hz") << u"whitenoise "_s + band(100, 10000)
                                         << Tone({Noise(NoiseColour::White, NoiseBand{100, 10000})});
    QTest::newRow("pink, 500-2000 Hz, both channels")
        << u"pinknoise "_s + band(500, 2000) + u" remix 1v0.5 1v0.5"_s
        << Tone({Noise(NoiseColour::Pink, NoiseBand{500, 2000}, {0.5, 0.5})}, 2);
    QTest::newRow("brown, 20-200 Hz") << u"brownnoise "_s + band(20, 200)
                                      << Tone({Noise(NoiseColour::Brown, NoiseBand{20, 200})});
}

void LiveRendererTest::noisesAgreeWithTheToolInLevelAndSpectrum()
{
    QFETCH(QString, words);
    QFETCH(LiveTone, tone);
    const auto tool = toolSamples(tone.sampleRate, words);
    const auto live = LiveComparison::Render(tone, qsizetype(3) * tone.sampleRate);
    QCOMPARE(live.size(), tool.size());
    for (size_t c = 0; c < live.size(); ++c) {
        const std::optional<QString> disagreement =
            LiveComparison::NoiseDisagreement(live[c], tool[c], tone.sampleRate);
        QVERIFY2(!disagreement, qPrintable(disagreement.value_or(QString())));
    }
}

QUORVANE_TEST_MAIN(LiveRendererTest)
#include "tst_live_renderer.moc"
