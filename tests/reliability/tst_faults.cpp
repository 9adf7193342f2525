// Faults of the machine around a command: a temporary folder that is missing, read-only or full,
// an output folder that is full, tool files planted by someone else, and a tool swapped or
// stopped from outside. Each ends in a clear message or the documented behaviour: never a crash,
// a false "Done." or lost data.

#include "build_config.h"
#include "fault_fs.h"
#include "field_grammar.h"
#include "form1.h"
#include "home_page.h"
#include "recording_dialogs.h"
#include "settings_store.h"
#include "synth_run.h"
#include "temp_folder.h"
#include "test_sandbox.h"
#include "tool_files.h"
#include "tool_run.h"
#include "wav_analysis.h"

#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString SaveFailed = u"Failed to save tone.\r\nPlease email "_s + QString::fromUtf16(BuildConfig::SupportEmail);
const QString PreviewFailed =
    u"Failed to generate tone.\r\nPlease email "_s + QString::fromUtf16(BuildConfig::SupportEmail) + u'.';

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// What the temporary folder holds, with the program's working folder in it shown by its content.
QStringList Left(const QString &temp)
{
    const QString work = u"quorvane-"_s + QString::number(::geteuid());
    QStringList left = Entries(temp);
    if (left.removeAll(work) > 0) {
        for (const QString &name : Entries(temp + u'/' + work))
            left.append(work + u'/' + name);
    }
    return left;
}

bool WriteFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return !permissions || file.setPermissions(permissions);
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A program that leaves a mark when it runs and writes a file that could pass for the tone.
QByteArray ForeignProgram(const QString &marker)
{
    return "#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\nprintf 'RIFF not a tone' > \"$4\"\n";
}

qint64 FreeBytes(const QString &folder)
{
    struct statvfs status
    {
    };
    return ::statvfs(QFile::encodeName(folder).constData(), &status) == 0 ? qint64(status.f_bavail) * status.f_frsize
                                                                          : -1;
}

// The tool that a command is running right now: our one child process.
pid_t RunningTool()
{
    QDirIterator tasks(u"/proc/self/task"_s, QDir::Dirs | QDir::NoDotAndDotDot);
    while (tasks.hasNext()) {
        QFile children(tasks.next() + u"/children"_s);
        if (children.open(QIODevice::ReadOnly)) {
            const QByteArray pids = children.readAll().trimmed();
            if (!pids.isEmpty())
                return pid_t(pids.split(' ').first().toInt());
        }
    }
    return 0;
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

    QString temp;
    QString outputs;
    QString elsewhere;
    QStringList mounted;
    QString readOnlyFolder;
    QString readOnlyHow;
    std::unique_ptr<Form1> window;

    void startWindow()
    {
        window = std::make_unique<Form1>();
        window->endProcess = [] {};
        window->Form_Load();
    }

    void setInputs(const QString &length, const QString &frequencies)
    {
        window->Text1->setText(length);
        window->Combo1->setCurrentIndex(0);
        window->Text2->setText(frequencies);
    }

    // Runs the command and returns what it said; the error reports go to reports.
    QStringList run(const QString &command, const QString &output, QStringList *reports = nullptr,
                    QString *detail = nullptr)
    {
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(output);
        if (command == u"Save"_s)
            window->PushButton2->click();
        else
            window->PushButton3->click();
        if (reports)
            *reports = dialogs.texts(DialogCall::ErrorReport);
        if (detail) {
            detail->clear();
            for (const DialogCall &call : std::as_const(dialogs.calls)) {
                if (call.kind == DialogCall::Message)
                    *detail = call.detail;
            }
        }
        return dialogs.texts(DialogCall::Message);
    }

    void verifyTone(const QString &path, double frequency)
    {
        const WavInfo wav = ReadWav(path);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.sampleRate, 48000);
        QVERIFY(qAbs(DominantFrequency(wav.firstChannel, wav.sampleRate) - frequency) <= 5);
    }

    bool mountSmall(const QString &folder, qint64 bytes)
    {
        QString why;
        if (!FaultFs::MountSmall(folder, bytes, &why)) {
            qInfo().noquote() << why;
            return false;
        }
        mounted.append(folder);
        return true;
    }

private slots:
    void init()
    {
        SetHomePageChance({[](quint32) { return 1; }, [](const QUrl &) { return true; }});
        const QString store = SettingsFilePath(Settings::App, Settings::Section);
        QFile::remove(store);
        QDir(store).removeRecursively();
        temp = TestSandbox::FreshTempFolder();
        outputs = TestSandbox::FreshTempFolder();
        elsewhere = TestSandbox::FreshTempFolder();
        qputenv("TEMP", QFile::encodeName(temp));
        startWindow();
    }

    void cleanup()
    {
        if (window) {
            QVERIFY(!window->CommandBusy);
            QCOMPARE(window->pointerState(), Form1::PointerState::Default);
        }
        window.reset();
        if (!readOnlyHow.isEmpty())
            FaultFs::MakeWritable(readOnlyFolder, readOnlyHow);
        readOnlyHow.clear();
        for (const QString &folder : std::as_const(mounted))
            FaultFs::Unmount(folder);
        mounted.clear();
    }

    // --- The temporary folder ----------------------------------------------------------------

    void unusableTempFolderFailsClearly_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fault");
        for (const QString &command : {u"Save"_s, u"Preview"_s}) {
            for (const QString &fault : {u"missing"_s, u"under a file"_s, u"read-only"_s, u"full"_s})
                QTest::addRow("%s, %s", qPrintable(command), qPrintable(fault)) << command << fault;
        }
    }

    void unusableTempFolderFailsClearly()
    {
        QFETCH(QString, command);
        QFETCH(QString, fault);
        QString folder = temp;
        if (fault == u"missing"_s) {
            folder = temp + u"/missing/deeper"_s;
        } else if (fault == u"under a file"_s) {
            QVERIFY(WriteFile(temp + u"/a file"_s, "x"));
            folder = temp + u"/a file/sub"_s;
        } else if (fault == u"read-only"_s) {
            QString why;
            readOnlyHow = FaultFs::MakeReadOnly(temp, &why);
            if (readOnlyHow.isEmpty())
                QSKIP(qPrintable(why));
            readOnlyFolder = temp;
        } else if (!mountSmall(temp, 48 << 10)) { // smaller than the tool itself
            QSKIP("no small file system can be mounted here");
        }
        qputenv("TEMP", QFile::encodeName(folder));
        const QStringList before = Left(temp);
        const qint64 freeBefore = FreeBytes(temp);
        setInputs(u"0.3"_s, u"440"_s);

        QStringList reports;
        QString detail;
        const QStringList messages = run(command, outputs + u"/tone.wav"_s, &reports, &detail);

        // Each tool file that could not be written is reported with its line...
        QVERIFY2(!reports.isEmpty(), qPrintable(messages.join(u' ')));
        for (const QString &report : std::as_const(reports))
            QVERIFY2(report.startsWith(u"Cannot write "_s), qPrintable(report));
        // ...and the command then fails with the reason, never "Done.".
        QCOMPARE(messages, QStringList{command == u"Save"_s ? SaveFailed : PreviewFailed});
        QVERIFY2(detail.contains(u"sound tool"_s) || detail.contains(u"Cannot start"_s), qPrintable(detail));
        QVERIFY(!QFile::exists(outputs + u"/tone.wav"_s));
        // Nothing was left behind, not even a half-written copy, and the folder was not created.
        QCOMPARE(Left(temp), before);
        QVERIFY(!QFile::exists(temp + u"/missing"_s));
        if (fault == u"full"_s)
            QCOMPARE(FreeBytes(temp), freeBefore);
    }

    void readOnlyTempFolderWithOurToolStillWorks()
    {
        // A run cut short left our own tool files; then the folder became read-only. They are used
        // as they are, and the one that cannot be deleted stays, silently, until the next command.
        ToolRun::Deploy();
        QString why;
        readOnlyHow = FaultFs::MakeReadOnly(temp, &why);
        if (readOnlyHow.isEmpty())
            QSKIP(qPrintable(why));
        readOnlyFolder = temp;
        setInputs(u"0.3"_s, u"440"_s);
        QStringList reports;
        QCOMPARE(run(u"Save"_s, outputs + u"/tone.wav"_s, &reports), QStringList{u"Done."_s});
        QCOMPARE(reports, QStringList());
        verifyTone(outputs + u"/tone.wav"_s, 440);
        QCOMPARE(Left(temp).size(), qsizetype(ToolFiles.size()));

        FaultFs::MakeWritable(temp, readOnlyHow);
        readOnlyHow.clear();
        QCOMPARE(run(u"Save"_s, outputs + u"/again.wav"_s), QStringList{u"Done."_s});
        QCOMPARE(Left(temp), QStringList());
    }

    void tempFolderWithRoomForTheToolOnly()
    {
        // The tool fits, some of its libraries do not: those rows are reported, and the run alone
        // decides the outcome (this build of the tool does not load them).
        if (!mountSmall(temp, 200 << 10))
            QSKIP("no small file system can be mounted here");
        setInputs(u"0.3"_s, u"440"_s);
        QStringList reports;
        QCOMPARE(run(u"Save"_s, outputs + u"/tone.wav"_s, &reports), QStringList{u"Done."_s});
        QVERIFY(!reports.isEmpty());
        for (const QString &report : std::as_const(reports))
            QVERIFY2(report.contains(u"No space left"_s), qPrintable(report));
        verifyTone(outputs + u"/tone.wav"_s, 440);
        QCOMPARE(Left(temp), QStringList());
    }

    void fullFolderForTheTone_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Save into a full folder") << u"Save"_s;
        QTest::newRow("Preview into a full temporary folder") << u"Preview"_s;
    }

    void fullFolderForTheTone()
    {
        QFETCH(QString, command);
        // Room for the tool files but not for two seconds of tone.
        const QString full = command == u"Save"_s ? outputs : temp;
        if (!mountSmall(full, command == u"Save"_s ? 64 << 10 : 700 << 10))
            QSKIP("no small file system can be mounted here");
        setInputs(u"2"_s, u"440"_s);
        QString detail;
        QStringList reports;
        const QStringList messages = run(command, outputs + u"/tone.wav"_s, &reports, &detail);
        QCOMPARE(reports, QStringList());
        QCOMPARE(messages, QStringList{command == u"Save"_s ? SaveFailed : PreviewFailed});
        QVERIFY2(detail.contains(u"No space left"_s), qPrintable(detail));
        QCOMPARE(Left(temp).filter(u".dll"_s), QStringList());
        QVERIFY(!QFile::exists(ToolPath(ToolFiles[0])));
    }

    // --- Tool files that are not ours --------------------------------------------------------

    void foreignToolFilesAreNeverUsed_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("a program of someone else") << u"program"_s;
        QTest::newRow("a link to a program") << u"link"_s;
        QTest::newRow("our tool, writable by others") << u"group-writable"_s;
        QTest::newRow("our tool, not executable") << u"not executable"_s;
        QTest::newRow("our tool, owned by another user") << u"other owner"_s;
        QTest::newRow("a link to our tool") << u"link to ours"_s;
        QTest::newRow("libraries linked to a precious file") << u"linked libraries"_s;
    }

    void foreignToolFilesAreNeverUsed()
    {
        QFETCH(QString, planted);
        const QString marker = elsewhere + u"/the foreign program ran"_s;
        const QString foreign = elsewhere + u"/foreign.sh"_s;
        const QString precious = elsewhere + u"/precious.txt"_s;
        const QByteArray tool = LoadToolResource(ToolFiles[0].resourceId);
        const QString soxPath = ToolPath(ToolFiles[0]);
        QVERIFY(WriteFile(foreign, ForeignProgram(marker), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(WriteFile(precious, "the person's own data"));

        if (planted == u"program"_s) {
            QVERIFY(WriteFile(soxPath, ForeignProgram(marker),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        } else if (planted == u"link"_s) {
            QVERIFY(QFile::link(foreign, soxPath));
        } else if (planted == u"group-writable"_s) {
            QVERIFY(WriteFile(soxPath, tool,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup));
        } else if (planted == u"not executable"_s) {
            QVERIFY(WriteFile(soxPath, tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        } else if (planted == u"other owner"_s) {
            if (::geteuid() != 0)
                QSKIP("only root can give a file to another user");
            QVERIFY(WriteFile(soxPath, tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
            QCOMPARE(::chown(QFile::encodeName(soxPath).constData(), 65534, 65534), 0);
        } else if (planted == u"link to ours"_s) {
            const QString copy = elsewhere + u"/sox.exe"_s;
            QVERIFY(WriteFile(copy, tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
            QVERIFY(QFile::link(copy, soxPath));
        } else {
            QVERIFY(QFile::link(precious, ToolPath(ToolFiles[1])));
            QVERIFY(QFile::link(precious, ToolPath(ToolFiles[4])));
        }

        setInputs(u"0.3"_s, u"440"_s);
        QStringList reports;
        QCOMPARE(run(u"Save"_s, outputs + u"/tone.wav"_s, &reports), QStringList{u"Done."_s});
        QCOMPARE(reports, QStringList());
        QVERIFY2(!QFile::exists(marker), "the planted program ran");
        verifyTone(outputs + u"/tone.wav"_s, 440);
        // Nothing was written through a link, and what the links pointed at is still there.
        QCOMPARE(ReadFile(foreign), ForeignProgram(marker));
        QCOMPARE(ReadFile(precious), QByteArray("the person's own data"));
        QCOMPARE(Left(temp), QStringList());
    }

    void toolSwappedAfterDeploymentIsNotStarted()
    {
        // Someone replaces the tool between its deployment and its start: the file that would run
        // is checked as it is opened, so the swapped one is refused.
        const QString marker = elsewhere + u"/the foreign program ran"_s;
        bool swapped = false;
        QTimer pass;
        connect(&pass, &QTimer::timeout, this, [&] {
            if (swapped || !QFile::exists(ToolPath(ToolFiles[0])))
                return;
            const QString staged = elsewhere + u"/staged"_s;
            QVERIFY(WriteFile(staged, ForeignProgram(marker),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
            QVERIFY(::rename(QFile::encodeName(staged).constData(),
                             QFile::encodeName(ToolPath(ToolFiles[0])).constData()) == 0);
            swapped = true;
        });
        pass.start(0);
        setInputs(u"0.3"_s, u"440"_s);
        QString detail;
        const QStringList messages = run(u"Save"_s, outputs + u"/tone.wav"_s, nullptr, &detail);
        pass.stop();
        QVERIFY(swapped);
        QCOMPARE(messages, QStringList{SaveFailed});
        QVERIFY2(detail.contains(u"was not started"_s), qPrintable(detail));
        QVERIFY2(!QFile::exists(marker), "the swapped program ran");
        QVERIFY(!QFile::exists(outputs + u"/tone.wav"_s));
        QCOMPARE(Left(temp), QStringList());
    }

    // --- Lengths the tool takes for "no end" ----------------------------------------------------

    void lengthsWithoutEndAreRefused_data()
    {
        QTest::addColumn<QString>("length");
        QTest::newRow("empty") << u""_s;
        QTest::newRow("zero") << u"0"_s;
        QTest::newRow("negative") << u"-1"_s;
        QTest::newRow("zero as a time") << u"00:00"_s;
        // The tool reads a length only from a first word that starts with a digit or a dot; any
        // other word it takes as an option, a type or a frequency, and the tone has no length.
        QTest::newRow("plus sign") << u"+1"_s;
        QTest::newRow("an option of the effect") << u"-n"_s;
        QTest::newRow("not a number") << u"nan"_s;
        QTest::newRow("a type") << u"sine"_s;
        QTest::newRow("an abbreviated type") << u"sq"_s;
        QTest::newRow("a tab before the number") << u"\t5"_s;
    }

    void lengthsWithoutEndAreRefused()
    {
        QFETCH(QString, length);
        // The tool itself, held to a megabyte, proves that it would not stop (every line here would
        // otherwise write until the 4 GiB cap, into the chosen file or the temporary folder).
        QProcess tool;
        tool.setProgram(QStandardPaths::findExecutable(u"sox"_s));
        tool.setArguments(QStringList{u"-r"_s, u"48000"_s, u"-n"_s, outputs + u"/endless.wav"_s, u"synth"_s} +
                          length.split(u' ', Qt::SkipEmptyParts) + QStringList{u"sine"_s, u"440"_s});
        tool.setChildProcessModifier([] {
            const struct rlimit limit
            {
                1 << 20, 1 << 20
            };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        tool.start();
        QVERIFY(tool.waitForFinished(30'000));
        QCOMPARE(tool.exitStatus(), QProcess::CrashExit);
        QCOMPARE(tool.exitCode(), SIGXFSZ);

        const ToneRequest request = MakeToneRequest(length, u"Sine (Default)"_s, u"440"_s);
        QCOMPARE(ToneGrammarReminder(request, SynthSampleRate), std::optional(LengthReminder));
    }

    // --- The tool stopped from outside -------------------------------------------------------

    void toolStoppedFromOutsideIsNeverDone_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("killed") << int(SIGKILL);
        QTest::newRow("crashed") << int(SIGSEGV);
        QTest::newRow("terminated") << int(SIGTERM);
        QTest::newRow("interrupted") << int(SIGINT);
    }

    void toolStoppedFromOutsideIsNeverDone()
    {
        QFETCH(int, signal);
        if (!QFile::exists(u"/proc/self/task/%1/children"_s.arg(::gettid())))
            QSKIP("this kernel does not list a process's children");
        pid_t stopped = 0;
        QElapsedTimer clock;
        QTimer pass;
        connect(&pass, &QTimer::timeout, this, [&] {
            const pid_t tool = RunningTool();
            if (stopped || !tool)
                return;
            if (!clock.isValid())
                clock.start();
            else if (clock.elapsed() >= 150) // some of the tone is written by now
                stopped = ::kill(tool, signal) == 0 ? tool : 0;
        });
        pass.start(0);
        setInputs(u"600"_s, u"440"_s);
        QString detail;
        const QString output = outputs + u"/tone.wav"_s;
        const QStringList messages = run(u"Save"_s, output, nullptr, &detail);
        pass.stop();
        QVERIFY(stopped);
        QCOMPARE(Left(temp), QStringList());
        QVERIFY2(messages == QStringList{SaveFailed},
                 qPrintable(messages.join(u' ') + u", tone of %1 s"_s.arg(ReadWav(output).durationSeconds())));
        // The tool finishes a shorter, complete file and ends with status 0 when asked to stop
        // (SIGTERM, SIGINT): only the file's own length tells.
        const bool finishedShort = signal == SIGTERM || signal == SIGINT;
        QVERIFY2(detail.contains(finishedShort ? u"cut short"_s : QString::number(128 + signal)), qPrintable(detail));
        QFile::remove(output);
    }
};

QUORVANE_TEST_MAIN(FaultsTest)
#include "tst_faults.moc"
