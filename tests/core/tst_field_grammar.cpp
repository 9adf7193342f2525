// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/tone/tone.h"
#include "test_sandbox.h"
#include "tool_run.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(SampleLayout)
Q_DECLARE_METATYPE(SweepKind)

namespace {

// The reminder for the fields as the one reading gives it, or nothing.
std::optional<QString> ReminderFor(const QString &length, const QString &waveform, const QString &frequencies,
                                   const OutputOptions &options = {})
{
    const ToneReading reading = ReadTone(MakeToneRequest(length, waveform, frequencies), options);
    return reading.refusal ? std::optional(reading.refusal->reminder) : std::nullopt;
}

} // namespace

// Every word the fields let through, and what the tool would have made of some that they do not.
class FieldGrammarTest : public QObject
{
    Q_OBJECT

private slots:
    void lengthWords_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("samples"); // 0: refused with the length reminder

        QTest::newRow("seconds") << u"2"_s << 48000 << qint64(96000);
        QTest::newRow("decimal comma") << u"2,5"_s << 48000 << qint64(120000);
        QTest::newRow("fraction only") << u".5"_s << 48000 << qint64(24000);
        QTest::newRow("blanks around one word") << u" 2 "_s << 48000 << qint64(96000);
        QTest::newRow("mm:ss") << u"1:30"_s << 48000 << qint64(90 * 48000);
        QTest::newRow("hh:mm:ss.frac") << u"01:02:03.5"_s << 48000 << qint64(3723.5 * 48000);
        QTest::newRow("samples ignore the rate") << u"48000s"_s << 8000 << qint64(48000);
        QTest::newRow("fraction rounds as the tool does") << u"2.00002"_s << 48000 << qint64(96001);
        QTest::newRow("a tenth of a millisecond at 8 kHz") << u"0.0001"_s << 8000 << qint64(1);
        QTest::newRow("leading zeros") << u"000000000000000000000000002"_s << 48000 << qint64(96000);

        // The tool's "no end": zero in every spelling, and anything it does not read as a length.
        QTest::newRow("empty") << u""_s << 48000 << qint64(0);
        QTest::newRow("zero") << u"0"_s << 48000 << qint64(0);
        QTest::newRow("zero time") << u"00:00:00.000"_s << 48000 << qint64(0);
        QTest::newRow("zero samples") << u"0s"_s << 48000 << qint64(0);
        QTest::newRow("zero in sample time") << u"0t"_s << 48000 << qint64(0);
        QTest::newRow("below half a sample") << u"0.00001"_s << 48000 << qint64(0);
        QTest::newRow("negative") << u"-1"_s << 48000 << qint64(0);
        QTest::newRow("plus sign") << u"+1"_s << 48000 << qint64(0);
        QTest::newRow("32,767 digits") << QString(32767, u'9') << 48000 << qint64(0);
        QTest::newRow("beyond any count") << u"99999999999999999999"_s << 48000 << qint64(0);
        QTest::newRow("a type in its place") << u"sine"_s << 48000 << qint64(0);
        QTest::newRow("two words") << u"2 3"_s << 48000 << qint64(0);
        QTest::newRow("a tab first") << u"\t5"_s << 48000 << qint64(0);
        // Spellings the tool itself rejects.
        QTest::newRow("trailing dot") << u"2."_s << 48000 << qint64(0);
        QTest::newRow("exponent") << u"1e1"_s << 48000 << qint64(0);
        QTest::newRow("fractional samples") << u"4800.5s"_s << 48000 << qint64(0);
        QTest::newRow("four parts") << u"1:2:3:4"_s << 48000 << qint64(0);
        QTest::newRow("empty part") << u"1::2"_s << 48000 << qint64(0);
        QTest::newRow("no seconds") << u"5:"_s << 48000 << qint64(0);
        QTest::newRow("non-ASCII digits") << u"\u0662"_s << 48000 << qint64(0);
        // "$" would match before a final line break, and the tool would get it.
        QTest::newRow("a line break after seconds") << u"2\n"_s << 48000 << qint64(0);
        QTest::newRow("a line break after samples") << u"48000s\n"_s << 48000 << qint64(0);
    }

    void lengthWords()
    {
        QFETCH(QString, length);
        QFETCH(int, rate);
        QFETCH(qint64, samples);
        const ToneReading reading = ReadTone(MakeToneRequest(length, u"Sine (Default)"_s, u"440"_s),
                                             ToolRun::Options(u"SampleRate=%1"_s.arg(rate)));
        QCOMPARE(reading.refusal ? std::optional(reading.refusal->reminder) : std::nullopt,
                 samples > 0 ? std::nullopt : std::optional(LengthReminder));
        if (samples > 0)
            QCOMPARE(reading.tone.samples, samples);
    }

    void frequencyWords_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("hertz") << u"440"_s << true;
        QTest::newRow("decimal comma") << u"440,5"_s << true;
        QTest::newRow("kilohertz") << u"1k"_s << true;
        QTest::newRow("semitones from A4") << u"%-12"_s << true;
        QTest::newRow("notes") << u"A4 C#5 Bb E"_s << true;
        QTest::newRow("sweeps of each kind") << u"300-3300 1k:2k A4+A5 %-12/%0"_s << true;
        QTest::newRow("offset, phase and shape") << u"440 -10 25 50 .5"_s << true;
        QTest::newRow("blanks around") << u"  440  "_s << true;
        QTest::newRow("DTMF 1") << u"697 & 1209"_s << true;
        QTest::newRow("SMPTE twin tone, no blanks") << u"60&7000@-12"_s << true;
        QTest::newRow("left | right") << u"440 | 444"_s << true;
        QTest::newRow("sweeps and notes together") << u"300-3300 & A4 @ -6 | %-12:%0 10"_s << true;
        QTest::newRow("sixteen tones") << QStringList(16, u"440"_s).join(u" & "_s) << true;
        QTest::newRow("steps, blanks optional") << u"100;1000 ; 10000"_s << true;
        QTest::newRow("steps of tones together, staircase") << u"697 & 1209; 1000@-10; 440 | 444"_s << true;
        QTest::newRow("256 steps of sixteen tones")
            << QStringList(256, QStringList(16, u"1"_s).join(u'&')).join(u';') << true;
        QTest::newRow("units as people type them") << u"440 Hz & 1,5 kHz & 440Hz | 300Hz-3300Hz"_s << true;
        QTest::newRow("numbers alone: the tool's own 440 Hz") << u"-50 10"_s << true;
        QTest::newRow("five numbers, then the next channel's tone") << u"440 10 0 0 0 0 880"_s << true;
        QTest::newRow("a sweep from 0 Hz, the tool's to refuse") << u"0/100"_s << true;

        QTest::newRow("empty") << u""_s << false;
        QTest::newRow("only blanks") << u"   "_s << false;
        QTest::newRow("an effect writing a file") << u"440 noiseprof ~/.profile"_s << false;
        QTest::newRow("an effects chain") << u"440 : newfile : synth 1 sine 880"_s << false;
        QTest::newRow("a plugin") << u"440 ladspa /tmp/x.so"_s << false;
        QTest::newRow("a picture") << u"440 spectrogram -o ~/x.png"_s << false;
        QTest::newRow("a lone colon") << u":"_s << false;
        QTest::newRow("a waveform word") << u"440 square"_s << false;
        QTest::newRow("an option") << u"-n"_s << false;
        QTest::newRow("a letter") << u"abc"_s << false;
        QTest::newRow("exponent") << u"1e3"_s << false;
        QTest::newRow("not a number") << u"nan"_s << false;
        QTest::newRow("half a sweep") << u"440-"_s << false;
        QTest::newRow("no such note") << u"H4"_s << false;
        QTest::newRow("lower-case note") << u"a4"_s << false;
        QTest::newRow("a unit alone") << u"Hz"_s << false;
        QTest::newRow("a unit after a note") << u"A4 Hz"_s << false;
        QTest::newRow("a tab inside") << u"440\t880"_s << false;
        QTest::newRow("a line break after") << u"440\n"_s << false;
        QTest::newRow("a line break after a sweep") << u"300-3300\n"_s << false;
        QTest::newRow("an effect after &") << u"440 & 880 noiseprof ~/.profile"_s << false;
        QTest::newRow("an empty tone") << u"440 & "_s << false;
        QTest::newRow("an empty side") << u"| 440"_s << false;
        QTest::newRow("&&") << u"440 && 880"_s << false;
        QTest::newRow("@ without a level") << u"440@"_s << false;
        QTest::newRow("a level above the loudest") << u"440@+3"_s << false;
        QTest::newRow("a positive level") << u"440 & 880@3"_s << false;
        QTest::newRow("two levels") << u"440@-3@-3"_s << false;
        QTest::newRow("a level beyond hearing") << u"440 & 880@-1000"_s << false;
        QTest::newRow("a level with two places, beyond hearing") << u"440 & 880@-999.99"_s << false;
        QTest::newRow("a level in exponent form") << u"440 & 880@-1e3"_s << false;
        QTest::newRow("three sides") << u"440 | 550 | 660"_s << false;
        QTest::newRow("seventeen tones") << QStringList(17, u"440"_s).join(u" & "_s) << false;
        QTest::newRow("seventeen tones in a step") << u"440; "_s + QStringList(17, u"440"_s).join(u" & "_s) << false;
        QTest::newRow("an effect in a step") << u"440; 440 noiseprof ~/.profile"_s << false;
        QTest::newRow("a second frequency read as the offset") << u"440 880"_s << false;
        QTest::newRow("an offset beyond 100 %") << u"440 -101"_s << false;
        QTest::newRow("a phase below 0 %") << u"440 0 -5"_s << false;
        QTest::newRow("two channels' tones together") << u"440 880 & 1000"_s << false;
        QTest::newRow("a sweep from 0 Hz together") << u"0/100 & 440"_s << false;
        QTest::newRow("a tab after a step") << u"440\t; 880"_s << false;
    }

    // Which reminder a field gets, and which word it quotes, as typed (the window selects it there).
    void reminderAndWord_data()
    {
        QTest::addColumn<QString>("frequencies");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("reminder");
        QTest::addColumn<QString>("word"); // empty: none quoted
        QTest::addColumn<int>("start");
        QTest::newRow("an effect") << u"440 noiseprof x"_s << u""_s << FrequenciesReminder << u"noiseprof"_s << 4;
        QTest::newRow("after a unit, as typed")
            << u"1,5 kHz  noise"_s << u""_s << FrequenciesReminder << u"noise"_s << 9;
        QTest::newRow("in a later step") << u"440; 880 noise"_s << u""_s << FrequenciesReminder << u"noise"_s << 9;
        QTest::newRow("a number out of range: no word") << u"440 0 200"_s << u""_s << FrequenciesReminder << u""_s << 0;
        QTest::newRow("a level, not the word after it")
            << u"440@-3; 880 foo"_s << u""_s << FrequenciesReminder << u"foo"_s << 12;
        QTest::newRow("a bad level") << u"440 & 880@x"_s << u""_s << LevelReminder << u""_s << 0;
        QTest::newRow("an empty step") << u"440;;880"_s << u""_s << StepsReminder << u""_s << 0;
        QTest::newRow("257 steps") << QStringList(257, u"1"_s).join(u';') << u""_s << StepsReminder << u""_s << 0;
        QTest::newRow("too many tones beat a bad word")
            << u"440 foo; "_s + QStringList(17, u"1"_s).join(u'&') << u""_s << TooManyTonesReminder << u""_s << 0;
        // Above half the rate a tone folds back, in any step.
        QTest::newRow("a step above half the rate")
            << u"100; 5000"_s << u"SampleRate=8000"_s << HighestFrequencyReminder(8000) << u""_s << 0;
        QTest::newRow("tones together above half the rate")
            << u"100 & 30000"_s << u""_s << HighestFrequencyReminder(48000) << u""_s << 0;
        QTest::newRow("half the rate itself") << u"4000; 100"_s << u"SampleRate=8000"_s << u""_s << u""_s << 0;
        // Exact third octaves take the place of nominal ones; the word quoted is still the one typed.
        QTest::newRow("exact third octaves, a word after")
            << u"20 Hz; 31.5  foo"_s << u"ThirdOctaves=Exact"_s << FrequenciesReminder << u"foo"_s << 13;
        // Keys: the word with a character that is no key, or the twist that is no number of decibels.
        QTest::newRow("every key") << u"DTMF 0123456789*#abcd"_s << u""_s << u""_s << u""_s << 0;
        QTest::newRow("a letter that is no key") << u"dtmf 12 3E4"_s << u""_s << KeysReminder << u"3E4"_s << 8;
        QTest::newRow("no keys") << u"dtmf twist 2"_s << u""_s << KeysReminder << u""_s << 0;
        QTest::newRow("a twist without decibels") << u"dtmf 1 twist"_s << u""_s << KeysReminder << u"twist"_s << 7;
        QTest::newRow("a twist beyond 120 dB") << u"dtmf 1 twist -121"_s << u""_s << KeysReminder << u"twist"_s << 7;
        QTest::newRow("257 keys") << u"dtmf "_s + QString(257, u'1') << u""_s << KeysReminder << u""_s << 0;
        // FFT bins: the count, the range or the length that does not fit is quoted.
        QTest::newRow("multitone") << u"MULTITONE 128 20-20k FFT 262144"_s << u""_s << u""_s << u""_s << 0;
        QTest::newRow("129 tones") << u"multitone 129 20-20000"_s << u""_s << BinsReminder << u"129"_s << 10;
        QTest::newRow("no range") << u"multitone 5 1000"_s << u""_s << BinsReminder << u"1000"_s << 12;
        QTest::newRow("a range from 0 Hz") << u"multitone 5 0-1000"_s << u""_s << BinsReminder << u"0-1000"_s << 12;
        QTest::newRow("an FFT of no power of two")
            << u"multitone 5 20-200 fft 20000"_s << u""_s << BinsReminder << u"20000"_s << 23;
        QTest::newRow("an FFT too short")
            << u"multitone 5 20-200 fft 8192"_s << u""_s << BinsReminder << u"8192"_s << 23;
        QTest::newRow("a word after") << u"multitone 5 20-200 fft 16384 x"_s << u""_s << BinsReminder << u"x"_s << 29;
        QTest::newRow("no length") << u"multitone 5 20-200 fft"_s << u""_s << BinsReminder << u""_s << 0;
        QTest::newRow("multitone above half the rate")
            << u"multitone 3 100-30000"_s << u""_s << HighestFrequencyReminder(48000) << u""_s << 0;
        QTest::newRow("a count that is a nominal third octave")
            << u"multitone 16 20-20000"_s << u"ThirdOctaves=Exact"_s << u""_s << u""_s << 0;
        // A periodic noise: a noise, and its range and length as a multitone's.
        QTest::newRow("periodic with a sine") << u"periodic"_s << u""_s << PeriodicNoiseReminder << u""_s << 0;
        QTest::newRow("periodic, an FFT too long")
            << u"periodic 20-20000 fft 524288"_s << u""_s << PeriodicReminder << u"524288"_s << 22;
        QTest::newRow("periodic, a word for its range")
            << u"Periodic pink"_s << u""_s << PeriodicReminder << u"pink"_s << 9;
        QTest::newRow("fft without multitone")
            << u"20-200 fft 16384"_s << u""_s << FrequenciesReminder << u"fft"_s << 7;
    }

    void reminderAndWord()
    {
        QFETCH(QString, frequencies);
        QFETCH(QString, options);
        QFETCH(QString, reminder);
        const ToneReading reading =
            ReadTone(MakeToneRequest(u"1"_s, u"Sine (Default)"_s, frequencies), ToolRun::Options(options));
        QCOMPARE(reading.refusal.has_value(), !reminder.isEmpty());
        if (!reading.refusal)
            return;
        QCOMPARE(reading.refusal->reminder, reminder);
        QFETCH(QString, word);
        QCOMPARE(reading.refusal->word ? reading.refusal->word->text : QString(), word);
        if (!word.isEmpty())
            QTEST(int(reading.refusal->word->start), "start");
    }

    void frequencyWords()
    {
        QFETCH(QString, frequencies);
        QFETCH(bool, accepted);
        // A refused "@" says what a level may be; too many tones together, how many may be.
        QString reminder = frequencies.contains(u'@') ? LevelReminder : FrequenciesReminder;
        if (frequencies.count(u'&') >= MaxToneTerms)
            reminder = TooManyTonesReminder;
        QCOMPARE(ReminderFor(u"1"_s, u"Sine (Default)"_s, frequencies),
                 accepted ? std::nullopt : std::optional(reminder));
        // A noise has no frequency to combine with another, and needs none at all.
        if (accepted && (frequencies.contains(u'&') || frequencies.contains(u'|')))
            QCOMPARE(ReminderFor(u"1"_s, u"Pink Noise"_s, frequencies), std::optional(NoiseTogetherReminder));
        if (frequencies.trimmed().isEmpty())
            QCOMPARE(ReminderFor(u"1"_s, u"Pink Noise"_s, frequencies), std::nullopt);
    }

    // What a step's tones are read as: the last tone's frequencies, movement, offset and level.
    void toneTerms_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QList<int>>("tones");   // on the left, on the right
        QTest::addColumn<QList<double>>("last"); // from, to, offset, relative dB
        QTest::addColumn<SweepKind>("sweep");
        QTest::newRow("stepped sweep, offset")
            << u"300-3300 25"_s << QList{1, 0} << QList{300., 3300., .25, 0.} << SweepKind::Stepped;
        QTest::newRow("semitones, exponential")
            << u"%-12/%0"_s << QList{1, 0} << QList{220., 440., 0., 0.} << SweepKind::Exponential;
        QTest::newRow("numbers alone") << u"-50 10"_s << QList{1, 0} << QList{440., 440., -.5, 0.} << SweepKind::Steady;
        QTest::newRow("two channels: the tool reads them as typed")
            << u"A4 C#5 10"_s << QList{1, 0} << QList{440., 440., 0., 0.} << SweepKind::Steady;
        QTest::newRow("tones together, a level")
            << u"60 & 7000@-12"_s << QList{2, 0} << QList{7000., 7000., 0., -12.} << SweepKind::Steady;
        QTest::newRow("left | right, a linear sweep")
            << u"440 | 1k:2k 10"_s << QList{1, 1} << QList{1000., 2000., .1, 0.} << SweepKind::Linear;
    }

    void toneTerms()
    {
        QFETCH(QString, step);
        QFETCH(QList<int>, tones);
        QFETCH(QList<double>, last);
        const ToneReading reading = ReadTone(MakeToneRequest(u"1"_s, u"Sine (Default)"_s, step), {});
        QVERIFY(!reading.refusal);
        const ToneMix *mix = &reading.tone.steps.first();
        QCOMPARE(QList({int(mix->left.size()), int(mix->right.size())}), tones);
        const MixTone &tone = mix->twoSides() ? mix->right.last() : mix->left.last();
        QCOMPARE(tone.relativeDb, last[3]);
        if (step.startsWith(u'A')) {
            // Several channels' tones: none of them the step's one tone, and the tool reads them.
            QVERIFY(!tone.term);
            QCOMPARE(tone.frequencies, step);
            return;
        }
        QVERIFY(tone.term);
        QCOMPARE(tone.term->from, last[0]);
        QCOMPARE(tone.term->to, last[1]);
        QCOMPARE(tone.term->parameters.offset, last[2]);
        QTEST(tone.term->sweep, "sweep");
    }

    // No length that passes makes more than 4 GiB of sound data, whatever the target; the reminder
    // names the longest length that does fit, in samples and as a time, and both pass.
    void longestLengthThatFits_data()
    {
        QTest::addColumn<SampleLayout>("layout");
        QTest::newRow("48 kHz, 32 bits, both channels") << SampleLayout{48000, 32, 2};
        QTest::newRow("192 kHz, 32 bits, both channels") << SampleLayout{192000, 32, 2};
        QTest::newRow("8 kHz, 16 bits, one channel") << SampleLayout{8000, 16, 1};
        QTest::newRow("44.1 kHz, 24 bits, one channel") << SampleLayout{44100, 24, 1};
    }

    void longestLengthThatFits()
    {
        QFETCH(SampleLayout, layout);
        const OutputOptions options = ToolRun::Options(u"SampleRate=%1 SampleFormat=%2 Channels=%3"_s.arg(
            QString::number(layout.sampleRate), QString::number(layout.bitsPerSample),
            layout.channels == 2 ? u"Both"_s : u"Mono"_s));
        const auto reminderFor = [&](const QString &length) {
            return ReminderFor(length, u"Sine (Default)"_s, u"440"_s, options);
        };
        const QString reminder = reminderFor(u"9007199254740992s"_s).value_or(QString());
        static const QRegularExpression named(uR"(is (\d+:\d\d:\d\d\.\d\d\d) \((\d+)s\))"_s);
        const QRegularExpressionMatch match = named.match(reminder);
        QVERIFY2(match.hasMatch(), qPrintable(reminder));
        const qint64 samples = match.captured(2).toLongLong();
        const qint64 bytesPerFrame = qint64(layout.bitsPerSample / 8) * layout.channels;
        QVERIFY(samples * bytesPerFrame <= qint64(4) << 30);
        QVERIFY((samples + 1) * bytesPerFrame > MaxSoundDataBytes);
        QCOMPARE(reminderFor(match.captured(2) + u's'), std::nullopt);
        QCOMPARE(reminderFor(match.captured(1)), std::nullopt);
        QCOMPARE(reminderFor(QString::number(samples + 1) + u's'), std::optional(reminder));
    }
};

QUORVANE_TEST_MAIN(FieldGrammarTest)
#include "tst_field_grammar.moc"
