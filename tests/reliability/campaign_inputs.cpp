// SPDX-License-Identifier: GPL-3.0-or-later

#include "campaign_inputs.h"

#include <QRandomGenerator>
#include <QSet>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace Campaign {

namespace {

// Lengths the tool reads as a short duration (a few seconds at most).
const QStringList ShortLengths{u"0.05"_s,   u".1"_s,    u"0.2"_s, u"0.1"_s,  u"00:00:00.1"_s, u"0:0:0.05"_s,
                               u"0.0001"_s, u"0.001"_s, u"1"_s,   u"0.5"_s,  u"2.5"_s,        u"100s"_s,
                               u"4800s"_s,  u"01"_s,    u"0:1"_s, u"0.25"_s, u"1.5"_s};

// Lengths that would give a tone without end, which the program refuses without running the tool.
const QStringList EndlessLengths{u""_s,   u" "_s,        u"   "_s, u"0"_s,    u"0.0"_s, u"-1"_s,
                                 u"-0"_s, u"00:00:00"_s, u"0s"_s,  u"-0.5"_s, u"0,0"_s, u"-1:00"_s,
                                 u"."_s,  u"0:0"_s,      u"-"_s,   u"+0"_s,   u"-5s"_s, u"0 0"_s};

// First words the tool rejects. None is read as a type or a frequency (which would leave the tone
// without a length, and so without end).
const QStringList RejectedLengths{
    u"abc"_s,   u"1:2:3:4"_s, u"1e9"_s,       u"1e-3"_s,  u"--help"_s, u"x"_s,     u"0x10"_s, u"%5"_s,    u"=1"_s,
    u"~1"_s,    u"1/2"_s,     u"1%"_s,        u"5k"_s,    u"0.01s"_s,  u"1.2.3"_s, u"inf"_s,  u"1e999"_s, u"\"1\""_s,
    u"'1'"_s,   u"é"_s,       u"1é"_s,        u"\""_s,    u"?"_s,      u"*"_s,     u"1;2"_s,  u"$HOME"_s, u"`id`"_s,
    u"$(id)"_s, u"-h"_s,      u"--version"_s, u"1.0.0"_s, u"0.1."_s,   u"日本"_s,  u"\x01"_s, u"\x7f"_s,  u"1..5"_s,
    u"0.1:"_s,  u".1."_s,     u"1e"_s,        u"1E3"_s,   u"0b1"_s,    u"0.1e"_s,  u"١"_s,    u"½"_s,     u"1,5,5"_s,
    u"1."_s,    u"-V"_s,      u"--"_s,        u"-5x"_s};

// Appended to a short length's first word: none turns it into a longer duration.
const QStringList Suffixes{u"\t"_s, u"\x01"_s, u"\x7f"_s, u"\r"_s, u"\n"_s, u"\""_s, u"'"_s, u"é"_s, u"日本"_s,
                           u"😀"_s,  u"x"_s,    u";"_s,    u" "_s,  u"."_s,  u","_s,  u"-"_s, u"%"_s, u"="_s};

// Further words after a short length (the tool's offset, phase and so on, or nonsense).
const QStringList ExtraWords{u"0"_s,    u"0 0"_s,  u"-n"_s,   u"--help"_s, u"abc"_s, u"1e9"_s,
                             u"sine"_s, u"\""_s,   u"日本"_s, u"-1"_s,     u"+1"_s,  u"nan"_s,
                             u"%5"_s,   u"-j 1"_s, u"3"_s,    u"0.5"_s,    u"100"_s, u"'x'"_s};

const QStringList GoodFrequencies{u"440"_s, u"1000"_s,  u"300-3300"_s, u"300:3300"_s, u"300+3300"_s, u"300/3300"_s,
                                  u"%0"_s,  u"%-12"_s,  u"440,5"_s,    u"1k"_s,       u"0.5k"_s,     u"20000"_s,
                                  u"1 2"_s, u" 440 "_s, u"440 0 0"_s,  u"440  880"_s, u"5000"_s,     u"100-200"_s};

const QStringList BadFrequencies{u"abc"_s,  u"1e9"_s,   u"0-0"_s,   u"-1"_s,       u"--help"_s,  u"-n"_s,
                                 u" "_s,    u"  "_s,    u"nan"_s,   u"inf"_s,      u"\""_s,      u"'440'"_s,
                                 u"440-"_s, u"-"_s,     u","_s,     u"440,5,5"_s,  u"1:2:3:4"_s, u"0"_s,
                                 u"-0"_s,   u"1e-9"_s,  u"日本"_s,  u"440\t880"_s, u"\x01"_s,    u"$(id)"_s,
                                 u"`id`"_s, u"0x1b8"_s, u"1e999"_s, u"-j"_s};

// Every effect of the tool, and the effects-chain separator.
const QSet<QString> &ToolEffects()
{
    static const QSet<QString> effects{
        u"allpass"_s,  u"band"_s,     u"bandpass"_s,   u"bandreject"_s,  u"bass"_s,      u"bend"_s,     u"biquad"_s,
        u"chorus"_s,   u"channels"_s, u"compand"_s,    u"contrast"_s,    u"dcshift"_s,   u"deemph"_s,   u"delay"_s,
        u"dither"_s,   u"divide"_s,   u"downsample"_s, u"earwax"_s,      u"echo"_s,      u"echos"_s,    u"equalizer"_s,
        u"fade"_s,     u"fir"_s,      u"firfit"_s,     u"flanger"_s,     u"gain"_s,      u"highpass"_s, u"hilbert"_s,
        u"input"_s,    u"ladspa"_s,   u"loudness"_s,   u"lowpass"_s,     u"mcompand"_s,  u"newfile"_s,  u"noiseprof"_s,
        u"noisered"_s, u"norm"_s,     u"oops"_s,       u"output"_s,      u"overdrive"_s, u"pad"_s,      u"phaser"_s,
        u"pitch"_s,    u"rate"_s,     u"remix"_s,      u"repeat"_s,      u"restart"_s,   u"reverb"_s,   u"reverse"_s,
        u"riaa"_s,     u"silence"_s,  u"sinc"_s,       u"spectrogram"_s, u"speed"_s,     u"splice"_s,   u"stat"_s,
        u"stats"_s,    u"stretch"_s,  u"swap"_s,       u"synth"_s,       u"tempo"_s,     u"treble"_s,   u"tremolo"_s,
        u"trim"_s,     u"upsample"_s, u"vad"_s,        u"vol"_s,         u":"_s};
    return effects;
}

class Maker
{
public:
    explicit Maker(quint32 seed) : random(seed) {}

    Triple make(int index)
    {
        Triple triple;
        do {
            triple.length = length();
            triple.frequencies = frequencies();
        } while (NamesToolEffect(triple.length) || NamesToolEffect(triple.frequencies));
        triple.waveform = chance(10) ? -1 : int(random.bounded(9));
        triple.fileName = fileName(index);
        triple.plantFolder = chance(2);
        triple.plantOld = !triple.plantFolder && chance(25);
        return triple;
    }

private:
    bool chance(int percent) { return int(random.bounded(100)) < percent; }
    const QString &pick(const QStringList &list) { return list[qsizetype(random.bounded(quint32(list.size())))]; }

    // Text from a mixed alphabet: letters, digits, signs, quotes, control characters, non-ASCII.
    QString junk(int maxLength)
    {
        static const QString alphabet =
            u"abcxyzABCXYZ0123456789 .,:;-+=%/*?!\"'`$()[]{}<>|&#~\\\t\x01\x1b\x7f\u00a0éüß日本語😀"_s;
        QString text;
        const int size = 1 + int(random.bounded(quint32(maxLength)));
        while (text.size() < size) {
            const qsizetype at = qsizetype(random.bounded(quint32(alphabet.size())));
            // Keep surrogate pairs whole.
            if (alphabet[at].isLowSurrogate())
                continue;
            text += alphabet[at];
            if (alphabet[at].isHighSurrogate())
                text += alphabet[at + 1];
        }
        return text;
    }

    QString longText()
    {
        const int size = 1000 + int(random.bounded(29000u));
        switch (random.bounded(3)) {
        case 0:
            return QString(size, u'4');
        case 1:
            return QString(size, u'x');
        default:
            return junk(60).repeated(size / 30);
        }
    }

    QString length()
    {
        const int kind = int(random.bounded(100));
        if (kind < 20)
            return pick(EndlessLengths);
        if (kind < 45) {
            QString text = pick(RejectedLengths);
            if (chance(10))
                text += u' ' + pick(ExtraWords);
            return text;
        }
        if (kind < 50) // very long: a short length buried in nonsense, or nonsense alone
            return chance(50) ? u"0.1x"_s + longText() : u"1"_s + QString(20000, u'x');
        QString text = pick(ShortLengths);
        if (chance(30))
            text.replace(u'.', u','); // a decimal comma, as typed on many keyboards
        if (chance(30))
            text += pick(Suffixes);
        if (chance(25))
            text += u' ' + (chance(70) ? pick(ExtraWords) : junk(8));
        if (chance(10))
            text.prepend(u"  "_s); // blanks before the first word are skipped, other characters are not
        if (chance(10))
            text += u"   "_s;
        return text;
    }

    QString frequencies()
    {
        const int kind = int(random.bounded(100));
        if (kind < 5)
            return {};
        if (kind < 35)
            return pick(GoodFrequencies);
        if (kind < 60)
            return pick(BadFrequencies);
        if (kind < 65)
            return longText();
        if (kind < 75)
            return pick(GoodFrequencies) + u' ' + junk(6);
        return junk(12);
    }

    QString fileName(int index)
    {
        QString stem = u"t%1"_s.arg(index, 4, 10, QLatin1Char('0'));
        switch (random.bounded(20)) {
        case 0:
            return stem + u" with blanks.wav"_s;
        case 1:
            return stem + u" \"quoted\" 'too'.wav"_s;
        case 2:
            return stem + u" é 日本 😀.wav"_s;
        case 3:
            return u"-n "_s + stem + u".wav"_s;
        case 4:
            return stem; // no extension: the tool cannot tell which format to write
        case 5:
            return stem + u".WAV"_s;
        case 6:
            return u"--help "_s + stem + u";rm -rf x.wav"_s;
        case 7:
            return u"."_s + stem + u".wav"_s;
        default:
            return stem + u".wav"_s;
        }
    }

    QRandomGenerator random;
};

} // namespace

QList<Triple> Generate(quint32 seed, int count)
{
    Maker maker(seed);
    QList<Triple> triples;
    for (int i = 0; i < count; ++i)
        triples.append(maker.make(i));
    return triples;
}

bool NamesToolEffect(const QString &text)
{
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (ToolEffects().contains(word.toLower()))
            return true;
    }
    return false;
}

QString Printable(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c == u'\\')
            shown += u"\\\\"_s;
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            shown += u"\\x%1"_s.arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
        if (shown.size() > 60) {
            shown += u"... (%1 characters)"_s.arg(text.size());
            break;
        }
    }
    return u'"' + shown + u'"';
}

} // namespace Campaign
