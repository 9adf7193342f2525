// SPDX-License-Identifier: GPL-3.0-or-later

// Faults of the machine around a command: a temporary folder that is missing, read-only or full,
// an output folder that is full, tool files planted by someone else, and a tool swapped or
// stopped from outside. Each ends in a clear message or the documented behaviour: never a crash,
// a false "Done." or lost data.

#include "child_process.h"
#include "core/field_grammar.h"
#include "core/synth_run.h"
#include "core/temp_folder.h"
#include "core/tool_files.h"
#include "fault_fs.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"
#include "window_fixture.h"

#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace WindowFixture;

namespace {

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
    return ::statvfs(QFile::encodeName(folder).constData(), &status) == 0 ? qint64(status.f_bavail * status.f_frsize)
                                                                          : -1;
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

public:
    enum class Command
    {
        Save,
        Preview
    };
    Q_ENUM(Command)

    // What is wrong with the temporary folder.
    enum class TempFault
    {
        Missing,
        UnderAFile,
        ReadOnly,
        Full
    };
    Q_ENUM(TempFault)

    // What someone else left where the tool files go.
    enum class Planted
    {
        ForeignProgram,
        LinkToAProgram,
        OurToolWritableByOthers,
        OurToolNotExecutable,
        OurToolOwnedByAnotherUser,
        LinkToOurTool,
        LibrariesLinkedToAPreciousFile
    };
    Q_ENUM(Planted)

private:
    QString temp;
    QString outputs;
    QString elsewhere;
    QStringList mounted;
    QString readOnlyFolder;
    QString readOnlyHow;
    std::unique_ptr<Form1> window;

    // Runs the command and returns what it said; the error reports go to reports.
    QStringList run(Command command, const QString &output, QStringList *reports = nullptr, QString *detail = nullptr)
    {
        RecordingDialogs dialogs;
        dialogs.queueSaveAnswer(output);
        (command == Command::Save ? window->PushButton2 : window->PushButton3)->click();
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

    // Makes the folder refuse new files and deletions until the test ends.
    bool makeReadOnly(const QString &folder)
    {
        QString why;
        readOnlyHow = FaultFs::MakeReadOnly(folder, &why);
        if (readOnlyHow.isEmpty()) {
            qInfo().noquote() << why;
            return false;
        }
        readOnlyFolder = folder;
        return true;
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
        temp = StartClean();
        outputs = TestSandbox::NewFolder();
        elsewhere = TestSandbox::NewFolder();
        window = StartWindow();
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
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<TempFault>("fault");
        for (const auto &[command, name, failure] :
             {std::tuple{Command::Save, "Save", SaveFailed}, std::tuple{Command::Preview, "Preview", PreviewFailed}}) {
            QTest::addRow("%s, missing", name) << command << failure << TempFault::Missing;
            QTest::addRow("%s, under a file", name) << command << failure << TempFault::UnderAFile;
            QTest::addRow("%s, read-only", name) << command << failure << TempFault::ReadOnly;
            QTest::addRow("%s, full", name) << command << failure << TempFault::Full;
        }
    }

    void unusableTempFolderFailsClearly()
    {
        QFETCH(Command, command);
        QFETCH(QString, failure);
        QFETCH(TempFault, fault);
        QString folder = temp;
        switch (fault) {
        case TempFault::Missing:
            folder = temp + u"/missing/deeper"_s;
            break;
        case TempFault::UnderAFile:
            QVERIFY(WriteFile(temp + u"/a file"_s, "x"));
            folder = temp + u"/a file/sub"_s;
            break;
        case TempFault::ReadOnly:
            if (!makeReadOnly(temp))
                QSKIP("no folder can be made read-only here");
            break;
        case TempFault::Full:
            if (!mountSmall(temp, 48 << 10)) // smaller than the tool itself
                QSKIP("no small file system can be mounted here");
            break;
        }
        qputenv("TEMP", QFile::encodeName(folder));
        const QStringList before = Left(temp);
        const qint64 freeBefore = FreeBytes(temp);
        SetInputs(*window, u"0.3"_s, 0, u"440"_s);

        QStringList reports;
        QString detail;
        const QStringList messages = run(command, outputs + u"/tone.wav"_s, &reports, &detail);

        // Each tool file that could not be written is reported with its line...
        QVERIFY2(!reports.isEmpty(), qPrintable(messages.join(u' ')));
        for (const QString &report : std::as_const(reports))
            QVERIFY2(report.startsWith(u"Cannot write "_s), qPrintable(report));
        // ...and the command then fails with the reason, never "Done.".
        QCOMPARE(messages, QStringList{failure});
        QVERIFY2(detail.contains(u"sound tool"_s) || detail.contains(u"Cannot start"_s), qPrintable(detail));
        QVERIFY(!QFile::exists(outputs + u"/tone.wav"_s));
        // Nothing was left behind, not even a half-written copy, and the folder was not created.
        QCOMPARE(Left(temp), before);
        QVERIFY(!QFile::exists(temp + u"/missing"_s));
        if (fault == TempFault::Full) // a file system of its own, so nothing else writes there
            QCOMPARE(FreeBytes(temp), freeBefore);
    }

    void readOnlyTempFolderWithOurToolStillWorks()
    {
        // A run cut short left our own tool files; then the folder became read-only. They are used
        // as they are, and the one that cannot be deleted stays, silently, until the next command.
        ToolRun::Deploy();
        if (!makeReadOnly(temp))
            QSKIP("no folder can be made read-only here");
        SetInputs(*window, u"0.3"_s, 0, u"440"_s);
        QStringList reports;
        QCOMPARE(run(Command::Save, outputs + u"/tone.wav"_s, &reports), QStringList{u"Done."_s});
        QCOMPARE(reports, QStringList());
        VerifyTone(outputs + u"/tone.wav"_s, 0.3, 440);
        QCOMPARE(Left(temp).size(), qsizetype(ToolFiles.size()));

        FaultFs::MakeWritable(temp, readOnlyHow);
        readOnlyHow.clear();
        QCOMPARE(run(Command::Save, outputs + u"/again.wav"_s), QStringList{u"Done."_s});
        QCOMPARE(Left(temp), QStringList());
    }

    void tempFolderWithRoomForTheToolOnly()
    {
        // The tool fits, some of its libraries do not: those rows are reported, and the run alone
        // decides the outcome (this build of the tool does not load them).
        if (!mountSmall(temp, 200 << 10))
            QSKIP("no small file system can be mounted here");
        SetInputs(*window, u"0.3"_s, 0, u"440"_s);
        QStringList reports;
        QCOMPARE(run(Command::Save, outputs + u"/tone.wav"_s, &reports), QStringList{u"Done."_s});
        QVERIFY(!reports.isEmpty());
        for (const QString &report : std::as_const(reports))
            QVERIFY2(report.contains(u"No space left"_s), qPrintable(report));
        VerifyTone(outputs + u"/tone.wav"_s, 0.3, 440);
        QCOMPARE(Left(temp), QStringList());
    }

    void fullFolderForTheTone_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<qint64>("room"); // for the tool files, if they go there, but not for two seconds of tone
        QTest::addColumn<QString>("failure");
        QTest::newRow("Save into a full folder") << Command::Save << qint64(64 << 10) << SaveFailed;
        QTest::newRow("Preview into a full temporary folder") << Command::Preview << qint64(700 << 10) << PreviewFailed;
    }

    void fullFolderForTheTone()
    {
        QFETCH(Command, command);
        QFETCH(qint64, room);
        QFETCH(QString, failure);
        // Where the command writes its tone.
        if (!mountSmall(command == Command::Save ? outputs : temp, room))
            QSKIP("no small file system can be mounted here");
        SetInputs(*window, u"2"_s, 0, u"440"_s);
        QString detail;
        QStringList reports;
        const QStringList messages = run(command, outputs + u"/tone.wav"_s, &reports, &detail);
        QCOMPARE(reports, QStringList());
        QCOMPARE(messages, QStringList{failure});
        QVERIFY2(detail.contains(u"No space left"_s), qPrintable(detail));
        QCOMPARE(Left(temp).filter(u".dll"_s), QStringList());
        QVERIFY(!QFile::exists(ToolPath(ToolFiles[0])));
    }

    // --- Tool files that are not ours --------------------------------------------------------

    void foreignToolFilesAreNeverUsed_data()
    {
        QTest::addColumn<Planted>("planted");
        QTest::newRow("a program of someone else") << Planted::ForeignProgram;
        QTest::newRow("a link to a program") << Planted::LinkToAProgram;
        QTest::newRow("our tool, writable by others") << Planted::OurToolWritableByOthers;
        QTest::newRow("our tool, not executable") << Planted::OurToolNotExecutable;
        QTest::newRow("our tool, owned by another user") << Planted::OurToolOwnedByAnotherUser;
        QTest::newRow("a link to our tool") << Planted::LinkToOurTool;
        QTest::newRow("libraries linked to a precious file") << Planted::LibrariesLinkedToAPreciousFile;
    }

    void foreignToolFilesAreNeverUsed()
    {
        QFETCH(Planted, planted);
        const QString marker = elsewhere + u"/the foreign program ran"_s;
        const QString foreign = elsewhere + u"/foreign.sh"_s;
        const QString precious = elsewhere + u"/precious.txt"_s;
        const QByteArray tool = LoadToolResource(ToolFiles[0].resourceId);
        const QString soxPath = ToolPath(ToolFiles[0]);
        QVERIFY(WriteFile(foreign, ForeignProgram(marker), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(WriteFile(precious, "the person's own data"));

        switch (planted) {
        case Planted::ForeignProgram:
            QVERIFY(WriteFile(soxPath, ForeignProgram(marker), ExecutableByOwner));
            break;
        case Planted::LinkToAProgram:
            QVERIFY(QFile::link(foreign, soxPath));
            break;
        case Planted::OurToolWritableByOthers:
            QVERIFY(WriteFile(soxPath, tool,
                              ExecutableByOwner | QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                  QFileDevice::ExeGroup));
            break;
        case Planted::OurToolNotExecutable:
            QVERIFY(WriteFile(soxPath, tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            break;
        case Planted::OurToolOwnedByAnotherUser:
            if (::geteuid() != 0)
                QSKIP("only root can give a file to another user");
            QVERIFY(WriteFile(soxPath, tool, ExecutableByOwner));
            QCOMPARE(::chown(QFile::encodeName(soxPath).constData(), 65534, 65534), 0);
            break;
        case Planted::LinkToOurTool:
            QVERIFY(WriteFile(elsewhere + u"/sox.exe"_s, tool, ExecutableByOwner));
            QVERIFY(QFile::link(elsewhere + u"/sox.exe"_s, soxPath));
            break;
        case Planted::LibrariesLinkedToAPreciousFile:
            QVERIFY(QFile::link(precious, ToolPath(ToolFiles[1])));
            QVERIFY(QFile::link(precious, ToolPath(ToolFiles[4])));
            break;
        }

        SetInputs(*window, u"0.3"_s, 0, u"440"_s);
        QStringList reports;
        QCOMPARE(run(Command::Save, outputs + u"/tone.wav"_s, &reports), QStringList{u"Done."_s});
        QCOMPARE(reports, QStringList());
        QVERIFY2(!QFile::exists(marker), "the planted program ran");
        VerifyTone(outputs + u"/tone.wav"_s, 0.3, 440);
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
            QVERIFY(WriteFile(staged, ForeignProgram(marker), ExecutableByOwner));
            QVERIFY(::rename(QFile::encodeName(staged).constData(),
                             QFile::encodeName(ToolPath(ToolFiles[0])).constData()) == 0);
            swapped = true;
        });
        pass.start(0);
        SetInputs(*window, u"0.3"_s, 0, u"440"_s);
        QString detail;
        const QStringList messages = run(Command::Save, outputs + u"/tone.wav"_s, nullptr, &detail);
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
            // Static: the child runs on this process's stack (vfork), which must stay unmarked.
            static const struct rlimit limit
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
        QTest::addColumn<QString>("reason"); // part of the message's detail
        QTest::newRow("killed") << int(SIGKILL) << QString::number(128 + SIGKILL);
        QTest::newRow("crashed") << int(SIGSEGV) << QString::number(128 + SIGSEGV);
        // Asked to stop, the tool finishes a shorter, complete file and ends with status 0: only
        // the file's own length tells.
        QTest::newRow("terminated") << int(SIGTERM) << u"cut short"_s;
        QTest::newRow("interrupted") << int(SIGINT) << u"cut short"_s;
    }

    void toolStoppedFromOutsideIsNeverDone()
    {
        QFETCH(int, signal);
        QFETCH(QString, reason);
        if (!QFile::exists(u"/proc/self/task/%1/children"_s.arg(::gettid())))
            QSKIP("this kernel does not list a process's children");
        pid_t stopped = 0;
        QElapsedTimer clock;
        QTimer pass;
        connect(&pass, &QTimer::timeout, this, [&] {
            const pid_t tool = FirstChildProcess(QCoreApplication::applicationPid());
            if (stopped || !tool)
                return;
            if (!clock.isValid())
                clock.start();
            else if (clock.elapsed() >= 150) // some of the tone is written by now
                stopped = ::kill(tool, signal) == 0 ? tool : 0;
        });
        pass.start(0);
        SetInputs(*window, u"600"_s, 0, u"440"_s);
        QString detail;
        const QString output = outputs + u"/tone.wav"_s;
        const QStringList messages = run(Command::Save, output, nullptr, &detail);
        pass.stop();
        QVERIFY(stopped);
        QCOMPARE(Left(temp), QStringList());
        QVERIFY2(messages == QStringList{SaveFailed},
                 qPrintable(messages.join(u' ') + u", tone of %1 s"_s.arg(ReadWav(output).durationSeconds())));
        QVERIFY2(detail.contains(reason), qPrintable(detail));
        QFile::remove(output);
    }
};

QUORVANE_TEST_MAIN(FaultsTest)
#include "tst_faults.moc"
