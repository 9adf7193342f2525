// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "services/dialogs.h"

#include <QList>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QWidget>
#include <functional>

// One box or dialog the code under test asked for.
struct DialogCall
{
    enum Kind
    {
        Message,
        ErrorReport,
        SaveFileName,
        TextInput,
        Question,
        OpenFileName,
        LevelInput // its text is the level it starts from, as stored, and " RMS" after an RMS level
    };
    Kind kind;
    QString text;    // the message or prompt, exactly as given; the filter for SaveFileName
    QString detail;  // Message only
    QString caption; // what the Qt implementation would put in the title bar
    QPointer<QWidget> parent;
};

// Answers every box and dialog at once and remembers what was asked. Installs itself for its
// lifetime and puts the previous dialogs back when it goes.
class RecordingDialogs : public Dialogs
{
public:
    RecordingDialogs();
    ~RecordingDialogs() override;
    RecordingDialogs(const RecordingDialogs &) = delete;
    RecordingDialogs &operator=(const RecordingDialogs &) = delete;

    void message(QWidget *parent, const QString &text, const QString &detail = {}) override;
    void errorReport(QWidget *parent, const QString &prompt) override;
    // Answers with the next queued answer; empty (a cancel) when none is left.
    QString saveFileName(QWidget *parent, const QString &filter) override;
    // Answers with the next queued answer; empty (a cancel) when none is left. The call's text is
    // the caption, its detail the start path.
    QString openFileName(QWidget *parent, const QString &caption, const QString &startPath) override;
    // Answers from the same queue as openFileName, and is recorded as one.
    QString folderName(QWidget *parent, const QString &caption, const QString &startPath) override
    {
        return openFileName(parent, caption, startPath);
    }
    // Answer with the next queued answer; a cancel, or No, when none is left.
    std::optional<QString> textInput(QWidget *parent, const QString &prompt) override;
    bool question(QWidget *parent, const QString &text) override;
    // Answers with the next queued answer; a cancel when none is left.
    std::optional<TypedLevel> levelInput(QWidget *parent, const TypedLevel &current,
                                         const std::optional<OutputCalibration> &calibration) override;

    void queueSaveAnswer(const QString &path) { saveAnswers.enqueue(path); }
    // The texts of all calls of one kind, in order.
    QStringList texts(DialogCall::Kind kind) const;
    qsizetype count(DialogCall::Kind kind) const;

    QList<DialogCall> calls;
    QQueue<QString> saveAnswers;
    QQueue<QString> textAnswers;
    QQueue<bool> questionAnswers;
    QQueue<QString> openAnswers;
    QQueue<TypedLevel> levelAnswers;
    // Runs while the call is "open", as if the user acted while the box was shown.
    std::function<void(const DialogCall &)> whileShown;

private:
    void record(const DialogCall &call);

    Dialogs *m_previous;
};
