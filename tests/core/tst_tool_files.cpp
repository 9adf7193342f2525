#include "failure.h"
#include "temp_folder.h"
#include "test_sandbox.h"
#include "tool_files.h"
#include "tool_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// What the build machine's tool files were when the program was built.
const QStringList SourceFiles{u"" QUORVANE_TOOL_101 ""_s, u"" QUORVANE_TOOL_102 ""_s, u"" QUORVANE_TOOL_103 ""_s,
                              u"" QUORVANE_TOOL_104 ""_s, u"" QUORVANE_TOOL_105 ""_s};

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

QStringList ToolFileNames()
{
    QStringList names;
    for (const ToolFile &row : ToolFiles)
        names << QString::fromUtf16(row.fileName);
    return names;
}

} // namespace

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
        QCOMPARE(folder.path(), temp + u"/quorvane-"_s + QString::number(::geteuid()));
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
        QTest::addColumn<QString>("kind");
        QTest::newRow("empty file") << u"empty"_s;
        QTest::newRow("foreign content") << u"foreign"_s;
        QTest::newRow("writable by others") << u"others-writable"_s;
        QTest::newRow("symlink to another file") << u"symlink"_s;
    }

    void replacesUntrustedLeftovers()
    {
        QFETCH(QString, kind);
        const QString sox = ToolPath(ToolFiles[0]);
        const QByteArray real = LoadToolResource(101);
        const QString victim =
            TestSandbox::Root() + u"/victim-"_s + QString::number(QDateTime::currentMSecsSinceEpoch());
        WriteFile(victim, "precious", QFile::ReadOwner | QFile::WriteOwner);
        if (kind == u"empty")
            WriteFile(sox, {}, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        else if (kind == u"foreign")
            WriteFile(sox, "#!/bin/sh\necho planted\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        else if (kind == u"others-writable") {
            WriteFile(sox, real, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QCOMPARE(::chmod(QFile::encodeName(sox).constData(), 0777), 0);
        } else
            QVERIFY(QFile::link(victim, sox));

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
        WriteFile(sox, LoadToolResource(101), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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
        // The whole table: every row's write fails on its own line, and the next row still follows.
        RecordingSteps steps;
        DeployToolFiles(steps, 126);
        QList<qint32> failedLines;
        for (const auto &[line, description] : steps.failures())
            failedLines << line;
        QCOMPARE(failedLines, (QList<qint32>{130, 136, 142, 148, 154}));
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
        WriteFile(path, "data", QFile::ReadOwner);
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
