// SPDX-License-Identifier: GPL-3.0-or-later

#include "recording_dialogs.h"

#include "services/app_title.h"

using namespace Qt::StringLiterals;

RecordingDialogs::RecordingDialogs() : m_previous(&CurrentDialogs())
{
    InstallDialogs(this);
}

RecordingDialogs::~RecordingDialogs()
{
    if (&CurrentDialogs() == this)
        InstallDialogs(m_previous);
}

void RecordingDialogs::message(QWidget *parent, const QString &text, const QString &detail)
{
    record({DialogCall::Message, text, detail, ApplicationTitle(), parent});
}

void RecordingDialogs::errorReport(QWidget *parent, const QString &prompt)
{
    record({DialogCall::ErrorReport, prompt, {}, ErrorReportCaption, parent});
}

QString RecordingDialogs::saveFileName(QWidget *parent, const QString &filter)
{
    record({DialogCall::SaveFileName, filter, {}, {}, parent});
    return saveAnswers.isEmpty() ? QString() : saveAnswers.dequeue();
}

QString RecordingDialogs::openFileName(QWidget *parent, const QString &caption, const QString &startPath)
{
    record({DialogCall::OpenFileName, caption, startPath, {}, parent});
    return openAnswers.isEmpty() ? QString() : openAnswers.dequeue();
}

std::optional<QString> RecordingDialogs::textInput(QWidget *parent, const QString &prompt)
{
    record({DialogCall::TextInput, prompt, {}, ApplicationTitle(), parent});
    return textAnswers.isEmpty() ? std::nullopt : std::optional(textAnswers.dequeue());
}

bool RecordingDialogs::question(QWidget *parent, const QString &text)
{
    record({DialogCall::Question, text, {}, ApplicationTitle(), parent});
    return !questionAnswers.isEmpty() && questionAnswers.dequeue();
}

std::optional<TypedLevel> RecordingDialogs::levelInput(QWidget *parent, const TypedLevel &current,
                                                       const std::optional<OutputCalibration> &)
{
    record({DialogCall::LevelInput, current.level.text() + (current.rms ? u" RMS"_s : QString()), {}, {}, parent});
    return levelAnswers.isEmpty() ? std::nullopt : std::optional(levelAnswers.dequeue());
}

QStringList RecordingDialogs::texts(DialogCall::Kind kind) const
{
    QStringList result;
    for (const DialogCall &call : calls) {
        if (call.kind == kind)
            result.append(call.text);
    }
    return result;
}

qsizetype RecordingDialogs::count(DialogCall::Kind kind) const
{
    return texts(kind).size();
}

void RecordingDialogs::record(const DialogCall &call)
{
    calls.append(call);
    if (whileShown)
        whileShown(call);
}
