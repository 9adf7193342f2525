// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/job/presets.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QFile>
#include <QtEndian>

using namespace Qt::Literals::StringLiterals;

// Layouts beyond stereo, and each channel in turn, measured in the written files.
class ChannelLayoutsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSandbox::FreshTempFolder(); }

    // WAVE_FORMAT_EXTENSIBLE's mask: FL 0x1, FR 0x2, FC 0x4, LFE 0x8, BL 0x10, BR 0x20, SL 0x200,
    // SR 0x400; the tool writes float samples without it. Every channel is at -20 dBFS RMS (AES17)
    // over its own turn, or the whole file; in turn, it is digital zero outside its turn, dither too.
    void eachChannelSoundsWhereAndWhenItShould_data()
    {
        QTest::addColumn<QString>("options"); // or the name of a preset
        QTest::addColumn<QString>("waveform");
        QTest::addColumn<int>("channels");
        QTest::addColumn<quint32>("mask");
        QTest::addColumn<bool>("inTurn");
        QTest::newRow("quad, 16-bit") << u"Channels=Quad SampleFormat=16"_s << u"Sine (Default)"_s << 4 << 0x33u
                                      << false;
        QTest::newRow("5.1, float") << u"Channels=5.1 SampleFormat=32f"_s << u"Square"_s << 6 << 0x3Fu << false;
        QTest::newRow("7.1, 24-bit") << u"Channels=7.1 SampleFormat=24"_s << u"Sine (Default)"_s << 8 << 0x63Fu
                                     << false;
        QTest::newRow("both in turn") << u"Channels=Both ChannelsInTurn=1"_s << u"Sine (Default)"_s << 2 << 0x3u
                                      << true;
        QTest::newRow("5.1 in turn, 16-bit, dithered")
            << u"Channels=5.1 ChannelsInTurn=1 SampleFormat=16"_s << u"Sine (Default)"_s << 6 << 0x3Fu << true;
        QTest::newRow("7.1 in turn, float")
            << u"Channels=7.1 ChannelsInTurn=1 SampleFormat=32f"_s << u"Square"_s << 8 << 0x63Fu << true;
        QTest::newRow("quad in turn, 16-bit noise")
            << u"Channels=Quad ChannelsInTurn=1 SampleFormat=16"_s << u"White Noise"_s << 4 << 0x33u << true;
        QTest::newRow("surround calibration noise")
            << u"Surround Calibration Noise"_s << QString() << 6 << 0x3Fu << true;
    }

    void eachChannelSoundsWhereAndWhenItShould()
    {
        QFETCH(QString, options);
        QFETCH(QString, waveform);
        QFETCH(int, channels);
        QFETCH(bool, inTurn);
        const auto preset = std::find_if(BuiltInPresets().begin(), BuiltInPresets().end(),
                                         [&](const Preset &p) { return p.name == options; });
        // The preset's Length shortened, to keep the file small: each turn's level is set alike.
        const ToneRequest request =
            preset != BuiltInPresets().end()
                ? MakeToneRequest(u"0.5"_s, WaveformLabels()[preset->waveformIndex], preset->frequencies)
                : MakeToneRequest(u"0.5"_s, waveform, u"1000"_s);
        const OutputOptions chosen = preset != BuiltInPresets().end()
                                         ? preset->options
                                         : ToolRun::Options(options + u" Level=-20 LevelUnit=RMS"_s);
        const QString path = TestSandbox::NewFolder() + u"/layout.wav"_s;
        QCOMPARE(ToolRun::Make(path, request, chosen), QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(4096);
        const qsizetype format = header.indexOf("fmt ") + 8;
        const bool extensible = qFromLittleEndian<quint16>(header.constData() + format) == 0xFFFE;
        QTEST(extensible ? qFromLittleEndian<quint32>(header.constData() + format + 20) : 0u, "mask");

        const std::vector<std::vector<double>> read = ReadChannels(path);
        QCOMPARE(int(read.size()), channels);
        const qint64 turn = SynthSampleRate / 2;
        for (qint64 c = 0; c < channels; ++c) {
            const std::vector<double> &samples = read[size_t(c)];
            QCOMPARE(qint64(samples.size()), inTurn ? turn * channels : turn);
            const qint64 start = inTurn ? c * turn : 0;
            const std::vector<double> own(samples.begin() + start, samples.begin() + start + turn);
            QVERIFY2(std::abs(Aes17RmsDbfs(own) + 20) < 0.1,
                     qPrintable(u"channel %1: %2"_s.arg(c).arg(Aes17RmsDbfs(own))));
            if (!inTurn)
                continue;
            const auto sounds = [](double s) { return s != 0; };
            const qint64 first = std::find_if(samples.begin(), samples.end(), sounds) - samples.begin();
            const qint64 end = std::find_if(samples.rbegin(), samples.rend(), sounds).base() - samples.begin();
            // A sine's first sample, at phase zero, is zero, and a band's filter starts from rest.
            QVERIFY2(first >= start && first <= start + 8 && end == start + turn,
                     qPrintable(u"channel %1 sounds from %2 to %3"_s.arg(c).arg(first).arg(end)));
        }
    }
};

QUORVANE_TEST_MAIN(ChannelLayoutsTest)
#include "tst_channel_layouts.moc"
