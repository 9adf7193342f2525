// SPDX-License-Identifier: GPL-3.0-or-later

#include "play_file.h"
#include "test_sandbox.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;

// Run with PULSE_SERVER naming a socket where nothing listens: no audio output exists at all.
class PlaybackNoServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"), "must not reach any real audio server");
        QVERIFY2(QMediaDevices::audioOutputs().isEmpty(), "an audio server answered");
    }

    void refusedWithoutAnyOutput_data()
    {
        QTest::addColumn<bool>("synchronous");
        QTest::addColumn<bool>("loop");
        QTest::newRow("asynchronous") << false << false;
        QTest::newRow("synchronous") << true << false;
        QTest::newRow("asynchronous, looping") << false << true;
        QTest::newRow("synchronous, looping") << true << true;
    }

    void refusedWithoutAnyOutput()
    {
        QFETCH(bool, synchronous);
        QFETCH(bool, loop);
        const QString tone = TestSandbox::FreshTempFolder() + u"/tone.wav"_s;
        QCOMPARE(
            QProcess::execute(u"sox"_s, {u"-r"_s, u"48000"_s, u"-n"_s, tone, u"synth"_s, u"2"_s, u"sine"_s, u"1000"_s}),
            0);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!PlayWaveFile(tone, synchronous, loop));
        QVERIFY(!IsSoundPlaying());
        QVERIFY2(clock.elapsed() < 10000, "hung waiting for a sound nobody plays");
    }
};

QUORVANE_TEST_MAIN(PlaybackNoServerTest)
#include "tst_playback_no_server.moc"
