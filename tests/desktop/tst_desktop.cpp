// SPDX-License-Identifier: GPL-3.0-or-later

// The real program on a real X server (a private Xvfb), driven with xdotool the way a person
// uses it: keys and clicks only. A probe plugin loaded into the program tells which window
// shows what (tests/desktop/window_probe.cpp); everything else is checked on disk. A private
// session bus with the desktop's accessibility bus on it shows the window as a screen reader
// reads it.

#include "core/run/temp_folder.h"
#include "screen_reader.h"
#include "test_files.h"
#include "test_sandbox.h"
#include "wav_analysis.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Generous: the machine may be busy with other tests.
constexpr int WaitMs = 30000;

const QStringList ToolFileNames{u"sox.exe"_s, u"LibMad.dll"_s, u"LibMp3Lame.dll"_s, u"pthreadgc2.dll"_s,
                                u"zlib1.dll"_s};

// Where the buttons' middles are in the window, from the designed layout (twips / 15).
const QPoint SampleDataButton(268, 21);
const QPoint LengthTipButton(500, 71);
const QPoint FrequencyTipButton(500, 131);
const QPoint PreviewButton(268, 236);

// An object on the accessibility bus: the bus name of its program and its path there.
struct AtspiObject
{
    QString service;
    QDBusObjectPath path;
};

const QDBusArgument &operator>>(const QDBusArgument &argument, AtspiObject &object)
{
    argument.beginStructure();
    argument >> object.service >> object.path;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const AtspiObject &object)
{
    argument.beginStructure();
    argument << object.service << object.path;
    argument.endStructure();
    return argument;
}

// What a screen reader learns of one control.
struct Heard
{
    QString name;
    QString role;
    QString description;
    bool focusable;
    bool showing;
};

// The accessibility bus as a screen reader uses it: the registry lists the programs, and each
// program answers for its own tree.
class AtspiReader
{
public:
    explicit AtspiReader(const QString &sessionBus)
    {
        QDBusConnection session = QDBusConnection::connectToBus(sessionBus, u"quorvane-test-session"_s);
        const QDBusMessage reply = session.call(
            QDBusMessage::createMethodCall(u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, u"org.a11y.Bus"_s, u"GetAddress"_s));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            problem = u"no accessibility bus: "_s + reply.errorMessage();
            return;
        }
        m_bus = QDBusConnection::connectToBus(reply.arguments().constFirst().toString(), u"quorvane-test-a11y"_s);
        if (!m_bus.isConnected())
            problem = u"cannot connect to the accessibility bus: "_s + m_bus.lastError().message();
    }

    // The root of the program of that name, once it has joined the registry.
    std::optional<AtspiObject> application(const QString &name)
    {
        for (const AtspiObject &program :
             children({u"org.a11y.atspi.Registry"_s, QDBusObjectPath(u"/org/a11y/atspi/accessible/root"_s)})) {
            if (property(program, u"Name"_s) == name)
                return program;
        }
        return std::nullopt;
    }

    // Every object below root, depth first. A drop-down list counts as one control: its items are
    // what it holds, heard when it opens.
    QList<Heard> tree(const AtspiObject &root)
    {
        QList<Heard> heard;
        for (const AtspiObject &child : children(root)) {
            const QVariant state = call(child, u"GetState"_s);
            const QList<uint> bits = state.isValid() ? qdbus_cast<QList<uint>>(state) : QList<uint>();
            const auto has = [&](int state) { return bits.size() == 2 && (bits[state / 32] >> (state % 32)) & 1; };
            // AT-SPI's state numbers: focusable 11, showing 25.
            heard.append({property(child, u"Name"_s), call(child, u"GetRoleName"_s).toString(),
                          property(child, u"Description"_s), has(11), has(25)});
            if (heard.constLast().role != u"combo box"_s)
                heard.append(tree(child));
        }
        return heard;
    }

    QString problem;

private:
    QVariant call(const AtspiObject &object, const QString &method)
    {
        const QDBusMessage reply = m_bus.call(
            QDBusMessage::createMethodCall(object.service, object.path.path(), u"org.a11y.atspi.Accessible"_s, method));
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                   ? reply.arguments().constFirst()
                   : QVariant();
    }

    QString property(const AtspiObject &object, const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(object.service, object.path.path(),
                                                          u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get << u"org.a11y.atspi.Accessible"_s << name;
        const QDBusMessage reply = m_bus.call(get);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().constFirst().value<QDBusVariant>().variant().toString();
    }

    QList<AtspiObject> children(const AtspiObject &object)
    {
        const QVariant list = call(object, u"GetChildren"_s);
        return list.isValid() ? qdbus_cast<QList<AtspiObject>>(list) : QList<AtspiObject>();
    }

    QDBusConnection m_bus{QString()};
};

struct ProbeEvent
{
    QString event;
    QString window;
    QString className;
    QString name;
    QString text;
};

} // namespace

class DesktopTest : public QObject
{
    Q_OBJECT

    QProcess m_xvfb;
    QProcess m_sessionBus;
    QString m_sessionBusAddress;
    QProcess m_program;
    QString m_display;
    QString m_mainWindow;
    QString m_output;
    QString m_temp;
    QString m_settingsFile;
    QList<ProbeEvent> m_events;
    QByteArray m_programOutput;
    QString m_failure;

    QProcessEnvironment displayEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DISPLAY"_s, m_display);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        return environment;
    }

    // Runs an X client to its end; false (with m_failure set) unless it exits with 0.
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(displayEnvironment());
        process.start(program, arguments);
        if (!process.waitForFinished(WaitMs)) {
            process.kill();
            process.waitForFinished();
            m_failure = u"%1 %2 did not finish"_s.arg(program, arguments.join(u' '));
            return false;
        }
        if (output)
            *output = QString::fromUtf8(process.readAllStandardOutput());
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            m_failure = u"%1 %2 failed: %3"_s.arg(program, arguments.join(u' '),
                                                  QString::fromUtf8(process.readAllStandardError()));
            return false;
        }
        return true;
    }

    bool xdotool(const QStringList &arguments) { return run(u"xdotool"_s, arguments); }

    bool isViewable(const QString &window)
    {
        QString info;
        return run(u"xwininfo"_s, {u"-id"_s, window}, &info) && info.contains(u"IsViewable"_s);
    }

    // Keys go to the X input focus, which nothing moves without a window manager.
    bool focus(const QString &window)
    {
        return QTest::qWaitFor([&] { return isViewable(window); }, WaitMs) &&
               xdotool({u"windowfocus"_s, u"--sync"_s, window});
    }

    bool click(QPoint position)
    {
        return xdotool({u"mousemove"_s, u"--window"_s, m_mainWindow, u"--sync"_s, QString::number(position.x()),
                        QString::number(position.y()), u"click"_s, u"1"_s});
    }

    void readProbe()
    {
        m_programOutput += m_program.readAllStandardError();
        qsizetype end;
        while ((end = m_programOutput.indexOf('\n')) >= 0) {
            const QByteArray line = m_programOutput.left(end);
            m_programOutput.remove(0, end + 1);
            static const QByteArray prefix = "window-probe ";
            if (!line.startsWith(prefix)) {
                qDebug("program: %s", line.constData());
                continue;
            }
            const QJsonObject json = QJsonDocument::fromJson(line.mid(prefix.size())).object();
            m_events.append({json[u"event"_s].toString(), json[u"window"_s].toString(), json[u"class"_s].toString(),
                             json[u"name"_s].toString(), json[u"text"_s].toString()});
        }
    }

    // The first event of the kind at or after index `from`, of one window when given.
    std::optional<ProbeEvent> waitForEvent(qsizetype from, const QString &event, const QString &className,
                                           const QString &window = {})
    {
        std::optional<ProbeEvent> found;
        const bool seen = QTest::qWaitFor(
            [&] {
                for (qsizetype i = from; i < m_events.size() && !found; ++i) {
                    const ProbeEvent &e = m_events[i];
                    if (e.event == event && e.className == className && (window.isEmpty() || e.window == window))
                        found = e;
                }
                return found.has_value();
            },
            WaitMs);
        return seen ? found : std::nullopt;
    }

    qsizetype countEvents(qsizetype from, const QString &className) const
    {
        qsizetype count = 0;
        for (qsizetype i = from; i < m_events.size(); ++i)
            count += m_events[i].className == className;
        return count;
    }

    // Reads the box that an action brought up and dismisses it with the keyboard.
    QString answerMessageBox(qsizetype from)
    {
        const std::optional<ProbeEvent> box = waitForEvent(from, u"show"_s, u"QMessageBox"_s);
        if (!box) {
            m_failure = u"no message box came up"_s;
            return {};
        }
        if (!focus(box->window) || !xdotool({u"key"_s, u"Return"_s}))
            return {};
        if (!waitForEvent(from, u"hide"_s, u"QMessageBox"_s, box->window)) {
            m_failure = u"the message box did not go away"_s;
            return {};
        }
        return box->text;
    }

    // The window as a screen reader hears it now: every object, focusable or not.
    QList<Heard> hearWindow()
    {
        AtspiReader reader(m_sessionBusAddress);
        const std::optional<AtspiObject> program = reader.application(u"quorvane"_s);
        return program ? reader.tree(*program) : QList<Heard>();
    }

    bool heard(const QString &name, const QString &role)
    {
        const QList<Heard> window = hearWindow();
        return std::any_of(window.begin(), window.end(),
                           [&](const Heard &h) { return h.name == name && h.role == role && h.showing; });
    }

    bool settingsHold(const QString &line)
    {
        return QTest::qWaitFor([&] { return QString::fromUtf8(ReadFile(m_settingsFile)).split(u'\n').contains(line); },
                               WaitMs);
    }

    // The program's own working folders: it makes one when it first needs it.
    QStringList programFolders() const
    {
        QStringList folders;
        for (const QString &name : QDir(m_temp).entryList({u"run-*"_s}, QDir::Dirs))
            folders << m_temp + u'/' + name;
        return folders;
    }

    bool toolFilesGone() const
    {
        for (const QString &folder : programFolders()) {
            for (const QString &name : ToolFileNames) {
                if (QFileInfo::exists(folder + u'/' + name))
                    return false;
            }
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        for (const QString &tool : {u"Xvfb"_s, u"xdotool"_s, u"xwininfo"_s}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QFAIL(qPrintable(u"%1 is missing; ./dev installs it (packages xvfb, xdotool, x11-utils)."_s.arg(tool)));
        }

        // A free display of our own: Xvfb picks the number and writes it to standard output.
        m_xvfb.setStandardErrorFile(QProcess::nullDevice());
        m_xvfb.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s, u"-dpi"_s, u"96"_s,
                                 u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
        QVERIFY2(m_xvfb.waitForStarted(WaitMs), "Xvfb does not start");
        QVERIFY2(QTest::qWaitFor([&] { return m_xvfb.canReadLine(); }, WaitMs), "Xvfb names no display");
        m_display = u':' + QString::fromLatin1(m_xvfb.readLine().trimmed());

        // A session bus of our own, as a desktop has: the accessibility bus starts on it when the
        // program asks for it, and the program shows itself there (always, not only while a
        // screen reader runs).
        if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty() ||
            !QFileInfo::exists(u"/usr/libexec/at-spi-bus-launcher"_s))
            QFAIL("dbus-daemon or the accessibility bus is missing; ./dev installs them (dbus-daemon, at-spi2-core).");
        m_sessionBus.setStandardErrorFile(QProcess::nullDevice());
        m_sessionBus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s});
        QVERIFY2(m_sessionBus.waitForStarted(WaitMs), "dbus-daemon does not start");
        QVERIFY2(QTest::qWaitFor([&] { return m_sessionBus.canReadLine(); }, WaitMs), "dbus-daemon names no address");
        m_sessionBusAddress = QString::fromLatin1(m_sessionBus.readLine().trimmed());

        // Private home, settings, temporary and output folders; a browser that opens nothing for
        // the one start in a hundred that shows the home page; the suite's sound server, or none.
        const QString root = TestSandbox::Root();
        const QString home = root + u"/home"_s;
        const QString bin = root + u"/bin"_s;
        m_output = root + u"/output"_s;
        for (const QString &folder : {home, bin, m_output})
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(WriteFile(bin + u"/xdg-open"_s, "#!/bin/sh\nexit 0\n", ExecutableByOwner));
        m_temp = TempFolder() + u"/quorvane-"_s + QString::number(::geteuid());
        m_settingsFile = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Marrowick/Quorvane.conf"_s;

        QProcessEnvironment environment = displayEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        environment.insert(u"HOME"_s, home);
        environment.insert(u"PATH"_s, bin + u':' + environment.value(u"PATH"_s));
        environment.insert(u"PULSE_SERVER"_s,
                           qEnvironmentVariable("PULSE_SERVER", u"unix:"_s + root + u"/no-audio-server"_s));
        environment.insert(u"QT_PLUGIN_PATH"_s, QStringLiteral(QUORVANE_PROBE_PLUGIN_PATH));
        environment.insert(u"QT_QPA_GENERIC_PLUGINS"_s, u"quorvanewindowprobe"_s);
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_sessionBusAddress);
        environment.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
        m_program.setProcessEnvironment(environment);
        m_program.setWorkingDirectory(m_output);
        connect(&m_program, &QProcess::readyReadStandardError, this, &DesktopTest::readProbe);
        m_program.start(QStringLiteral(QUORVANE_PROGRAM), {});
        QVERIFY2(m_program.waitForStarted(WaitMs), "the program does not start");

        const std::optional<ProbeEvent> window = waitForEvent(0, u"show"_s, u"Form1"_s);
        QVERIFY2(window, "the window does not come up");
        m_mainWindow = window->window;
        QVERIFY2(QTest::qWaitFor([&] { return isViewable(m_mainWindow); }, WaitMs), "the window is not shown");
        QCOMPARE(countEvents(0, u"QMessageBox"_s), 0);
    }

    void cleanup()
    {
        if (!QTest::currentTestFailed())
            return;
        const QString picture =
            QDir::currentPath() + u"/desktop-%1.png"_s.arg(QString::fromLatin1(QTest::currentTestFunction()));
        if (run(QStringLiteral(QUORVANE_XHELPER), {u"grab"_s, u"0"_s, picture}))
            qInfo("The screen at the failure: %s", qPrintable(picture));
        if (!m_failure.isEmpty())
            qInfo("%s", qPrintable(m_failure));
    }

    void cleanupTestCase()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished();
        }
        // The accessibility bus and its registry end with the session bus they started on.
        if (m_sessionBus.state() != QProcess::NotRunning) {
            m_sessionBus.terminate();
            if (!m_sessionBus.waitForFinished(WaitMs))
                m_sessionBus.kill();
        }
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.terminate();
            if (!m_xvfb.waitForFinished(WaitMs))
                m_xvfb.kill();
        }
    }

    // What a screen reader finds on the accessibility bus: every control that takes the focus,
    // each by a name of its own that says what it is, with its kind; Preview and Save with their
    // tooltips.
    void screenReaderHearsEveryControlByItsName()
    {
        qDBusRegisterMetaType<AtspiObject>();
        qDBusRegisterMetaType<QList<AtspiObject>>();
        qDBusRegisterMetaType<QList<uint>>();
        AtspiReader reader(m_sessionBusAddress);
        QVERIFY2(reader.problem.isEmpty(), qPrintable(reader.problem));
        std::optional<AtspiObject> program;
        QVERIFY2(QTest::qWaitFor([&] { return (program = reader.application(u"quorvane"_s)).has_value(); }, WaitMs),
                 "the program does not show itself on the accessibility bus");

        QMap<QString, QString> roles;
        QMap<QString, QString> descriptions;
        qsizetype focusable = 0;
        for (const Heard &control : reader.tree(*program)) {
            if (!control.focusable || !control.showing)
                continue;
            ++focusable;
            roles.insert(control.name, control.role);
            descriptions.insert(control.name, control.description);
        }
        QCOMPARE(roles, HeardControls);
        QCOMPARE(focusable, HeardControls.size()); // no name twice
        QCOMPARE(descriptions.value(u"Preview Tone"_s), OptionsTip);
        QCOMPARE(descriptions.value(u"Save Tone As Audio File"_s), OptionsTip);
        // The status line, read as it stands: every option at its default.
        QVERIFY(heard(u"0 dBFS peak (full scale) · Mono · 48 kHz · 32-bit"_s, u"label"_s));
    }

    // Focus starts in the length field with its text selected, so typing replaces it; the
    // keyboard order leads from there to Save.
    void savesWhatIsTypedThroughTheKeyboard()
    {
        QVERIFY2(focus(m_mainWindow), qPrintable(m_failure));
        QVERIFY2(xdotool({u"type"_s, u"--delay"_s, u"40"_s, u"1.5"_s}), qPrintable(m_failure));
        QVERIFY2(settingsHold(u"Text1=1.5"_s), qPrintable(QString::fromUtf8(ReadFile(m_settingsFile))));

        const qsizetype before = m_events.size();
        QVERIFY2(xdotool({u"key"_s, u"--delay"_s, u"40"_s, u"Tab"_s, u"Tab"_s, u"Tab"_s, u"Tab"_s, u"Tab"_s, u"Tab"_s,
                          u"space"_s}),
                 qPrintable(m_failure));
        const std::optional<ProbeEvent> dialog = waitForEvent(before, u"show"_s, u"QFileDialog"_s);
        QVERIFY2(dialog, "Save did not open the save dialog");
        QCOMPARE(dialog->name, u"CommonDialog1"_s);

        const QString output = m_output + u"/typed tone.wav"_s;
        QVERIFY2(focus(dialog->window), qPrintable(m_failure));
        QVERIFY2(xdotool({u"type"_s, u"--delay"_s, u"20"_s, output}), qPrintable(m_failure));
        QVERIFY2(xdotool({u"key"_s, u"Return"_s}), qPrintable(m_failure));

        QCOMPARE(answerMessageBox(before), u"Done.\ntyped tone.wav — WAV, 48 kHz, 32-bit, mono, 1.500 s"_s);
        const WavInfo wav = ReadWav(output);
        QVERIFY2(wav.valid, qPrintable(wav.problem));
        QCOMPARE(wav.sampleRate, 48000);
        QCOMPARE(wav.frames, qint64(72000));
        QVERIFY(toolFilesGone());
    }

    void tipsAnswerTheirQuestion_data()
    {
        QTest::addColumn<QPoint>("button");
        QTest::addColumn<QString>("tip");
        QTest::newRow("length") << LengthTipButton << u"This is a length of audio in seconds. For example: 2"_s;
        QTest::newRow("frequencies") << FrequencyTipButton
                                     << u"This is the frequency of audio in Hz. You can input a single value such as "
                                        "5000 or a range like 300-3300."_s;
    }

    void tipsAnswerTheirQuestion()
    {
        QFETCH(QPoint, button);
        QFETCH(QString, tip);
        const qsizetype before = m_events.size();
        QVERIFY2(click(button), qPrintable(m_failure));
        const QString text = answerMessageBox(before);
        QVERIFY2(text.startsWith(tip), qPrintable(text.isEmpty() ? m_failure : text));
    }

    void sampleDataReplacesTheInputs()
    {
        QVERIFY2(click(SampleDataButton), qPrintable(m_failure));
        QVERIFY2(settingsHold(u"Text1=3"_s), qPrintable(QString::fromUtf8(ReadFile(m_settingsFile))));
        QVERIFY(settingsHold(u"Text2=300-3300"_s));
        QVERIFY(settingsHold(u"Combo1=0"_s));
    }

    // The tone is made and played without a word; while it plays, Preview is heard as Stop Tone and
    // the status line says so.
    void previewMakesTheToneQuietly()
    {
        const qsizetype before = m_events.size();
        QVERIFY2(click(PreviewButton), qPrintable(m_failure));
        if (qEnvironmentVariableIsSet("QUORVANE_TEST_SINK")) {
            QVERIFY2(QTest::qWaitFor([&] { return heard(u"Stop Tone"_s, u"push button"_s); }, WaitMs),
                     "Preview is not heard as Stop Tone while it plays");
            QVERIFY(heard(u"Playing — Esc stops"_s, u"label"_s));
            QVERIFY2(QTest::qWaitFor([&] { return heard(u"Preview Tone"_s, u"push button"_s); }, WaitMs),
                     "Preview Tone does not come back");
        }
        QVERIFY2(QTest::qWaitFor([&] { return programFolders().size() == 1; }, WaitMs), "no working folder");
        const QString preview = programFolders().constFirst() + u"/preview.wav"_s;
        // The sample length of 3 seconds, complete, and the command over.
        QVERIFY2(
            QTest::qWaitFor([&] { return ReadWav(preview).frames == qint64(3) * 48000 && toolFilesGone(); }, WaitMs),
            "no complete preview file");
        QCOMPARE(ReadWav(preview).sampleRate, 48000);
        QCOMPARE(countEvents(before, u"QMessageBox"_s), 0);
    }

    void closingTheWindowEndsTheProgram()
    {
        QVERIFY2(run(QStringLiteral(QUORVANE_XHELPER), {u"close"_s, m_mainWindow}), qPrintable(m_failure));
        QVERIFY2(m_program.waitForFinished(WaitMs), "the program is still running");
        QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program.exitCode(), 0);
    }

    // A window manager frames the window only once it is shown. Opened again under one, the window
    // comes back where it was closed, to the pixel.
    void windowComesBackWhereItWasClosed()
    {
        QVERIFY2(!QStandardPaths::findExecutable(u"twm"_s).isEmpty(), "twm is missing; ./dev installs it.");
        // The titles in the server's own font: a bare Xvfb has no other.
        const QString config = TestSandbox::Root() + u"/twmrc"_s;
        QVERIFY(WriteFile(config, "TitleFont \"fixed\"\nMenuFont \"fixed\"\nIconFont \"fixed\"\nResizeFont \"fixed\"\n"
                                  "IconManagerFont \"fixed\"\n"));
        QProcess manager;
        manager.setProcessEnvironment(displayEnvironment());
        manager.setStandardErrorFile(QProcess::nullDevice());
        manager.start(u"twm"_s, {u"-f"_s, config});
        QVERIFY2(manager.waitForStarted(WaitMs), "twm does not start");
        static const QRegularExpression storedPlace(uR"(WindowPosition=\x22?(-?\d+,-?\d+))"_s);
        static const QRegularExpression framed(uR"(Relative upper-left Y: +[1-9])"_s); // under a title
        QStringList stored; // where the program found its frame when it was closed, each time
        // The first round only stores a place under the window manager: one that started late may
        // have framed the window after it was shown.
        for (int round = 0; round < 3; ++round) {
            const qsizetype before = m_events.size();
            m_program.start(QStringLiteral(QUORVANE_PROGRAM), {});
            const std::optional<ProbeEvent> window = waitForEvent(before, u"show"_s, u"Form1"_s);
            QVERIFY2(window, "the window does not come up");
            QVERIFY2(QTest::qWaitFor(
                         [&] {
                             QString info;
                             run(u"xwininfo"_s, {u"-id"_s, window->window}, &info);
                             return framed.match(info).hasMatch();
                         },
                         WaitMs),
                     "the window manager does not frame the window");
            QVERIFY2(run(QStringLiteral(QUORVANE_XHELPER), {u"close"_s, window->window}), qPrintable(m_failure));
            QVERIFY2(m_program.waitForFinished(WaitMs), "the program is still running");
            stored << storedPlace.match(QString::fromUtf8(ReadFile(m_settingsFile))).captured(1);
        }
        manager.terminate();
        manager.waitForFinished(WaitMs);
        QCOMPARE(stored[2], stored[1]);
    }
};

QUORVANE_TEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
