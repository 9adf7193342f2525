// SPDX-License-Identifier: GPL-3.0-or-later

#include "settings/settings_store.h"
#include "test_files.h"
#include "test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Set in the child process that checks what a fresh process reads from the store.
static const char ChildConfigVariable[] = "QUORVANE_CHILD_CONFIG";

// What keeps the store from being written.
enum class Unwritable
{
    FilePathIsAFolder,
    ConfigFolderUnderAFile,
    ReadOnlyFolder
};
Q_DECLARE_METATYPE(Unwritable)

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void absentKeyGivesDefaultAsText_data();
    void absentKeyGivesDefaultAsText();
    void storedEmptyTextIsNotReplacedByDefault();
    void textRoundTripsExactly_data();
    void textRoundTripsExactly();
    void laterSaveReplacesValue();
    void savedValueIsInTheFileAtOnce();
    void batchWritesOnceAtItsCommit_data();
    void batchWritesOnceAtItsCommit();
    void freshProcessReadsSavedValue();
    void childReadsSetting();
    void unwritableStoreIsReportedNotFatal_data();
    void unwritableStoreIsReportedNotFatal();
    void damagedFileReadsAsDefaults_data();
    void damagedFileReadsAsDefaults();
    void readableKeysSurviveStrayJunk();
    void unquotedListInFileReadsAsText();

private:
    void writeFile(const QByteArray &bytes);
    QString confPath() const { return m_config->filePath(u"Marrowick/Quorvane.conf"_s); }

    std::unique_ptr<QTemporaryDir> m_config;
};

void SettingsStoreTest::initTestCase()
{
    if (qEnvironmentVariableIsSet(ChildConfigVariable))
        return;
    // Before any test moves the store: it lives in the (sandboxed) XDG config folder.
    QCOMPARE(SettingsFilePath(Settings::App, Settings::Section),
             qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Marrowick/Quorvane.conf"_s);
}

void SettingsStoreTest::init()
{
    // Every test starts from its own empty store.
    m_config = std::make_unique<QTemporaryDir>(TestSandbox::Root() + u"/settings-XXXXXX"_s);
    QVERIFY(m_config->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config->path());
    QCOMPARE(SettingsFilePath(Settings::App, Settings::Section), confPath());
}

void SettingsStoreTest::writeFile(const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(m_config->filePath(u"Marrowick"_s)));
    QVERIFY(WriteFile(confPath(), bytes));
}

void SettingsStoreTest::absentKeyGivesDefaultAsText_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Combo1") << Settings::Combo1 << Settings::Combo1Default << u"0"_s;
    QTest::newRow("Text1") << Settings::Text1 << Settings::Text1Default << u"3"_s;
    QTest::newRow("Text2") << Settings::Text2 << Settings::Text2Default << u"300-3300"_s;
    QTest::newRow("negative number") << u"Other"_s << QVariant(-1) << u"-1"_s;
    QTest::newRow("no default") << u"Other"_s << QVariant() << QString();
}

void SettingsStoreTest::absentKeyGivesDefaultAsText()
{
    QFETCH(QString, key);
    QFETCH(QVariant, defaultValue);
    QFETCH(QString, expected);
    QCOMPARE(GetSetting(Settings::App, Settings::Section, key, defaultValue), expected);
    // Reading creates nothing.
    QVERIFY(!QFileInfo::exists(m_config->filePath(u"Marrowick"_s)));
}

void SettingsStoreTest::storedEmptyTextIsNotReplacedByDefault()
{
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text1, QString()));
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text1, Settings::Text1Default), QString());
}

void SettingsStoreTest::textRoundTripsExactly_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("range") << u"300-3300"_s;
    QTest::newRow("decimal comma") << u"2,5"_s;
    QTest::newRow("comma and blank") << u"a, b"_s;
    QTest::newRow("leading and trailing blanks") << u"  3 "_s;
    QTest::newRow("only blanks") << u"   "_s;
    QTest::newRow("double quotes") << u"\"quoted\" text"_s;
    QTest::newRow("single quotes") << u"it's"_s;
    QTest::newRow("ini punctuation") << u"a;b=c#d [General]"_s;
    QTest::newRow("backslashes") << u"C:\\tones\\x.wav"_s;
    QTest::newRow("non-ASCII") << u"Grüße 漢字 ☺ 𝄞"_s;
    QTest::newRow("looks like a variant") << u"@Invalid()"_s;
    QTest::newRow("looks like a byte array") << u"@ByteArray(x)"_s;
    QTest::newRow("control characters") << u"tab\there\r\nline"_s;
    QTest::newRow("negative number") << u"-1"_s;
}

void SettingsStoreTest::textRoundTripsExactly()
{
    QFETCH(QString, value);
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text2, value));
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text2, Settings::Text2Default), value);
}

void SettingsStoreTest::laterSaveReplacesValue()
{
    // What typing "25" does: "2" first, then "25".
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"2"_s));
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"25"_s));
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text1, Settings::Text1Default), u"25"_s);
}

void SettingsStoreTest::savedValueIsInTheFileAtOnce()
{
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Combo1, u"8"_s));
    QFile file(confPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY2(lines.contains("Combo1=8"), lines.join('|').constData());
}

void SettingsStoreTest::batchWritesOnceAtItsCommit_data()
{
    QTest::addColumn<QString>("storedLength");
    QTest::addColumn<bool>("rewritten");
    QTest::newRow("a changed value") << u"7"_s << true;
    QTest::newRow("the values it holds") << u"3"_s << false;
}

void SettingsStoreTest::batchWritesOnceAtItsCommit()
{
    QFETCH(QString, storedLength);
    QFETCH(bool, rewritten);
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text1, storedLength));
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text2, u"300-3300"_s));
    // The store writes a new file and renames it over the old one: a write changes the inode.
    const auto inode = [this] {
        struct stat status = {};
        return ::stat(QFile::encodeName(confPath()).constData(), &status) == 0 ? status.st_ino : 0;
    };
    const auto before = inode();
    {
        SettingsBatch batch(Settings::App, Settings::Section);
        QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"1"_s));
        QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"3"_s)); // the last one counts
        QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text2, u"300-3300"_s));
        QCOMPARE(inode(), before); // held back
        QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text1, {}), storedLength);
        QVERIFY(batch.commit());
    }
    QCOMPARE(inode() != before, rewritten);
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text1, {}), u"3"_s);
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text2, {}), u"300-3300"_s);
}

void SettingsStoreTest::freshProcessReadsSavedValue()
{
    const QString value = u"Grüße, \"300\"-3300 "_s;
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text2, value));

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildConfigVariable), m_config->path());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {u"childReadsSetting"_s});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    QCOMPARE(child.exitCode(), 0);
    const qsizetype start = output.indexOf("VALUE:");
    QVERIFY2(start >= 0, output.constData());
    const QByteArray encoded = output.mid(start + 6, output.indexOf('\n', start) - start - 6).trimmed();
    QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(encoded)), value);
}

// Runs only in the child that freshProcessReadsSavedValue starts.
void SettingsStoreTest::childReadsSetting()
{
    if (!qEnvironmentVariableIsSet(ChildConfigVariable))
        QSKIP("Runs as the child process of freshProcessReadsSavedValue");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qEnvironmentVariable(ChildConfigVariable));
    const QString value = GetSetting(Settings::App, Settings::Section, Settings::Text2, Settings::Text2Default);
    std::printf("\nVALUE:%s\n", value.toUtf8().toBase64().constData());
    std::fflush(stdout);
}

void SettingsStoreTest::unwritableStoreIsReportedNotFatal_data()
{
    QTest::addColumn<Unwritable>("how");
    QTest::newRow("file path is a folder") << Unwritable::FilePathIsAFolder;
    QTest::newRow("config folder under a regular file") << Unwritable::ConfigFolderUnderAFile;
    QTest::newRow("read-only folder") << Unwritable::ReadOnlyFolder;
}

void SettingsStoreTest::unwritableStoreIsReportedNotFatal()
{
    QFETCH(Unwritable, how);
    switch (how) {
    case Unwritable::FilePathIsAFolder:
        QVERIFY(QDir().mkpath(confPath()));
        break;
    case Unwritable::ConfigFolderUnderAFile:
        QVERIFY(WriteFile(m_config->filePath(u"plain"_s), {}));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config->filePath(u"plain/config"_s));
        break;
    case Unwritable::ReadOnlyFolder:
        // Permissions do not stop root, who runs the tests in CI.
        if (::geteuid() == 0)
            QSKIP("Folder permissions do not stop root");
        QVERIFY(QDir().mkpath(m_config->filePath(u"Marrowick"_s)));
        QVERIFY(
            QFile::setPermissions(m_config->filePath(u"Marrowick"_s), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        break;
    }

    QVERIFY(!SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"7"_s));
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text1, Settings::Text1Default), u"3"_s);
    // Failing again is just as quiet, as it happens on every keystroke.
    QVERIFY(!SaveSetting(Settings::App, Settings::Section, Settings::Text1, u"77"_s));
}

void SettingsStoreTest::damagedFileReadsAsDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray noise;
    for (int i = 0; i < 2048; ++i)
        noise.append(char((i * 151 + 7) % 256));
    noise.replace('=', '-');
    QTest::newRow("binary noise") << noise;
    QTest::newRow("text without keys") << QByteArray("this is not a settings file\nat all\n");
}

void SettingsStoreTest::damagedFileReadsAsDefaults()
{
    QFETCH(QByteArray, content);
    writeFile(content);
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Combo1, Settings::Combo1Default), u"0"_s);
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text1, Settings::Text1Default), u"3"_s);
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text2, Settings::Text2Default), u"300-3300"_s);

    // Saving replaces the damaged file, so the store works again from then on.
    QVERIFY(SaveSetting(Settings::App, Settings::Section, Settings::Text2, u"440"_s));
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text2, Settings::Text2Default), u"440"_s);
}

void SettingsStoreTest::readableKeysSurviveStrayJunk()
{
    writeFile("\x01\x02\xff\xfe junk\n[General]\nText1=9\n\xff\x80\n");
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text1, Settings::Text1Default), u"9"_s);
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text2, Settings::Text2Default), u"300-3300"_s);
}

void SettingsStoreTest::unquotedListInFileReadsAsText()
{
    writeFile("[General]\nText2=300, 3300\n");
    QCOMPARE(GetSetting(Settings::App, Settings::Section, Settings::Text2, Settings::Text2Default), u"300, 3300"_s);
}

QUORVANE_TEST_MAIN(SettingsStoreTest)
#include "tst_settings_store.moc"
