// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/analog_level.h"
#include "core/tone/output_options.h"
#include "core/tone/tone.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

// What the line says while a sound plays: a file once, a file looping, or the tone live; and,
// live, while the fields make no tone that can play live.
inline const QString PlayingText = QStringLiteral("Playing — Esc stops");
inline const QString LoopText = QStringLiteral("Loop — Esc stops");
inline const QString LiveText = QStringLiteral("Live — Esc stops");
inline const QString LiveKeptText = QStringLiteral("Live — still playing the last tone; Esc stops");
inline const QString LiveNotSteadyText =
    QStringLiteral("Live — a sweep, steps or bursts cannot change it: still playing the last tone; Esc stops");

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// The line under the buttons. It says in words what Preview and Save will make, with every
// option that is not at its default; while a sound plays, that it does and how to stop it; for
// a few seconds after an action, what it did; and while a Save runs, a progress bar with Cancel in
// its place. A click on it opens the options menu. Its controls stand in the window, beside the
// others, as Label1, ProgressBar1 and PushButton7.
class StatusLine : public QObject
{
    Q_OBJECT

public:
    // describe gives the line for the inputs and options as they stand.
    StatusLine(QWidget *window, QRect place, std::function<QString()> describe);

    // What the tone (as far as its fields could be read) and options make, in words: "0 dBFS peak
    // (full scale) · Mono · 48 kHz · 32-bit". With the output calibrated, an RMS level also says
    // what it reads there.
    static QString Describe(const Tone &tone, const OutputOptions &options, const QString &outputDevice,
                            const std::optional<OutputCalibration> &calibration = std::nullopt);

    // Shows the line, and from then on anew at every refresh. Until then a refresh does nothing:
    // start-up restores the inputs and the options one by one, and the line is worked out once,
    // when they all stand.
    void start();
    // Shows the line anew (the inputs or the options changed).
    void refresh();
    // While a sound plays, the words for it (one of the texts above); an empty text when none plays.
    void setPlaying(const QString &words);
    // Says this for a few seconds, then the line again.
    void tell(const QString &text);
    // A Save's progress in place of the line: the share written, or only that it runs.
    void showProgress(std::optional<int> percent, const QString &text);
    void hideProgress();

    QLabel *label() const { return m_label; }

signals:
    void clicked();
    void cancelClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setText(const QString &text);

    std::function<QString()> m_describe;
    QLabel *m_label;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
    QTimer m_told;
    bool m_started = false;
    QString m_playing; // the words while a sound plays
};
