// SPDX-License-Identifier: GPL-3.0-or-later

// Installs the build into throw-away prefixes and checks what a packager and a desktop see:
// the files in their places, valid desktop files, and an installed program that starts from its
// bin/ link and finds its cursor in its own folder. Then the same for the Debian package made
// from this build: the same files under /usr, the packages it needs, lintian's verdict, and the
// program started from the unpacked package.

#include "core/plugins/plugin_interfaces.h"
#include "core/plugins/plugin_loader.h"
#include "test_files.h"
#include "test_sandbox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
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

struct ToolRun
{
    bool ok = false;
    QString output; // standard output alone when ok, else everything with the reason
};

ToolRun Run(const QString &program, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {false, u"%1 is missing; ./dev installs it (packages dpkg-dev, lintian)."_s.arg(program)};
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(WaitMs);
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {true, output};
    return {false, u"%1 %2 failed:\n%3%4"_s.arg(program, arguments.join(u' '), output,
                                                QString::fromUtf8(process.readAllStandardError()))};
}

// Every file and link below a folder, as paths relative to it, sorted; folders themselves left out.
QStringList FilesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// Starts an installed program offscreen, with settings and temporary folders of its own, and
// waits until it logs the expected line or ends. The log, and whether it was still running then.
std::pair<QString, bool> StartUntilLogged(const QString &program, const QString &folder, const QString &expected)
{
    const QString config = folder + u"/config"_s;
    const QString temp = folder + u"/temp"_s;
    QDir().mkpath(config);
    QDir().mkpath(temp);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"XDG_CONFIG_HOME"_s, config);
    environment.insert(u"TEMP"_s, temp);
    environment.insert(u"TMPDIR"_s, temp);
    environment.insert(u"QT_LOGGING_RULES"_s, u"quorvane.*.info=true"_s);
    QProcess running;
    running.setProcessEnvironment(environment);
    running.setProcessChannelMode(QProcess::MergedChannels);
    running.setWorkingDirectory(folder);
    running.start(program, {});
    if (!running.waitForStarted(WaitMs))
        return {running.errorString(), false};

    QString output;
    // Whether the line came is for the caller to judge from the log.
    (void)QTest::qWaitFor(
        [&] {
            output += QString::fromUtf8(running.readAll());
            return output.contains(expected) || running.state() == QProcess::NotRunning;
        },
        WaitMs);
    const bool stillRunning = running.state() == QProcess::Running;
    running.terminate();
    if (!running.waitForFinished(WaitMs)) {
        running.kill();
        running.waitForFinished();
    }
    output += QString::fromUtf8(running.readAll());
    return {output, stillRunning};
}

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix{TestSandbox::Root() + u"/prefix-XXXXXX"_s};
    QTemporaryDir m_packaging{TestSandbox::Root() + u"/package-XXXXXX"_s};
    QString m_package; // the .deb made from this build
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

    // cpack on the build folder, into a folder of this test's own; false (with m_failure) when
    // no package comes out.
    bool makePackage()
    {
        const ToolRun cpack = Run(
            QStringLiteral(QUORVANE_CPACK),
            {u"--config"_s, QStringLiteral(QUORVANE_BUILD_DIR) + u"/CPackConfig.cmake"_s, u"-B"_s, m_packaging.path()});
        const QStringList made = QDir(m_packaging.path()).entryList({u"*.deb"_s}, QDir::Files);
        m_failure = cpack.output;
        if (!cpack.ok || made.size() != 1)
            return false;
        m_package = m_packaging.filePath(made.first());
        return true;
    }

    QString controlField(const QString &field)
    {
        return Run(u"dpkg-deb"_s, {u"--field"_s, m_package, field}).output.trimmed();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QVERIFY2(install(m_prefix.path()), qPrintable(m_failure));
        QVERIFY2(makePackage(), qPrintable(m_failure));
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
        QTest::newRow("bash completion") << u"share/bash-completion/completions/quorvane"_s
                                         << resources + u"quorvane.bash-completion"_s;
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

        const QString expected = logged.arg(cursor);
        const auto [output, running] = StartUntilLogged(prefix.filePath(u"bin/quorvane"_s), prefix.path(), expected);
        QVERIFY2(output.contains(expected), qPrintable(u"expected \"%1\", got:\n%2"_s.arg(expected, output)));
        QVERIFY2(running, qPrintable(output));
    }

    void packageIsNamedAfterItsVersionAndMachine()
    {
        const ToolRun architecture = Run(u"dpkg"_s, {u"--print-architecture"_s});
        QVERIFY2(architecture.ok, qPrintable(architecture.output));
        const QString version = QStringLiteral(QUORVANE_VERSION);
        QCOMPARE(QFileInfo(m_package).fileName(), u"quorvane_%1_%2.deb"_s.arg(version, architecture.output.trimmed()));
        // The change log's latest entry is this version: a new version needs its entry.
        const QString changelog = QStringLiteral(QUORVANE_SOURCE_DIR) + u"/resources/debian/changelog"_s;
        QVERIFY(ReadFile(changelog).startsWith(u"quorvane (%1) "_s.arg(version).toUtf8()));
    }

    // The package lays out, under /usr, exactly what cmake --install lays out under its prefix,
    // owned by root.
    void packageHoldsWhatInstallDoes()
    {
        const ToolRun contents = Run(u"dpkg-deb"_s, {u"--contents"_s, m_package});
        QVERIFY2(contents.ok, qPrintable(contents.output));
        // drwxr-xr-x root/root 0 2026-12-07 15:10 ./usr/bin/quorvane -> ../lib/quorvane/quorvane
        static const QRegularExpression entry(
            u"^(\\S)\\S+\\s+(\\S+)\\s+\\d+\\s+\\S+\\s+\\S+\\s+\\./usr/(.*?)(?: -> .*)?$"_s);
        QStringList packaged;
        for (const QString &line : contents.output.split(u'\n', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = entry.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            QCOMPARE(match.captured(2), u"root/root"_s);
            if (match.captured(1) != u"d"_s)
                packaged << match.captured(3);
        }
        packaged.sort();
        QCOMPARE(packaged, FilesBelow(m_prefix.path()));
    }

    // apt brings in what the program and its player link, the tool, and Qt's desktop platforms.
    void packageDependsOnWhatItRuns_data()
    {
        QTest::addColumn<QString>("package");
        QTest::newRow("the tool") << u"sox"_s;
        QTest::newRow("widgets") << u"libqt6widgets6"_s;
        QTest::newRow("player") << u"libqt6multimedia6"_s;
        QTest::newRow("sound files") << u"libsndfile1"_s;
        QTest::newRow("the tone window's spectra") << u"libfftw3-double3"_s;
        QTest::newRow("the tone window's SVG pictures") << u"libqt6svg6"_s;
        QTest::newRow("X11 and Wayland") << u"qt6-qpa-plugins"_s;
    }

    void packageDependsOnWhatItRuns()
    {
        QFETCH(QString, package);
        QStringList names;
        for (const QString &dependency : controlField(u"Depends"_s).split(u',', Qt::SkipEmptyParts))
            names << dependency.trimmed().section(u' ', 0, 0);
        QVERIFY2(names.contains(package), qPrintable(names.join(u", "_s)));
    }

    // Errors and warnings fail; the overrides file explains what is accepted.
    void lintianFindsNothing()
    {
        const ToolRun lintian = Run(u"lintian"_s, {u"--fail-on"_s, u"error,warning"_s, m_package});
        QVERIFY2(lintian.ok, qPrintable(lintian.output));
    }

    void unpackedPackageStarts()
    {
        QTemporaryDir root(TestSandbox::Root() + u"/unpacked-XXXXXX"_s);
        const ToolRun unpack = Run(u"dpkg-deb"_s, {u"--extract"_s, m_package, root.path()});
        QVERIFY2(unpack.ok, qPrintable(unpack.output));
        const QString expected =
            u"Hand cursor loaded from %1/usr/lib/quorvane/HAND-M.CUR"_s.arg(QFileInfo(root.path()).canonicalFilePath());
        const auto [output, running] = StartUntilLogged(root.filePath(u"usr/bin/quorvane"_s), root.path(), expected);
        QVERIFY2(output.contains(expected), qPrintable(u"expected \"%1\", got:\n%2"_s.arg(expected, output)));
        QVERIFY2(running, qPrintable(output));
    }
};

QUORVANE_TEST_MAIN(InstallTest)
#include "tst_install.moc"
