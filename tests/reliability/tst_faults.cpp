// SPDX-License-Identifier: GPL-3.0-or-later

// Faults of the machine around a command: a temporary folder that is missing, read-only or full,
// an output folder that is full, tool files planted by someone else, and a tool swapped or
// stopped from outside. Each ends in a clear message or the documented behaviour: never a crash,
// a false "Done." or lost data.

#include "child_process.h"
#include "core/run/synth_run.h"
#include "core/run/temp_folder.h"
#include "core/run/tool_files.h"
#include "core/tone/tone.h"
#include "fault_fs.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "tool_run.h"
#include "wav_analysis.h"
#include "window_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
    const QString own = WorkFolder();
    QStringList left = Entries(temp);
    if (left.removeAll(work) > 0) {
        for (const QString &name : Entries(temp + u'/' + work)) {
            if (temp + u'/' + work + u'/' + name != own)
                left.append(work + u'/' + name);
        }
        for (const QString &name : Entries(own))
            left.append(work + u'/' + name);
    }
    return left;
}

// Runs the program in a process of its own (settings_helper) to make a preview; what it said
// and made, as JSON.
QProcess *StartPreview(const QString &length, const QString &frequency)
{
    auto *helper = new QProcess;
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper->start(QStringLiteral(QUORVANE_SETTINGS_HELPER), {u"preview"_s, length, frequency});
    return helper;
}

QJsonObject PreviewMade(QProcess *helper)
{
    std::unique_ptr<QProcess> owned(helper);
    if (!helper->waitForFinished(60'000) || helper->exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(helper->readAllStandardOutput()).object();
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
        Proc,
        TooLong,
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

    // What is at the name that Save writes, in a folder that all users share.
    enum class AtTheName
    {
        Nothing,
        OurOlderFile,
        LinkToAPreciousFile,
        OthersFile
    };
    Q_ENUM(AtTheName)

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
        return Outcomes(dialogs.texts(DialogCall::Message));
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
        QTest::addColumn<QString>("reason"); // the system's, in the one message; empty: each file is reported
        for (const auto &[command, name, failure] :
             {std::tuple{Command::Save, "Save", SaveFailed}, std::tuple{Command::Preview, "Preview", PreviewFailed}}) {
            QTest::addRow("%s, missing", name)
                << command << failure << TempFault::Missing << u"No such file or directory"_s;
            QTest::addRow("%s, under a file", name)
                << command << failure << TempFault::UnderAFile << u"Not a directory"_s;
            QTest::addRow("%s, read-only", name)
                << command << failure << TempFault::ReadOnly << u"Read-only file system"_s;
            QTest::addRow("%s, /proc", name) << command << failure << TempFault::Proc << u"No such file or directory"_s;
            QTest::addRow("%s, longer than PATH_MAX", name)
                << command << failure << TempFault::TooLong << u"File name too long"_s;
            QTest::addRow("%s, full", name) << command << failure << TempFault::Full << QString();
        }
    }

    void unusableTempFolderFailsClearly()
    {
        QFETCH(Command, command);
        QFETCH(QString, failure);
        QFETCH(TempFault, fault);
        QFETCH(QString, reason);
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
            if (readOnlyHow != u"read-only mount"_s)
                reason = u"Permission denied|Operation not permitted"_s;
            break;
        case TempFault::Proc:
            folder = u"/proc"_s;
            break;
        case TempFault::TooLong:
            folder = temp + u'/' + QString(PATH_MAX, u'x');
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

        if (reason.isEmpty()) {
            // Each tool file that could not be written is reported with its line...
            QVERIFY2(!reports.isEmpty(), qPrintable(messages.join(u' ')));
            for (const QString &report : std::as_const(reports))
                QVERIFY2(report.startsWith(u"Cannot write "_s), qPrintable(report));
            QVERIFY2(detail.contains(u"sound tool"_s) || detail.contains(u"Cannot start"_s), qPrintable(detail));
        } else {
            // ...but a folder that cannot be used at all is one message, with the folder and the reason.
            QCOMPARE(reports, QStringList());
            QVERIFY2(detail.startsWith(u"The temporary folder %1 cannot be used: "_s.arg(folder)), qPrintable(detail));
            QVERIFY2(detail.contains(QRegularExpression(reason)), qPrintable(detail));
        }
        // The command then fails with the reason, never "Done.".
        QCOMPARE(messages, QStringList{failure});
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
        QTest::addColumn<qint64>("room"); // for the tool files, if they go there, but not for ten seconds of tone
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("failure");
        QTest::newRow("Save into a full folder") << Command::Save << qint64(64 << 10) << u"tone.wav"_s << SaveFailed;
        // The tool stops at the full disk without a word and ends with 0; libsndfile cannot read
        // these, and the WavPack header even claims the whole tone.
        QTest::newRow("Save WavPack into a full folder")
            << Command::Save << qint64(64 << 10) << u"tone.wv"_s << SaveFailed;
        QTest::newRow("Save OKI ADPCM into a full folder")
            << Command::Save << qint64(64 << 10) << u"tone.vox"_s << SaveFailed;
        QTest::newRow("Save IMA ADPCM into a full folder")
            << Command::Save << qint64(64 << 10) << u"tone.ima"_s << SaveFailed;
        QTest::newRow("Preview into a full temporary folder")
            << Command::Preview << qint64(700 << 10) << u"tone.wav"_s << PreviewFailed;
    }

    void fullFolderForTheTone()
    {
        QFETCH(Command, command);
        QFETCH(qint64, room);
        QFETCH(QString, name);
        QFETCH(QString, failure);
        // Where the command writes its tone.
        if (!mountSmall(command == Command::Save ? outputs : temp, room))
            QSKIP("no small file system can be mounted here");
        SetInputs(*window, u"10"_s, 0, u"440"_s);
        QString detail;
        QStringList reports;
        const QStringList messages = run(command, outputs + u'/' + name, &reports, &detail);
        QCOMPARE(reports, QStringList());
        QCOMPARE(messages, QStringList{failure});
        QVERIFY2(detail.contains(u"No space left"_s), qPrintable(detail));
        QCOMPARE(Left(temp).filter(u".dll"_s), QStringList());
        QVERIFY(!QFile::exists(ToolPath(ToolFiles[0])));
    }

    void inheritedFileSizeLimitIsNamed()
    {
        // A session with "ulimit -f 1024": that limit, not the 4 GiB of a wave file, stopped the tool.
        ToolRun::Deploy(); // before the limit, which the tool files would not fit in
        struct rlimit inherited
        {
        };
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &inherited), 0);
        const struct rlimit limit
        {
            1 << 20, inherited.rlim_max
        };
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        SetInputs(*window, u"10"_s, 0, u"440"_s);
        QString detail;
        const QStringList messages = run(Command::Save, outputs + u"/tone.wav"_s, nullptr, &detail);
        if (::setrlimit(RLIMIT_FSIZE, &inherited) != 0)
            qFatal("the file size limit cannot be put back");
        QCOMPARE(messages, QStringList{SaveFailed});
        QVERIFY2(detail.contains(u"1048576 bytes (ulimit -f 1024)"_s), qPrintable(detail));
    }

    // --- Other users --------------------------------------------------------------------------

    void saveInASharedFolderNeverWritesThroughOthersFiles_data()
    {
        QTest::addColumn<int>("mode"); // of the folder
        QTest::addColumn<AtTheName>("atTheName");
        QTest::addColumn<QString>("refused"); // part of the reminder; empty: saved
        // Like /tmp; a group's folder that its members share; a folder open to all without the sticky bit.
        for (const int mode : {01777, 01770, 0777}) {
            QTest::addRow("%o, nothing there", mode) << mode << AtTheName::Nothing << QString();
            QTest::addRow("%o, an older file of ours", mode) << mode << AtTheName::OurOlderFile << QString();
            QTest::addRow("%o, another user's link to a file of ours", mode)
                << mode << AtTheName::LinkToAPreciousFile << u"is a link"_s;
            QTest::addRow("%o, another user's file, open to all", mode)
                << mode << AtTheName::OthersFile << u"belongs to another user"_s;
        }
        // Only the person may change the folder: a link there is theirs, and is written through.
        QTest::newRow("755, a link") << 0755 << AtTheName::LinkToAPreciousFile << QString();
    }

    void saveInASharedFolderNeverWritesThroughOthersFiles()
    {
        QFETCH(int, mode);
        QFETCH(AtTheName, atTheName);
        QFETCH(QString, refused);
        if (::geteuid() != 0)
            QSKIP("only root can plant files of another user");
        const QString shared = TestSandbox::NewFolder();
        QVERIFY(::chown(QFile::encodeName(shared).constData(), 0, 65534) == 0 &&
                ::chmod(QFile::encodeName(shared).constData(), mode_t(mode)) == 0);
        const QString target = shared + u"/tone.wav"_s;
        const QString precious = elsewhere + u"/precious.txt"_s;
        const QByteArray theirs = "another user's data";
        QVERIFY(WriteFile(precious, "the person's own data", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        if (atTheName == AtTheName::OurOlderFile)
            QVERIFY(WriteFile(target, "an older file"));
        if (atTheName == AtTheName::LinkToAPreciousFile)
            QVERIFY(QFile::link(precious, target) &&
                    ::lchown(QFile::encodeName(target).constData(), 65534, 65534) == 0);
        if (atTheName == AtTheName::OthersFile)
            QVERIFY(WriteFile(target, theirs, QFileDevice::Permissions(0x6666)) &&
                    ::chown(QFile::encodeName(target).constData(), 65534, 65534) == 0);

        SetInputs(*window, u"0.3"_s, 0, u"440"_s);
        const QStringList messages = run(Command::Save, target);
        QCOMPARE(Entries(shared), QStringList{u"tone.wav"_s}); // no private file left beside it
        if (mode == 0755) {
            QCOMPARE(messages, QStringList{u"Done."_s});
            VerifyTone(precious, 0.3, 440);
        } else if (refused.isEmpty()) {
            QCOMPARE(messages, QStringList{u"Done."_s});
            VerifyTone(target, 0.3, 440);
            QCOMPARE(QFileInfo(target).ownerId(), ::geteuid());
        } else {
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages[0].startsWith(target + u' ' + refused) && messages[0].contains(shared),
                     qPrintable(messages[0]));
            QCOMPARE(ReadFile(precious), QByteArray("the person's own data"));
            if (atTheName == AtTheName::OthersFile)
                QCOMPARE(ReadFile(target), theirs);
        }
        QCOMPARE(Left(temp), QStringList());
    }

    // --- Names the tool would read as more than a name ----------------------------------------

    void saveNeverLetsTheToolReadTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("existing"); // what is at the name before; empty: nothing
        QTest::addColumn<bool>("reminded");       // else saved as a tone at exactly that name
        // A playlist's lines name an address fetched through the shell and another sound file.
        const QByteArray playlist = "http://127.0.0.1:9/$(touch marker)\nvictim.wav\n";
        QTest::newRow("an .m3u playlist") << u"list.m3u"_s << playlist << true;
        QTest::newRow("a .PLS playlist, upper case")
            << u"list.PLS"_s << QByteArray("[playlist]\nFile1=victim.wav\n") << true;
        QTest::newRow("a new .m3u name") << u"new.m3u"_s << QByteArray() << true;
        QTest::newRow("no extension: the tool cannot tell the format") << u"noext"_s << QByteArray() << true;
        QTest::newRow("a wildcard that matches another file") << u"vic?im.wav"_s << QByteArray() << false;
        QTest::newRow("brackets that match another file") << u"vi[c]tim.wav"_s << QByteArray() << false;
        QTest::newRow("an older tone, replaced whole") << u"older.wav"_s << QByteArray("an older file") << false;
    }

    void saveNeverLetsTheToolReadTheName()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, existing);
        QFETCH(bool, reminded);
        const QString target = outputs + u'/' + name;
        const QString victim = outputs + u"/victim.wav"_s;
        QVERIFY(WriteFile(victim, "the person's own tone"));
        if (!existing.isEmpty())
            QVERIFY(WriteFile(target, existing));

        SetInputs(*window, u"0.3"_s, 0, u"440"_s);
        const QStringList messages = run(Command::Save, target);
        QCOMPARE(ReadFile(victim), QByteArray("the person's own tone"));
        QVERIFY(!QFileInfo::exists(outputs + u"/marker"_s));
        QVERIFY(!QFileInfo::exists(u"marker"_s)); // where the tool runs
        if (reminded) {
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages.first().contains(u"playlist, not a sound format"_s) ||
                         messages.first().startsWith(u'"' + name + u"\" has no extension"_s),
                     qPrintable(messages.first()));
            QCOMPARE(QFileInfo::exists(target), !existing.isEmpty());
            if (!existing.isEmpty())
                QCOMPARE(ReadFile(target), existing);
        } else {
            QCOMPARE(messages, QStringList{u"Done."_s});
            VerifyTone(target, 0.3, 440);
        }
        QStringList expected{u"victim.wav"_s, name};
        expected.removeDuplicates();
        if (reminded && existing.isEmpty())
            expected.removeAll(name);
        const QStringList left = Entries(outputs);
        QCOMPARE(QSet<QString>(left.begin(), left.end()), QSet<QString>(expected.begin(), expected.end()));
    }

    // --- Two programs of one user -------------------------------------------------------------

    void twoProgramsPreviewSideBySide()
    {
        // Each program makes and plays its own tone, in a folder of its own, however they overlap.
        QProcess *first = StartPreview(u"120"_s, u"440"_s);
        QTest::qWait(200);
        QProcess *second = StartPreview(u"120"_s, u"1000"_s);
        for (const auto &[made, frequency] : {std::pair{PreviewMade(first), 440.0}, {PreviewMade(second), 1000.0}}) {
            QVERIFY2(made[u"messages"_s].toArray().isEmpty(), qPrintable(made[u"details"_s].toString()));
            QCOMPARE(made[u"seconds"_s].toDouble(), 120.0);
            QVERIFY2(qAbs(made[u"frequency"_s].toDouble() - frequency) < 2, qPrintable(QString::number(frequency)));
        }
        // Each program took its folder away when it ended.
        QCOMPARE(Left(temp), QStringList());
    }

    void foldersLeftByEndedProgramsGo()
    {
        // A crash left a working folder in ours, and one beside it from a time ours was taken.
        const QString work = temp + u"/quorvane-"_s + QString::number(::geteuid());
        const QString crashed = work + u"/run-abc123"_s;
        const QString fresh = work + u"-def456"_s;
        for (const QString &folder : {crashed, fresh}) {
            QVERIFY(QDir().mkpath(folder) && WriteFile(folder + u"/preview.wav"_s, "old"));
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0700) == 0);
            const struct timespec times[2]{{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0) == 0);
        }
        QCOMPARE(PreviewMade(StartPreview(u"0.2"_s, u"440"_s))[u"seconds"_s].toDouble(), 0.2);
        QVERIFY(!QFile::exists(crashed));
        // Ours taken by a link: the program works in a fresh folder, which goes when it ends, and
        // the old one beside it goes too.
        QVERIFY(QDir(work).removeRecursively() && QFile::link(elsewhere, work));
        QCOMPARE(PreviewMade(StartPreview(u"0.2"_s, u"440"_s))[u"seconds"_s].toDouble(), 0.2);
        QCOMPARE(Entries(temp), QStringList{QFileInfo(work).fileName()});
        QCOMPARE(Entries(elsewhere), QStringList());
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

    void closingTheWindowDuringASaveLeavesNothing()
    {
        // The program ends as the window closes (endProcess): by then the file being written is gone.
        const QString output = outputs + u"/long.wav"_s;
        QVERIFY(WriteFile(output, "an older file"));
        QStringList leftAtTheEnd{u"the program did not end"_s};
        bool closed = false;
        window->endProcess = [&] { leftAtTheEnd = Entries(outputs); };
        QTimer pass;
        connect(&pass, &QTimer::timeout, this, [&] {
            if (!PrivateFileBeingWritten(outputs).isEmpty() && !std::exchange(closed, true))
                window->close();
        });
        pass.start(0);
        SetInputs(*window, u"600"_s, 0, u"440"_s);
        run(Command::Save, output);
        QCOMPARE(leftAtTheEnd, QStringList{u"long.wav"_s});
        QCOMPARE(ReadFile(output), QByteArray("an older file"));
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
        QCOMPARE(ReadTone(request, {}).refusal->reminder, LengthReminder);
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
        // The tone would have replaced an older file: that stays as it was.
        const QString output = outputs + u"/tone.wav"_s;
        QVERIFY(WriteFile(output, "an older file"));
        const QStringList messages = run(Command::Save, output, nullptr, &detail);
        pass.stop();
        QVERIFY(stopped);
        QCOMPARE(Left(temp), QStringList());
        QVERIFY2(messages == QStringList{SaveFailed},
                 qPrintable(messages.join(u' ') + u", tone of %1 s"_s.arg(ReadWav(output).durationSeconds())));
        QVERIFY2(detail.contains(reason), qPrintable(detail));
        QCOMPARE(ReadFile(output), QByteArray("an older file"));
        QCOMPARE(Entries(outputs), QStringList{u"tone.wav"_s});
    }
};

QUORVANE_TEST_MAIN(FaultsTest)
#include "tst_faults.moc"
