// SPDX-License-Identifier: GPL-3.0-or-later

// The window started in a process of its own, as main() starts it, for the settings tests: a
// fresh process reads the store from disk exactly as the program does at start-up, and can be
// killed at any moment.
//
//   settings_helper start [text...]  start, then type each text into the length field; print
//                                    one JSON line with the inputs shown and every box asked for
//   settings_helper type <text>      start, type the text into the length field key by key and
//                                    print "TYPED <n>" after each key; then wait to be killed
//   settings_helper preview <length> <frequency>
//                                    start, click Preview with these inputs; print one JSON line
//                                    with the messages, the preview's length and its frequency

#include "core/run/temp_folder.h"
#include "core/sound/playback.h"
#include "wav_analysis.h"
#include "window_fixture.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

void Print(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Types into the field as a person does: select everything, then one key at a time.
void Type(QLineEdit *field, const QString &text, const std::function<void(qsizetype)> &afterKey = {})
{
    field->setFocus();
    field->selectAll();
    for (qsizetype i = 0; i < text.size(); ++i) {
        QTest::keyClick(field, text[i].toLatin1());
        if (afterKey)
            afterKey(i + 1);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    WindowFixture::KeepHomePageShut();
    RecordingDialogs dialogs;
    const std::unique_ptr<Form1> started = WindowFixture::StartWindow();
    Form1 &window = *started;
    window.show();

    const QStringList arguments = app.arguments();
    if (arguments.value(1) == u"preview"_s) {
        WindowFixture::SetInputs(window, arguments.value(2), 0, arguments.value(3));
        window.PushButton3->click();
        StopPlayback();
        const WavInfo preview = ReadWav(PreviewPath());
        const QJsonObject made{
            {u"messages"_s, QJsonArray::fromStringList(dialogs.texts(DialogCall::Message))},
            {u"details"_s, dialogs.calls.isEmpty() ? QString() : dialogs.calls.last().detail},
            {u"seconds"_s, preview.durationSeconds()},
            {u"frequency"_s, DominantFrequency(preview.firstChannel, preview.sampleRate)},
        };
        Print(QJsonDocument(made).toJson(QJsonDocument::Compact));
        return 0;
    }
    if (arguments.value(1) == u"type"_s) {
        Type(window.Text1, arguments.value(2), [](qsizetype typed) { Print("TYPED " + QByteArray::number(typed)); });
        return app.exec();
    }
    for (const QString &text : arguments.mid(2))
        Type(window.Text1, text);
    const QJsonObject shown{
        {u"Text1"_s, window.Text1->text()},
        {u"Text2"_s, window.Text2->text()},
        {u"Combo1"_s, window.Combo1->currentIndex()},
        {u"messages"_s, QJsonArray::fromStringList(dialogs.texts(DialogCall::Message))},
        {u"reports"_s, QJsonArray::fromStringList(dialogs.texts(DialogCall::ErrorReport))},
    };
    Print(QJsonDocument(shown).toJson(QJsonDocument::Compact));
    return 0;
}
