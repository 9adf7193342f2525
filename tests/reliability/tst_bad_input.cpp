// SPDX-License-Identifier: GPL-3.0-or-later

// The bad-input campaign: a thousand generated input triples through the real Save command.
// Whatever is typed, the command ends, says "Done." only for a fresh file that a successful run
// wrote, writes nothing anywhere but at the chosen path and in the temporary folder, and takes
// the tool files away again.
//
// QUORVANE_CAMPAIGN_SHARD=k/n runs every n-th triple starting at the k-th, so ctest can run the
// campaign in parallel parts; QUORVANE_CAMPAIGN_SEED and QUORVANE_CAMPAIGN_COUNT change the set.

#include "campaign_inputs.h"
#include "core/run/output_target.h"
#include "core/run/private_files.h"
#include "core/run/temp_folder.h"
#include "core/sox/synth_command.h"
#include "core/tone/field_grammar.h"
#include "fault_fs.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"
#include "window/options_menu.h"
#include "window_fixture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::Literals::StringLiterals;
using namespace WindowFixture;

namespace {

const QByteArray OldContent = "an older file, not a tone";
// Far more than any generated length gives, far less than a run without end would write.
constexpr qint64 LargestExpectedTone = 8 << 20;

// Every file and folder under the folder, as full paths.
QSet<QString> Listing(const QString &folder, QDirIterator::IteratorFlags flags)
{
    QSet<QString> paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, flags);
    while (it.hasNext())
        paths.insert(it.next());
    return paths;
}

} // namespace

class BadInputTest : public QObject
{
    Q_OBJECT

    QList<Campaign::Triple> triples;
    QString shardName = u"1/1"_s;
    QString work;
    QString temp;
    QString outputs;
    QString safetyNet;
    std::unique_ptr<Form1> window;

    int tried = 0;
    int done = 0;
    int toolFailed = 0;
    int nameReminder = 0;
    int lengthReminder = 0;
    int frequenciesReminder = 0;
    int typeReminder = 0;
    int forgotLength = 0;
    int forgotFrequencies = 0;
    int plantedKept = 0;
    int plantedReplaced = 0;
    qint64 longestMs = 0;

    QSet<QString> snapshot() const
    {
        return Listing(TestSandbox::Root(), QDirIterator::Subdirectories) +
               Listing(QDir::currentPath(), QDirIterator::NoIteratorFlags);
    }

    // Writes the tool's arguments for every triple as JSON lines, to check a new seed against the
    // tool alone (each must give a short tone or fail) before it runs here.
    void dumpToolArguments(const QString &file)
    {
        QFile dump(file);
        QVERIFY(dump.open(QIODevice::WriteOnly));
        for (const Campaign::Triple &triple : std::as_const(triples)) {
            const QString waveform = triple.waveform < 0 ? QString() : WaveformLabels().value(triple.waveform);
            const ToneRequest request = MakeToneRequest(triple.length, waveform, triple.frequencies);
            const SynthCommand part = ToolRun::Command(u"OUTPUT"_s, request);
            dump.write(QJsonDocument(QJsonArray::fromStringList(part.arguments)).toJson(QJsonDocument::Compact) + '\n');
        }
        QSKIP("arguments written");
    }

private slots:
    void initTestCase()
    {
        const quint32 seed = qEnvironmentVariableIsSet("QUORVANE_CAMPAIGN_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("QUORVANE_CAMPAIGN_SEED"))
                                 : Campaign::DefaultSeed;
        const int count = qEnvironmentVariableIsSet("QUORVANE_CAMPAIGN_COUNT")
                              ? qEnvironmentVariableIntValue("QUORVANE_CAMPAIGN_COUNT")
                              : Campaign::DefaultCount;
        triples = Campaign::Generate(seed, count);
        if (qEnvironmentVariableIsSet("QUORVANE_CAMPAIGN_SHARD"))
            shardName = qEnvironmentVariable("QUORVANE_CAMPAIGN_SHARD");
        if (qEnvironmentVariableIsSet("QUORVANE_CAMPAIGN_DUMP"))
            dumpToolArguments(qEnvironmentVariable("QUORVANE_CAMPAIGN_DUMP"));

        // The tool's folders sit on a small file system when this machine allows it: a run that
        // went on without end would stop there instead of filling the disk.
        work = TestSandbox::Root() + u"/work"_s;
        QVERIFY(QDir().mkpath(work));
        QString why;
        if (FaultFs::MountSmall(work, 64 << 20, &why))
            safetyNet = work;
        else
            qInfo().noquote() << "no small file system as a safety net:" << why;
        temp = work + u"/temp"_s;
        outputs = work + u"/outputs"_s;
        QVERIFY(QDir().mkpath(temp));
        QVERIFY(QDir().mkpath(outputs));
        qputenv("TEMP", QFile::encodeName(temp));

        KeepHomePageShut();
        window = StartWindow();
    }

    void cleanupTestCase()
    {
        window.reset();
        if (!safetyNet.isEmpty())
            FaultFs::Unmount(safetyNet);
        qInfo().noquote()
            << u"Campaign part %1: %2 input triples tried: \"Done.\" %3, tool failed %4, length must be a "
               u"number %5, frequencies must be numbers %6, type %12, name without extension %13, forgot length %7, "
               u"forgot frequencies %8; planted "
               u"older files kept after a failure %9, replaced by a fresh tone %10; longest Save %11 ms; lost, "
               u"stray or left-over files 0"_s.arg(shardName)
                   .arg(tried)
                   .arg(done)
                   .arg(toolFailed)
                   .arg(lengthReminder)
                   .arg(frequenciesReminder)
                   .arg(forgotLength)
                   .arg(forgotFrequencies)
                   .arg(plantedKept)
                   .arg(plantedReplaced)
                   .arg(longestMs)
                   .arg(typeReminder)
                   .arg(nameReminder);
    }

    void survives_data()
    {
        QTest::addColumn<int>("index");
        const QStringList shard = shardName.split(u'/');
        const int part = shard.value(0).toInt();
        const int parts = shard.value(1).toInt();
        QVERIFY2(parts >= 1 && part >= 1 && part <= parts, qPrintable(shardName));
        for (int i = part - 1; i < triples.size(); i += parts)
            QTest::addRow("%04d", i) << i;
    }

    void survives()
    {
        QFETCH(int, index);
        const Campaign::Triple &triple = triples[index];
        const QString path = outputs + u'/' + triple.fileName;
        if (triple.plantOld) {
            QVERIFY(WriteFile(path, OldContent));
            QFile old(path);
            QVERIFY(old.open(QIODevice::ReadWrite));
            QVERIFY(old.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(12, 0)), QFileDevice::FileModificationTime));
        }
        if (triple.plantFolder)
            QVERIFY(QDir().mkpath(path));

        SetInputs(*window, triple.length, triple.waveform, triple.frequencies);
        const QString description = u"length %1, type %2, frequencies %3, file %4%5"_s.arg(
            Campaign::Printable(window->Text1->text()), QString::number(triple.waveform),
            Campaign::Printable(window->Text2->text()), Campaign::Printable(triple.fileName),
            triple.plantOld      ? u" (an older file there)"_s
            : triple.plantFolder ? u" (a folder there)"_s
                                 : QString());

        const QSet<QString> before = snapshot();
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(path);
        QElapsedTimer clock;
        clock.start();
        window->PushButton2->click();
        longestMs = std::max(longestMs, clock.elapsed());
        ++tried;

        // The command ended properly and said exactly one thing.
        QVERIFY2(!window->CommandBusy, qPrintable(description));
        QCOMPARE(window->pointerState(), Form1::PointerState::Default);
        QVERIFY2(dialogs.count(DialogCall::ErrorReport) == 0,
                 qPrintable(description + u": "_s + dialogs.texts(DialogCall::ErrorReport).join(u" / "_s)));
        const QStringList messages = dialogs.texts(DialogCall::Message);
        QVERIFY2(messages.size() == 1, qPrintable(description + u": "_s + messages.join(u" / "_s)));
        const QString detail = dialogs.calls.last().detail;

        // Nothing in the temporary folder but the empty working folder (no tool files, no
        // half-written copies, nothing else).
        const QDir::Filters everything = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        const QString work = WorkFolder();
        const QStringList left = QDir(work).entryList(everything) +
                                 QDir(temp).entryList(everything).filter(QRegularExpression(u"^(?!quorvane-)"_s));
        QVERIFY2(left.isEmpty(), qPrintable(description + u": left "_s + left.join(u' ')));
        // Nothing new anywhere else but at the chosen path.
        QStringList strays;
        for (const QString &appeared : snapshot() - before) {
            // The folder of the records of files being saved comes with the first Save; no record stays.
            if (appeared != path && !appeared.startsWith(temp + u'/') && appeared != PrivateFileRecords())
                strays.append(appeared);
        }
        QVERIFY2(strays.isEmpty(), qPrintable(description + u": stray files "_s + strays.join(u", "_s)));

        // "Done." without the line under it; a reminder without the word it quotes.
        const QString message = Outcomes(messages).first().section(u"\r\nNot understood: "_s, 0, 0);
        const QFileInfo written(path);
        if (message == u"Done."_s) {
            ++done;
            // Only a fresh regular file, a tone as the tool writes it.
            QVERIFY2(written.isFile() && !triple.plantFolder, qPrintable(description));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray content = file.read(64);
            QVERIFY2(!content.startsWith(OldContent),
                     qPrintable(description + u": the older file passed for a tone"_s));
            QVERIFY2(written.size() <= LargestExpectedTone, qPrintable(description));
            if (triple.plantOld)
                ++plantedReplaced;
            if (path.endsWith(u".wav"_s, Qt::CaseInsensitive)) {
                const WavInfo wav = ReadWav(path);
                QVERIFY2(wav.valid, qPrintable(description + u": "_s + wav.problem));
                QCOMPARE(wav.sampleRate, 48000);
            }
        } else if (message == SaveFailed) {
            // A failure always says why, and an older file the tool never touched is still there.
            QVERIFY2(!detail.isEmpty(), qPrintable(description));
            ++toolFailed;
            if (triple.plantOld) {
                QVERIFY2(ReadFile(path) == OldContent,
                         qPrintable(description + u": the older file is gone or changed"_s));
                ++plantedKept;
            }
        } else if (std::optional(message) == OutputNameReminder(path)) {
            // Reminded before anything ran: an older file stays as it was.
            ++nameReminder;
            QVERIFY2(!triple.plantOld || ReadFile(path) == OldContent, qPrintable(description));
        } else if (message == LengthReminder) {
            ++lengthReminder;
        } else if (message == FrequenciesReminder || message == LevelReminder || message == NoiseRangeReminder ||
                   message == StepsReminder || message == NoiseStepsReminder ||
                   message == WithMenuAdvice(HighestFrequencyReminder(48000))) {
            ++frequenciesReminder;
        } else if (message == TypeReminder) {
            ++typeReminder;
            QVERIFY2(triple.waveform < 0, qPrintable(description));
        } else if (message == ForgotLength) {
            ++forgotLength;
            QVERIFY2(window->Text1->text().isEmpty(), qPrintable(description));
        } else if (message == ForgotFrequencies) {
            ++forgotFrequencies;
            QVERIFY2(!window->Text1->text().isEmpty() && window->Text2->text().isEmpty(), qPrintable(description));
        } else {
            QFAIL(qPrintable(description + u": unexpected message "_s + Campaign::Printable(message)));
        }
        if (message != u"Done."_s && !triple.plantOld && !triple.plantFolder)
            QVERIFY2(!written.exists(), qPrintable(description + u": a file was left without \"Done.\""_s));
    }

    void cleanup()
    {
        // Each triple starts from an empty outputs folder.
        QDir(outputs).removeRecursively();
        QDir().mkpath(outputs);
    }
};

QUORVANE_TEST_MAIN(BadInputTest)
#include "tst_bad_input.moc"
