// SPDX-License-Identifier: GPL-3.0-or-later

#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <array>
#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// The amplitude of the component at one frequency, by Goertzel's recurrence over a Hann window:
// two tones measured alike keep their ratio, and the other group's tone leaks nothing measurable.
double GoertzelAmplitude(const std::vector<double> &samples, size_t first, size_t count, int rate, double frequency)
{
    const double w = 2 * std::numbers::pi * frequency / rate;
    double s1 = 0;
    double s2 = 0;
    for (size_t n = 0; n < count; ++n) {
        const double hann = 0.5 * (1 - std::cos(2 * std::numbers::pi * double(n) / double(count)));
        const double s0 = samples[first + n] * hann + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2);
}

const std::array<double, 4> LowGroup{697, 770, 852, 941};
const std::array<double, 4> HighGroup{1209, 1336, 1477, 1633};
const QString Keypad = u"123A456B789C*0#D"_s;

// The strongest of a group at the samples, and its amplitude.
std::pair<size_t, double> Strongest(const std::array<double, 4> &group, const std::vector<double> &samples,
                                    size_t first, size_t count, int rate)
{
    std::pair<size_t, double> best{0, 0};
    for (size_t i = 0; i < group.size(); ++i) {
        const double amplitude = GoertzelAmplitude(samples, first, count, rate, group[i]);
        if (amplitude > best.second)
            best = {i, amplitude};
    }
    return best;
}

} // namespace

// Test signals with a meaning of their own, made by the tool and measured in the written file.
class TestSignalsTest : public QObject
{
    Q_OBJECT

    QString outputFolder;

    WavInfo Made(const QString &length, const QString &waveform, const QString &frequencies, const QString &options)
    {
        const QString path = outputFolder + u"/signal.wav"_s;
        const QString problem =
            ToolRun::Make(path, MakeToneRequest(length, waveform, frequencies), ToolRun::Options(options));
        if (!problem.isEmpty())
            qWarning("%s", qPrintable(problem));
        return ReadWav(path);
    }

private slots:
    void init()
    {
        TestSandbox::FreshTempFolder();
        outputFolder = TestSandbox::NewFolder();
    }

    void keysDecodeAsTyped_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<double>("twist"); // the high group above the low one, dB
        QTest::addColumn<double>("pauseSeconds");

        QTest::newRow("every key, no twist")
            << u"dtmf 0123456789*#ABCD"_s << u""_s << u"0123456789*#ABCD"_s << 0.0 << 0.1;
        QTest::newRow("high group 2 dB up, by RMS")
            << u"dtmf 123 twist 2"_s << u"Level=-20 LevelUnit=RMS"_s << u"123"_s << 2.0 << 0.1;
        QTest::newRow("low group up, 16-bit, a pause of its own")
            << u"DTMF 9#d twist -4.5"_s << u"SampleFormat=16 StepPause=0.25 Level=-6"_s << u"9#D"_s << -4.5 << 0.25;
        QTest::newRow("a key twice, keys in two words")
            << u"dtmf 55 *"_s << u"SampleRate=8000"_s << u"55*"_s << 0.0 << 0.1;
    }

    void keysDecodeAsTyped()
    {
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        QFETCH(QString, keys);
        QFETCH(double, twist);
        QFETCH(double, pauseSeconds);
        const WavInfo wav = Made(u"0.1"_s, u"Sine (Default)"_s, frequencies, options);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        const auto tone = size_t(std::lround(0.1 * wav.sampleRate));
        const auto pause = size_t(std::lround(pauseSeconds * wav.sampleRate));
        QCOMPARE(wav.frames, qint64(keys.size() * tone + (keys.size() - 1) * pause));
        QString decoded;
        for (qsizetype k = 0; k < keys.size(); ++k) {
            const size_t first = size_t(k) * (tone + pause);
            const auto [row, low] = Strongest(LowGroup, wav.firstChannel, first, tone, wav.sampleRate);
            const auto [column, high] = Strongest(HighGroup, wav.firstChannel, first, tone, wav.sampleRate);
            decoded += Keypad[qsizetype(row * 4 + column)];
            QVERIFY2(std::abs(20 * std::log10(high / low) - twist) < 0.1, qPrintable(u"key %1"_s.arg(k)));
            // The pause after it is digital zero.
            if (k + 1 < keys.size()) {
                const std::vector<double> gap(wav.firstChannel.begin() + qsizetype(first + tone),
                                              wav.firstChannel.begin() + qsizetype(first + tone + pause));
                QCOMPARE(PeakDbfs(gap), -qInf());
            }
        }
        QCOMPARE(decoded, keys);
    }
};

QUORVANE_TEST_MAIN(TestSignalsTest)
#include "tst_test_signals.moc"
