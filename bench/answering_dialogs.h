// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "bench_support.h"
#include "services/dialogs.h"

#include <QStringList>
#include <utility>

// Answers the window's dialogs at once, as a person who knows what they want, and notes when
// the chosen name went back to the command and when the result came.
class AnsweringDialogs : public Dialogs
{
public:
    AnsweringDialogs() { InstallDialogs(this); }
    ~AnsweringDialogs() override { InstallDialogs(nullptr); }
    AnsweringDialogs(const AnsweringDialogs &) = delete;
    AnsweringDialogs &operator=(const AnsweringDialogs &) = delete;

    void message(QWidget *, const QString &text, const QString &detail = {}) override
    {
        resultAt = Bench::MonotonicNs();
        messages.append(text);
        details.append(detail);
    }
    void errorReport(QWidget *, const QString &prompt) override { errorReports.append(prompt); }
    QString saveFileName(QWidget *, const QString &) override
    {
        chosenAt = Bench::MonotonicNs();
        return std::exchange(nextAnswer, QString());
    }
    QString openFileName(QWidget *, const QString &, const QString &) override
    {
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString folderName(QWidget *parent, const QString &caption, const QString &start) override
    {
        return openFileName(parent, caption, start);
    }
    std::optional<QString> textInput(QWidget *, const QString &) override { return std::nullopt; }
    bool question(QWidget *, const QString &) override { return false; }
    std::optional<TypedLevel> levelInput(QWidget *, const TypedLevel &,
                                         const std::optional<OutputCalibration> &) override
    {
        return std::nullopt;
    }

    QStringList openAnswers;

    void reset()
    {
        messages.clear();
        details.clear();
        errorReports.clear();
        chosenAt = resultAt = 0;
    }

    QString nextAnswer;
    QStringList messages;
    QStringList details;
    QStringList errorReports;
    qint64 chosenAt = 0;
    qint64 resultAt = 0;
};
