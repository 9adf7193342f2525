// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/job/presets.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QFile>
#include <QtEndian>

using namespace Qt::Literals::StringLiterals;

namespace {

// The channel mask of a WAVE file's extensible format chunk, or nothing.
std::optional<quint32> ChannelMask(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(4096);
    const qsizetype format = header.indexOf("fmt ");
    // The tag (WAVE_FORMAT_EXTENSIBLE), then the mask 20 bytes into the chunk's data.
    if (format < 0 || header.size() < format + 32 ||
        qFromLittleEndian<quint16>(header.constData() + format + 8) != 0xFFFE)
        return std::nullopt;
    return qFromLittleEndian<quint32>(header.constData() + format + 28);
}

} // namespace

// Layouts beyond stereo, and a tone that sounds on each channel in turn, measured in the written files.
class ChannelLayoutsTest : public QObject
{
    Q_OBJECT

    QString outputFolder;

    QString Made(const QString &length, const QString &waveform, const QString &frequencies,
                 const OutputOptions &options)
    {
        const QString path = outputFolder + u"/layout.wav"_s;
        const QString problem = ToolRun::Make(path, MakeToneRequest(length, waveform, frequencies), options);
        return problem.isEmpty() ? path : QString();
    }

private slots:
    void init()
    {
        TestSandbox::FreshTempFolder();
        outputFolder = TestSandbox::NewFolder();
    }

    // WAVE_FORMAT_EXTENSIBLE's speaker bits: FL 0x1, FR 0x2, FC 0x4, LFE 0x8, BL 0x10, BR 0x20,
    // SL 0x200, SR 0x400.
    void layoutsCarryTheirChannelMask_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("channels");
        QTest::addColumn<quint32>("mask");
        QTest::newRow("quad") << u"Channels=Quad"_s << 4 << quint32(0x33);
        QTest::newRow("5.1, 16-bit") << u"Channels=5.1 SampleFormat=16"_s << 6 << quint32(0x3F);
        // The tool writes float samples without the extensible header: the program gives them one.
        QTest::newRow("5.1, float") << u"Channels=5.1 SampleFormat=32f"_s << 6 << quint32(0x3F);
        QTest::newRow("7.1, float, in turn")
            << u"Channels=7.1 SampleFormat=32f ChannelsInTurn=1"_s << 8 << quint32(0x63F);
        QTest::newRow("7.1, 24-bit at 96 kHz")
            << u"Channels=7.1 SampleFormat=24 SampleRate=96000"_s << 8 << quint32(0x63F);
    }

    void layoutsCarryTheirChannelMask()
    {
        QFETCH(QString, options);
        QFETCH(int, channels);
        const QString path =
            Made(u"0.5"_s, u"Sine (Default)"_s, u"1000"_s, ToolRun::Options(options + u" Level=-20"_s));
        QVERIFY(!path.isEmpty());
        QTEST(ChannelMask(path).value_or(0), "mask");
        const std::vector<std::vector<double>> read = ReadChannels(path);
        QCOMPARE(int(read.size()), channels);
        // The same tone in each, all of its samples there (in turn, over a turn of its own).
        const size_t turn = read.front().size() / (options.contains(u"InTurn"_s) ? read.size() : 1);
        for (size_t c = 0; c < read.size(); ++c) {
            const size_t start = turn == read.front().size() ? 0 : c * turn;
            const std::vector<double> own(read[c].begin() + qsizetype(start),
                                          read[c].begin() + qsizetype(start + turn));
            QVERIFY2(std::abs(Aes17RmsDbfs(own) + 20) < 0.01, qPrintable(QString::number(Aes17RmsDbfs(own))));
            QCOMPARE(qint64(own.size()), qint64(options.contains(u"96000"_s) ? 48000 : 24000));
        }
    }

    // Each channel sounds for exactly the Length, in the layout's order, and is digital zero
    // before and after: the dither of a 16-bit file reaches only the channel that sounds.
    void eachChannelSoundsInTurn_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("length"); // samples
        QTest::newRow("both, 32-bit") << u"Channels=Both"_s << u"Sine (Default)"_s << 2 << qint64(24000);
        QTest::newRow("5.1, 16-bit, dithered")
            << u"Channels=5.1 SampleFormat=16"_s << u"Sine (Default)"_s << 6 << qint64(24000);
        QTest::newRow("quad, 24-bit at 44.1 kHz, RMS")
            << u"Channels=Quad SampleFormat=24 SampleRate=44100 LevelUnit=RMS"_s << u"Square"_s << 4 << qint64(22050);
        QTest::newRow("7.1, float") << u"Channels=7.1 SampleFormat=32f"_s << u"Sine (Default)"_s << 8 << qint64(24000);
        QTest::newRow("5.1, 16-bit white noise")
            << u"Channels=5.1 SampleFormat=16"_s << u"White Noise"_s << 6 << qint64(24000);
    }

    void eachChannelSoundsInTurn()
    {
        QFETCH(QString, options);
        QFETCH(QString, waveform);
        QFETCH(int, channels);
        QFETCH(qint64, length);
        const QString path =
            Made(u"0.5"_s, waveform, u"1000"_s, ToolRun::Options(options + u" Level=-20 ChannelsInTurn=1"_s));
        QVERIFY(!path.isEmpty());
        const std::vector<std::vector<double>> read = ReadChannels(path);
        QCOMPARE(int(read.size()), channels);
        for (int c = 0; c < channels; ++c) {
            const std::vector<double> &samples = read[size_t(c)];
            QCOMPARE(qint64(samples.size()), length * channels);
            const auto first = std::find_if(samples.begin(), samples.end(), [](double s) { return s != 0; });
            const auto last = std::find_if(samples.rbegin(), samples.rend(), [](double s) { return s != 0; });
            // A sine starts from phase zero, so its first sample may be zero.
            QVERIFY2(first - samples.begin() >= c * length && first - samples.begin() <= c * length + 1,
                     qPrintable(u"channel %1 starts at %2"_s.arg(c).arg(first - samples.begin())));
            QCOMPARE(qint64(samples.rend() - last), (c + 1) * length);
        }
    }

    // The calibration noise on each channel of 5.1 in turn, each turn at -20 dBFS RMS (AES17). A
    // shorter Length than the preset's keeps the file small; the level is set over each turn alike.
    void surroundCalibrationNoiseIsAtItsLevelInEachChannel()
    {
        const auto &presets = BuiltInPresets();
        const auto preset = std::find_if(presets.begin(), presets.end(),
                                         [](const Preset &p) { return p.name == u"Surround Calibration Noise"_s; });
        QVERIFY(preset != presets.end());
        const QString path =
            Made(u"2"_s, WaveformLabels()[preset->waveformIndex], preset->frequencies, preset->options);
        QVERIFY(!path.isEmpty());
        const std::vector<std::vector<double>> read = ReadChannels(path);
        QCOMPARE(read.size(), size_t(6));
        const qint64 turn = 2 * SynthSampleRate;
        for (qint64 c = 0; c < 6; ++c) {
            const std::vector<double> &samples = read[size_t(c)];
            const std::vector<double> own(samples.begin() + c * turn, samples.begin() + (c + 1) * turn);
            QVERIFY2(std::abs(Aes17RmsDbfs(own) + 20) < 0.1,
                     qPrintable(u"channel %1: %2"_s.arg(c).arg(Aes17RmsDbfs(own))));
            QCOMPARE(PeakDbfs(std::vector<double>(samples.begin(), samples.begin() + c * turn)), -qInf());
        }
    }
};

QUORVANE_TEST_MAIN(ChannelLayoutsTest)
#include "tst_channel_layouts.moc"
