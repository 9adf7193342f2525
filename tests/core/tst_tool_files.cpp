// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/failure.h"
#include "core/run/temp_folder.h"
#include "core/run/tool_files.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "tool_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// What the build machine's tool files were when the program was built.
const QStringList SourceFiles{u"" QUORVANE_TOOL_101 ""_s, u"" QUORVANE_TOOL_102 ""_s, u"" QUORVANE_TOOL_103 ""_s,
                              u"" QUORVANE_TOOL_104 ""_s, u"" QUORVANE_TOOL_105 ""_s};

QStringList ToolFileNames()
{
    QStringList names;
    for (const ToolFile &row : ToolFiles)
        names << QString::fromUtf16(row.fileName);
    return names;
}

// Plants a leftover at the tool's path; may refer to a file of the person's that must stay as it is.
using PlantLeftover = std::function<bool(const QString &tool, const QString &precious)>;

} // namespace

Q_DECLARE_METATYPE(PlantLeftover)

class ToolFilesTest : public QObject
{
    Q_OBJECT

    QString temp;

private slots:
    void init() { temp = TestSandbox::FreshTempFolder(); }

    void deploysExactCopiesAndRemovesThem()
    {
        ToolRun::Deploy();
        QDir folder(WorkFolder());
        QCOMPARE(QFileInfo(folder.path()).path(), temp + u"/quorvane-"_s + QString::number(::geteuid()));
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted).size(), 5);
        for (qsizetype i = 0; i < qsizetype(ToolFiles.size()); ++i) {
            const QString path = ToolPath(ToolFiles[size_t(i)]);
            QCOMPARE(path, folder.path() + u'/' + ToolFileNames()[i]);
            QCOMPARE(ReadFile(path), ReadFile(SourceFiles[i]));
            QVERIFY(!ReadFile(path).isEmpty());
            const auto expectedMode = i == 0 ? 0700 : 0600;
            struct stat status
            {
            };
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
            QCOMPARE(status.st_mode & 07777, mode_t(expectedMode));
        }
        ToolRun::Remove();
        QVERIFY(folder.entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty());
    }

    void replacesUntrustedLeftovers_data()
    {
        QTest::addColumn<PlantLeftover>("plant");
        QTest::newRow("empty file") << PlantLeftover(
            [](const QString &tool, const QString &) { return WriteFile(tool, {}, ExecutableByOwner); });
        QTest::newRow("foreign content") << PlantLeftover([](const QString &tool, const QString &) {
            return WriteFile(tool, "#!/bin/sh\necho planted\n", ExecutableByOwner);
        });
        QTest::newRow("writable by others") << PlantLeftover([](const QString &tool, const QString &) {
            return WriteFile(tool, LoadToolResource(101), ExecutableByOwner) &&
                   ::chmod(QFile::encodeName(tool).constData(), 0777) == 0;
        });
        QTest::newRow("symlink to another file")
            << PlantLeftover([](const QString &tool, const QString &precious) { return QFile::link(precious, tool); });
    }

    void replacesUntrustedLeftovers()
    {
        QFETCH(PlantLeftover, plant);
        const QString sox = ToolPath(ToolFiles[0]);
        const QByteArray real = LoadToolResource(101);
        const QString victim =
            TestSandbox::Root() + u"/victim-"_s + QString::number(QDateTime::currentMSecsSinceEpoch());
        QVERIFY(WriteFile(victim, "precious", QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(plant(sox, victim));

        QVERIFY(!IsTrustedCopy(sox, real));
        ToolRun::Deploy();
        QVERIFY(IsTrustedCopy(sox, real));
        QVERIFY(!QFileInfo(sox).isSymLink());
        QCOMPARE(ReadFile(victim), QByteArray("precious")); // never written through
        ToolRun::Remove();
    }

    void reusesTrustedLeftoverUntouched()
    {
        const QString sox = ToolPath(ToolFiles[0]);
        QVERIFY(WriteFile(sox, LoadToolResource(101), ExecutableByOwner));
        const auto inode = [&] {
            struct stat status
            {
            };
            ::stat(QFile::encodeName(sox).constData(), &status);
            return status.st_ino;
        };
        const auto before = inode(); // a rewrite would make a new file
        ToolRun::Deploy();
        QCOMPARE(inode(), before);
        ToolRun::Remove();
    }

    void writeFailureRaisesWithReason()
    {
        qputenv("TEMP", QFile::encodeName(temp + u"/missing-folder"_s));
        try {
            WriteResourceFile("x", ToolPath(ToolFiles[1]));
            QFAIL("no failure raised");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(u"No such file or directory"_s), qPrintable(failure.description()));
        }
        QVERIFY(!FileExists(ToolPath(ToolFiles[1])));
        // The whole table tries nothing in a folder that cannot be made: the run says why, once.
        RecordingSteps steps;
        DeployToolFiles(steps, 126);
        QCOMPARE(steps.failures().size(), 0);
        QVERIFY2(WorkFolderProblem().endsWith(u"cannot be used: No such file or directory."_s),
                 qPrintable(WorkFolderProblem()));
    }

    void existenceAndQuietDeletion()
    {
        QVERIFY(!FileExists(temp + u"/no-folder/file"_s));
        QVERIFY(!FileExists(QString()));
        DeleteFileQuiet(temp + u"/no-folder/file"_s); // nothing happens, nothing raised
        QVERIFY_THROWS_EXCEPTION(Failure, ForceDeleteFile(temp + u"/no-folder/file"_s));

        const QString dangling = temp + u"/dangling"_s;
        QVERIFY(QFile::link(temp + u"/nowhere"_s, dangling));
        QVERIFY(FileExists(dangling)); // the link itself is something at that path
        DeleteFileQuiet(dangling);
        QVERIFY(!FileExists(dangling));
    }

    void readOnlyFileIsDeletedByForcedAttempt()
    {
        const QString path = temp + u"/zlib1.dll"_s;
        QVERIFY(WriteFile(path, "data", QFile::ReadOwner));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        int flags = 0;
        const bool marked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                            (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
        ::close(fd);
        if (!marked)
            QSKIP("this file system or user cannot mark files immutable");
        QVERIFY(::unlink(QFile::encodeName(path).constData()) != 0); // the plain deletion really fails
        DeleteFileQuiet(path);
        QVERIFY(!FileExists(path));
    }

    void missingResourceRaises() { QVERIFY_THROWS_EXCEPTION(Failure, LoadToolResource(106)); }
};

QUORVANE_TEST_MAIN(ToolFilesTest)
#include "tst_tool_files.moc"
