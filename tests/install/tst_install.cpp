// SPDX-License-Identifier: GPL-3.0-or-later

// Installs the build into throw-away prefixes and checks what a packager and a desktop see:
// the files in their places, valid desktop files, and an installed program that starts from its
// bin/ link and finds its cursor in its own folder.

#include "core/plugins.h"
#include "test_files.h"
#include "test_sandbox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPluginLoader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>

using namespace Qt::StringLiterals;

namespace {

constexpr int WaitMs = 60000;
const QString DesktopEntry = u"share/applications/example.quorvane.Quorvane.desktop"_s;
const QString Metainfo = u"share/metainfo/example.quorvane.Quorvane.metainfo.xml"_s;
const QString ProgramFolder = QStringLiteral(QUORVANE_PROGRAM_FOLDER);

// The value of a key in the [Desktop Entry] group.
QString DesktopValue(const QString &path, const QString &key)
{
    const QRegularExpression line(u"^"_s + QRegularExpression::escape(key) + u"=(.*)$"_s,
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(ReadFile(path))).captured(1);
}

QString XmlElement(const QString &path, const QString &element)
{
    const QRegularExpression pattern(u"<"_s + element + u"[^>]*>([^<]*)</"_s + element + u'>');
    return pattern.match(QString::fromUtf8(ReadFile(path))).captured(1).trimmed();
}

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix{TestSandbox::Root() + u"/prefix-XXXXXX"_s};
    QString m_failure;

    // cmake --install of the build folder; false (with m_failure) when it fails.
    bool install(const QString &prefix)
    {
        QProcess cmake;
        cmake.setProcessChannelMode(QProcess::MergedChannels);
        cmake.start(QStringLiteral(QUORVANE_CMAKE),
                    {u"--install"_s, QStringLiteral(QUORVANE_BUILD_DIR), u"--prefix"_s, prefix});
        const bool done = cmake.waitForFinished(WaitMs);
        m_failure = QString::fromUtf8(cmake.readAll());
        return done && cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0;
    }

    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QVERIFY2(install(m_prefix.path()), qPrintable(m_failure));
    }

    void installsEveryFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("source");
        const QString resources = QStringLiteral(QUORVANE_SOURCE_DIR) + u"/resources/"_s;
        QTest::newRow("program") << ProgramFolder + u"/quorvane"_s << QString();
        QTest::newRow("hand cursor beside it") << ProgramFolder + u"/HAND-M.CUR"_s << resources + u"HAND-M.CUR"_s;
        QTest::newRow("desktop entry") << DesktopEntry << resources + u"example.quorvane.Quorvane.desktop"_s;
        QTest::newRow("metainfo") << Metainfo << resources + u"example.quorvane.Quorvane.metainfo.xml"_s;
        for (const int size : {32, 48, 128, 256}) {
            const QString icon = u"icons/hicolor/%1x%1/apps/quorvane.png"_s.arg(size);
            QTest::newRow(qPrintable(u"icon %1"_s.arg(size))) << u"share/"_s + icon << resources + icon;
        }
        QTest::newRow("scalable icon") << u"share/icons/hicolor/scalable/apps/quorvane.svg"_s
                                       << resources + u"icons/quorvane.svg"_s;
    }

    void installsEveryFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, source);
        const QFileInfo file(installed(path));
        QVERIFY2(file.isFile() && !file.isSymLink(), qPrintable(file.filePath()));
        if (source.isEmpty()) {
            QVERIFY(file.isExecutable());
        } else {
            QVERIFY(!file.isExecutable());
            QCOMPARE(QCryptographicHash::hash(ReadFile(file.filePath()), QCryptographicHash::Sha256),
                     QCryptographicHash::hash(ReadFile(source), QCryptographicHash::Sha256));
        }
    }

    // The program loads its player and its sound file reader from its own folder when first needed.
    void pluginsBesideTheProgramLoad()
    {
        QPluginLoader player(installed(ProgramFolder + u'/' + PlaybackPluginFile));
        QVERIFY2(qobject_cast<PlaybackPlugin *>(player.instance()), qPrintable(player.errorString()));
        QPluginLoader reader(installed(ProgramFolder + u'/' + SoundFilePluginFile));
        QVERIFY2(qobject_cast<SoundFilePlugin *>(reader.instance()), qPrintable(reader.errorString()));
    }

    // A relative link keeps working when the installed tree is moved or packaged.
    void commandIsARelativeLinkToTheProgram()
    {
        const QFileInfo command(installed(u"bin/quorvane"_s));
        QVERIFY(command.isSymLink());
        const QString target = QString::fromStdString(std::filesystem::read_symlink(command.filePath().toStdString()));
        QVERIFY2(QDir::isRelativePath(target), qPrintable(target));
        QCOMPARE(command.canonicalFilePath(), QFileInfo(installed(ProgramFolder + u"/quorvane"_s)).canonicalFilePath());
    }

    void validatorsAcceptTheDesktopFiles_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop entry") << u"desktop-file-validate"_s << QStringList{installed(DesktopEntry)};
        QTest::newRow("metainfo") << u"appstreamcli"_s
                                  << QStringList{u"validate"_s, u"--no-net"_s, installed(Metainfo)};
        // The installed tree as a whole: the metainfo's launchable must be there.
        QTest::newRow("installed tree") << u"appstreamcli"_s
                                        << QStringList{u"validate-tree"_s, u"--no-net"_s, m_prefix.path()};
    }

    void validatorsAcceptTheDesktopFiles()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QFAIL(
                qPrintable(u"%1 is missing; ./dev installs it (packages desktop-file-utils, appstream)."_s.arg(tool)));
        QProcess validator;
        validator.setProcessChannelMode(QProcess::MergedChannels);
        validator.start(tool, arguments);
        QVERIFY(validator.waitForFinished(WaitMs));
        const QString output = QString::fromUtf8(validator.readAll());
        QVERIFY2(validator.exitStatus() == QProcess::NormalExit && validator.exitCode() == 0, qPrintable(output));
        // desktop-file-validate passes files with hints; a clean entry has none.
        if (tool == u"desktop-file-validate"_s)
            QVERIFY2(output.trimmed().isEmpty(), qPrintable(output));
    }

    // Software centres pair the metainfo with the entry by name, and the entry with the icon.
    void desktopEntryMetainfoAndIconAgree()
    {
        const QString id = XmlElement(installed(Metainfo), u"id"_s);
        QCOMPARE(XmlElement(installed(Metainfo), u"launchable"_s), id + u".desktop"_s);
        QCOMPARE(QFileInfo(installed(DesktopEntry)).fileName(), id + u".desktop"_s);
        const QString icon = DesktopValue(installed(DesktopEntry), u"Icon"_s);
        QVERIFY(QFileInfo::exists(installed(u"share/icons/hicolor/48x48/apps/%1.png"_s.arg(icon))));
        QCOMPARE(XmlElement(installed(Metainfo), u"icon"_s), icon);
        QCOMPARE(DesktopValue(installed(DesktopEntry), u"Exec"_s), u"quorvane"_s);
        QCOMPARE(XmlElement(installed(Metainfo), u"binary"_s), u"quorvane"_s);
    }

    // Started through bin/, the program must look for its files in lib/quorvane/, where they are.
    void installedProgramFindsItsCursor_data()
    {
        QTest::addColumn<bool>("withCursor");
        QTest::addColumn<QString>("logged");
        QTest::newRow("cursor installed") << true << u"Hand cursor loaded from %1"_s;
        QTest::newRow("cursor removed") << false << u"No hand cursor at %1"_s;
    }

    void installedProgramFindsItsCursor()
    {
        QFETCH(bool, withCursor);
        QFETCH(QString, logged);
        // A prefix of its own, so that removing the cursor disturbs no other case.
        QTemporaryDir prefix(TestSandbox::Root() + u"/prefix-XXXXXX"_s);
        QVERIFY2(install(prefix.path()), qPrintable(m_failure));
        const QString cursor = QFileInfo(prefix.filePath(ProgramFolder)).canonicalFilePath() + u"/HAND-M.CUR"_s;
        if (!withCursor)
            QVERIFY(QFile::remove(cursor));

        const QString config = prefix.filePath(u"config"_s);
        const QString temp = prefix.filePath(u"temp"_s);
        QVERIFY(QDir().mkpath(config));
        QVERIFY(QDir().mkpath(temp));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"XDG_CONFIG_HOME"_s, config);
        environment.insert(u"TEMP"_s, temp);
        environment.insert(u"TMPDIR"_s, temp);
        environment.insert(u"QT_LOGGING_RULES"_s, u"quorvane.*.info=true"_s);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.setWorkingDirectory(prefix.path());
        program.start(prefix.filePath(u"bin/quorvane"_s), {});
        QVERIFY2(program.waitForStarted(WaitMs), qPrintable(program.errorString()));

        QString output;
        const QString expected = logged.arg(cursor);
        const bool seen = QTest::qWaitFor(
            [&] {
                output += QString::fromUtf8(program.readAll());
                return output.contains(expected) || program.state() == QProcess::NotRunning;
            },
            WaitMs);
        const bool running = program.state() == QProcess::Running;
        program.terminate();
        if (!program.waitForFinished(WaitMs)) {
            program.kill();
            program.waitForFinished();
        }
        output += QString::fromUtf8(program.readAll());
        QVERIFY2(seen && output.contains(expected), qPrintable(u"expected \"%1\", got:\n%2"_s.arg(expected, output)));
        QVERIFY2(running, qPrintable(output));
    }
};

QUORVANE_TEST_MAIN(InstallTest)
#include "tst_install.moc"
