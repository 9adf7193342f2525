// SPDX-License-Identifier: GPL-3.0-or-later

// Faults of the settings store, each seen by a window started in a fresh process as the program
// starts (settings_helper): a damaged, unreadable or read-only store, something that is not a
// file in its place, and the program killed right after an edit or in the middle of typing.

#include "fault_fs.h"
#include "settings/settings_store.h"
#include "store_fixture.h"
#include "test_files.h"
#include "test_sandbox.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QtTest>
#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace StoreFixture;

namespace {

const QString Helper = QStringLiteral(QUORVANE_SETTINGS_HELPER);
const QString CannotSaveInputs = u"Your inputs cannot be saved, so they will not be remembered next time."_s;

// Far larger than any store of ours.
const QByteArray LargeStore = "[General]\nText1=7\n" + QByteArray(2 << 20, ';');

bool MakePipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A lock file as Qt's lock writes it: the owner's process id, program name and host.
bool WriteLock(const QString &lock, qint64 pid, const QString &program, const QString &host)
{
    return WriteFile(lock, QByteArray::number(pid) + '\n' + program.toUtf8() + '\n' + host.toUtf8() + '\n');
}

// A lock left by a program of this user on this computer that has ended.
bool WriteStaleLock(const QString &lock)
{
    QProcess ended;
    ended.start(u"true"_s, QStringList());
    if (!ended.waitForStarted())
        return false;
    const qint64 pid = ended.processId();
    return ended.waitForFinished() && WriteLock(lock, pid, u"quorvane"_s, QSysInfo::machineHostName());
}

// Puts something else where the store or its lock should be.
using PutInPlace = std::function<bool(const QString &store, const QString &lock)>;

// What a freshly started window showed and said.
struct Started
{
    bool ok = false;
    QString problem;
    QString length;
    QString frequencies;
    int type = -2;
    QStringList messages;
    QStringList reports;
};

Started Start(const QStringList &typed = {}, int timeoutMs = 30'000)
{
    Started started;
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(Helper, QStringList{u"start"_s} + typed);
    if (!helper.waitForFinished(timeoutMs)) {
        started.problem = u"the window did not start within %1 s"_s.arg(timeoutMs / 1000);
        helper.kill();
        helper.waitForFinished();
        return started;
    }
    const QJsonObject shown = QJsonDocument::fromJson(helper.readAllStandardOutput()).object();
    if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0 || shown.isEmpty()) {
        started.problem = u"the window process ended badly (status %1)"_s.arg(helper.exitCode());
        return started;
    }
    started.ok = true;
    started.length = shown[u"Text1"_s].toString();
    started.frequencies = shown[u"Text2"_s].toString();
    started.type = shown[u"Combo1"_s].toInt();
    for (const auto &message : shown[u"messages"_s].toArray())
        started.messages.append(message.toString());
    for (const auto &report : shown[u"reports"_s].toArray())
        started.reports.append(report.toString());
    return started;
}

// The number of keys typed, from the last whole line "TYPED <n>" of the helper's output.
qsizetype LastTyped(const QByteArray &output)
{
    const qsizetype end = output.lastIndexOf('\n');
    if (end < 0)
        return 0;
    const qsizetype start = output.lastIndexOf('\n', end - 1) + 1;
    const QByteArray line = output.mid(start, end - start);
    return line.startsWith("TYPED ") ? line.mid(6).toLongLong() : 0;
}

} // namespace

Q_DECLARE_METATYPE(PutInPlace)

class SettingsFaultsTest : public QObject
{
    Q_OBJECT

public:
    // Why the store cannot be read.
    enum class Unreadable
    {
        FolderInItsPlace,
        LinkToItself,
        NoPermissionToRead
    };
    Q_ENUM(Unreadable)

private:
    QString store;
    QString folder;
    QString readOnlyHow;
    int emptyLocks = 0;

    void storeInputs(const QString &length, const QString &frequencies, const QString &type)
    {
        Store(Settings::Text1, length);
        Store(Settings::Text2, frequencies);
        Store(Settings::Combo1, type);
    }

private slots:
    void initTestCase()
    {
        // Asked once: asking opens the store, which must not happen while a pipe sits there.
        store = SettingsFilePath(Settings::App, Settings::Section);
        folder = QFileInfo(store).path();
    }

    void init()
    {
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder));
    }

    void cleanup()
    {
        FaultFs::SetImmutable(folder, false);
        if (!readOnlyHow.isEmpty())
            FaultFs::MakeWritable(folder, readOnlyHow);
        readOnlyHow.clear();
    }

    void damagedStoreStartsCleanly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("reports");
        QRandomGenerator random(7);
        QByteArray noise(4096, Qt::Uninitialized);
        for (char &c : noise)
            c = char(random.bounded(256));
        QTest::newRow("random bytes") << noise << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("only NUL bytes") << QByteArray(100, '\0') << 0;
        QTest::newRow("cut in a value") << QByteArray("[General]\nCombo1=2\nText1=@String(\nText2=\"unterminated") << 0;
        QTest::newRow("a megabyte in one line") << QByteArray(1 << 20, 'A') << 0;
        QTest::newRow("type is not a number") << QByteArray("[General]\nCombo1=abc\nText1=2\nText2=440\n") << 1;
        QTest::newRow("type out of range") << QByteArray("[General]\nCombo1=99999\nText1=2\nText2=440\n") << 1;
    }

    void damagedStoreStartsCleanly()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, reports);
        QVERIFY(WriteFile(store, content));
        const Started started = Start({u"4,5"_s});
        QVERIFY2(started.ok, qPrintable(started.problem));
        // A wrong type is reported once at start-up; nothing else is said.
        QCOMPARE(started.reports.size(), reports);
        QCOMPARE(started.messages, QStringList());
        // The store is readable again and holds what the window shows.
        QCOMPARE(Stored(Settings::Text1), u"4,5"_s);
        QCOMPARE(Stored(Settings::Text2), started.frequencies);
    }

    void readableInputsSurviveADamagedLine()
    {
        // One line of rubbish in an otherwise good store: the inputs around it can still be read.
        QVERIFY(WriteFile(store, "[General]\nCombo1=2\nText1=42\nText2=1000-2000\n\x01\x02 rubbish\n"));
        const Started started = Start();
        QVERIFY2(started.ok, qPrintable(started.problem));
        QCOMPARE(started.messages + started.reports, QStringList());
        QCOMPARE(started.length, u"42"_s);
        QCOMPARE(started.frequencies, u"1000-2000"_s);
        QCOMPARE(started.type, 2);
        QCOMPARE(Stored(Settings::Text1), u"42"_s);
    }

    void unreadableStoreStartsWithDefaults_data()
    {
        QTest::addColumn<Unreadable>("fault");
        QTest::addColumn<bool>("putRight"); // the store is written afresh and holds the inputs
        QTest::newRow("a folder in its place") << Unreadable::FolderInItsPlace << false;
        QTest::newRow("a link to itself") << Unreadable::LinkToItself << true;
        QTest::newRow("no permission to read") << Unreadable::NoPermissionToRead << false;
    }

    void unreadableStoreStartsWithDefaults()
    {
        QFETCH(Unreadable, fault);
        QFETCH(bool, putRight);
        switch (fault) {
        case Unreadable::FolderInItsPlace:
            QVERIFY(QDir().mkpath(store + u"/inside"_s));
            break;
        case Unreadable::LinkToItself:
            QVERIFY(QFile::link(store, store));
            break;
        case Unreadable::NoPermissionToRead:
            if (::geteuid() == 0)
                QSKIP("root reads every file whatever its permissions");
            QVERIFY(WriteFile(store, "[General]\nText1=7\n", QFileDevice::WriteOwner));
            break;
        }
        // Typing says once that the inputs will not be remembered, not at every key, unless the
        // store could be put right.
        const Started started = Start({u"5"_s, u"55"_s});
        QVERIFY2(started.ok, qPrintable(started.problem));
        QCOMPARE(started.reports, QStringList());
        QCOMPARE(started.frequencies, u"300-3300"_s);
        QCOMPARE(started.messages, putRight ? QStringList() : QStringList{CannotSaveInputs});
        if (putRight)
            QCOMPARE(Stored(Settings::Text1), u"55"_s);
    }

    void readOnlyStoreFolderKeepsTheStoredInputs()
    {
        storeInputs(u"2,5"_s, u"500-600"_s, u"4"_s);
        const QByteArray stored = ReadFile(store);
        QString why;
        readOnlyHow = FaultFs::MakeReadOnly(folder, &why);
        if (readOnlyHow.isEmpty())
            QSKIP(qPrintable(why));
        qInfo().noquote() << "read-only by" << readOnlyHow;

        const Started started = Start({u"9"_s, u"99"_s});
        QVERIFY2(started.ok, qPrintable(started.problem));
        QCOMPARE(started.messages, QStringList{CannotSaveInputs});
        QCOMPARE(started.reports, QStringList());
        // The stored inputs are untouched on disk...
        QCOMPARE(ReadFile(store), stored);
        // ...and were shown at start-up (the first text typed replaced the length).
        QVERIFY2(started.frequencies == u"500-600"_s && started.type == 4,
                 qPrintable(started.frequencies + u", type "_s + QString::number(started.type)));
    }

    void somethingElseInPlaceOfTheStoreDoesNotHang_data()
    {
        QTest::addColumn<PutInPlace>("put");
        QTest::addColumn<QString>("told");          // part of the one message, or empty for none
        QTest::addColumn<bool>("remembered");       // the typed length is stored
        QTest::addColumn<QByteArray>("movedAside"); // the store as it was, beside it; empty for none
        QTest::addColumn<bool>("lockStays");
        QTest::newRow("a named pipe as the store")
            << PutInPlace([](const QString &store, const QString &) { return MakePipe(store); }) << CannotSaveInputs
            << false << QByteArray() << false;
        QTest::newRow("our named pipe as the lock")
            << PutInPlace([](const QString &, const QString &lock) { return MakePipe(lock); }) << QString() << true
            << QByteArray() << false;
        QTest::newRow("our folder as the lock") << PutInPlace([](const QString &, const QString &lock) {
            return ::mkdir(QFile::encodeName(lock).constData(), 0700) == 0;
        }) << QString() << true << QByteArray() << false;
        QTest::newRow("another user's pipe as the lock") << PutInPlace([](const QString &, const QString &lock) {
            return MakePipe(lock) && ::lchown(QFile::encodeName(lock).constData(), 65534, 65534) == 0;
        }) << CannotSaveInputs << false << QByteArray() << true;
        // Qt takes "<lock>.rmlock" to remove a stale lock, and waits for that for ever too.
        QTest::newRow("a stale lock, our folder as its remover's lock")
            << PutInPlace([](const QString &, const QString &lock) {
                   return WriteStaleLock(lock) && QDir().mkdir(lock + u".rmlock"_s);
               })
            << QString() << true << QByteArray() << false;
        QTest::newRow("a stale lock, our named pipe as its remover's lock")
            << PutInPlace([](const QString &, const QString &lock) {
                   return WriteStaleLock(lock) && MakePipe(lock + u".rmlock"_s);
               })
            << QString() << true << QByteArray() << false;
        QTest::newRow("a stale lock, another user's pipe as its remover's lock")
            << PutInPlace([](const QString &, const QString &lock) {
                   const QString rmlock = lock + u".rmlock"_s;
                   return WriteStaleLock(lock) && MakePipe(rmlock) &&
                          ::lchown(QFile::encodeName(rmlock).constData(), 65534, 65534) == 0;
               })
            << CannotSaveInputs << false << QByteArray() << true;
        QTest::newRow("a stale lock that cannot be removed")
            << PutInPlace([](const QString &store, const QString &lock) {
                   return WriteFile(store, "[General]\nText1=2\n") && WriteStaleLock(lock) &&
                          FaultFs::SetImmutable(QFileInfo(store).path(), true);
               })
            << CannotSaveInputs << false << QByteArray() << true;
        QTest::newRow("a fresh lock from another computer") << PutInPlace([](const QString &, const QString &lock) {
            return WriteLock(lock, 1, u"quorvane"_s, u"elsewhere.example"_s);
        }) << CannotSaveInputs << false << QByteArray() << true;
        QTest::newRow("a fresh lock of a live program") << PutInPlace([](const QString &, const QString &lock) {
            return WriteLock(lock, QCoreApplication::applicationPid(), QCoreApplication::applicationName(),
                             QSysInfo::machineHostName());
        }) << CannotSaveInputs << false << QByteArray() << true;
        QTest::newRow("a store larger than 1 MiB")
            << PutInPlace([](const QString &store, const QString &) { return WriteFile(store, LargeStore); })
            << store + u".damaged."_s << true << LargeStore << false;
    }

    void somethingElseInPlaceOfTheStoreDoesNotHang()
    {
        QFETCH(PutInPlace, put);
        QFETCH(QString, told);
        QFETCH(bool, remembered);
        QFETCH(QByteArray, movedAside);
        // Each of these made start-up wait for ever (a pipe is read, a lock is waited for), or
        // stall for seconds at start-up and at every key (a huge store).
        const QString lock = store + u".lock"_s;
        QVERIFY(put(store, lock));

        QElapsedTimer clock;
        clock.start();
        const Started started = Start({u"5"_s}, 10'000);
        QVERIFY2(started.ok, qPrintable(started.problem));
        // About a second's wait for a lock at most, once, however many keys are typed.
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(started.reports, QStringList());
        QCOMPARE(started.messages.size(), told.isEmpty() ? 0 : 1);
        QVERIFY2(started.messages.value(0).contains(told), qPrintable(started.messages.value(0)));
        QCOMPARE(started.frequencies, Samples::Frequencies);
        if (remembered)
            QCOMPARE(Stored(Settings::Text1), u"5"_s);
        if (!movedAside.isEmpty())
            QCOMPARE(ReadFile(store + u".damaged"_s), movedAside); // nothing lost
        QTEST(QFileInfo::exists(lock), "lockStays");
    }

    void killedRightAfterAnEditKeepsTheEdit()
    {
        // The program ends without a word (a crash, a power cut of the session): each edit must
        // already be on disk when the next event is handled.
        storeInputs(u"3"_s, u"440"_s, u"1"_s);
        QRandomGenerator random(11);
        for (int round = 0; round < 10; ++round) {
            QString text;
            for (int i = 0, size = 1 + int(random.bounded(8u)); i < size; ++i)
                text += u"0123456789,.:"_s[qsizetype(random.bounded(13u))];
            QProcess helper;
            helper.start(Helper, {u"type"_s, text});
            QVERIFY(helper.waitForStarted());
            QByteArray output;
            while (!output.contains("TYPED " + QByteArray::number(text.size()) + '\n')) {
                QVERIFY2(helper.waitForReadyRead(30'000), "the window process stopped typing");
                output += helper.readAllStandardOutput();
            }
            ::kill(pid_t(helper.processId()), SIGKILL);
            QVERIFY(helper.waitForFinished());
            QCOMPARE(Stored(Settings::Text1), text);
            QCOMPARE(Stored(Settings::Text2), u"440"_s);
            QCOMPARE(Stored(Settings::Combo1), u"1"_s);
        }
    }

    void killedWhileTypingLosesNothingElse()
    {
        // Killed at any moment while saving: the store is never half written, the other inputs are
        // never lost, and the length is the last text reported or the one being written.
        storeInputs(u"3"_s, u"440"_s, u"1"_s);
        const QString text = u"0123456789:0123456789,0123456789"_s;
        QRandomGenerator random(13);
        for (int round = 0; round < 15; ++round) {
            QProcess helper;
            helper.start(Helper, {u"type"_s, text});
            QVERIFY(helper.waitForStarted());
            const int killAfter = 1 + int(random.bounded(quint32(text.size() - 1)));
            QByteArray output;
            while (LastTyped(output) < killAfter) {
                QVERIFY2(helper.waitForReadyRead(30'000),
                         qPrintable(u"the window process stopped typing after: "_s + QString::fromLatin1(output)));
                output += helper.readAllStandardOutput();
            }
            ::kill(pid_t(helper.processId()), SIGKILL);
            QVERIFY(helper.waitForFinished());
            output += helper.readAllStandardOutput();
            const qsizetype reported = LastTyped(output);
            // A kill just as the store's lock file was made leaves it empty, and the next start
            // would wait for it to grow stale (see lockLeftEmptyByAKillDoesNotDelayTheNextStart).
            const QFileInfo lock(store + u".lock"_s);
            if (lock.exists() && lock.size() == 0) {
                ++emptyLocks;
                QVERIFY(QFile::remove(lock.filePath()));
            }
            const QString length = Stored(Settings::Text1);
            QVERIFY2(length == text.left(reported) || length == text.left(reported + 1),
                     qPrintable(u"reported %1 keys, stored \"%2\""_s.arg(reported).arg(length)));
            QCOMPARE(Stored(Settings::Text2), u"440"_s);
            QCOMPARE(Stored(Settings::Combo1), u"1"_s);
        }
        qInfo().noquote() << u"kills that left an empty lock file: %1 of 15"_s.arg(emptyLocks);
    }

    void lockLeftEmptyByAKillDoesNotDelayTheNextStart()
    {
        storeInputs(u"6"_s, u"440"_s, u"1"_s);
        QVERIFY(WriteFile(store + u".lock"_s, QByteArray()));
        const Started started = Start({}, 10'000);
        QVERIFY2(started.ok, qPrintable(started.problem));
    }
};

QUORVANE_TEST_MAIN(SettingsFaultsTest)
#include "tst_settings.moc"
