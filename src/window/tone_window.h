// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/analysis/tone_analysis.h"
#include "window/tone_maker.h"

#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QThread;
class ToneChart;

// Show the Tone: a window of its own beside the main one with the last tone that Preview or Save
// made, measured: its waveform, its spectrum and its figures. While it is open it follows each
// new tone. The file is read and analysed on a thread of its own, so the main window never waits;
// a newer tone stops the analysis of an older one.
class ToneWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ToneWindow(QWidget *mainWindow);
    ~ToneWindow() override;
    ToneWindow(const ToneWindow &) = delete;
    ToneWindow &operator=(const ToneWindow &) = delete;

    // The tone to show: now when the window is open, else when it opens.
    void follow(const MadeTone &tone);
    // A sound file that no tone of the window's made, such as an impulse response.
    void followFile(const QString &path) { follow(MadeTone{path, {}, {}}); }
    // Export Response…: an impulse response's frequency response as text that REW imports, at the
    // smoothing chosen; asks for the file name.
    void exportResponse();
    // Save Picture…: asks for a file name, then writes the picture as PNG or SVG by its extension
    // (PNG when it has neither).
    void savePicture();
    // The picture at the window's size, with the tone's fields and options under it, written at
    // the path (SVG when it ends so, else PNG). Throws a Failure naming shownPath when it cannot be.
    void writePicture(const QString &path, const QString &shownPath) const;

    // What the window shows: the analysis (null before the first), and the tone it is of.
    std::shared_ptr<const ToneAnalysis> analysis() const { return m_analysis; }
    const std::optional<MadeTone> &shownTone() const { return m_shownTone; }
    QString figuresText() const;

signals:
    // A new picture is on show: a tone's first look, or its whole analysis.
    void pictureShown();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void startAnalysis();
    void showAnalysis(std::shared_ptr<const ToneAnalysis> analysis, quint64 toneNumber);
    void showProblem(const QString &problem, quint64 toneNumber);
    QString toneDescription() const;
    // An impulse response's own figures for a channel, at the smoothing chosen.
    QStringList responseFigures(int channel) const;

    ToneChart *m_chart;
    QLabel *m_basis;
    QPlainTextEdit *m_figures;
    QPushButton *m_savePicture;
    QComboBox *m_smoothing; // for an impulse response
    QPushButton *m_exportResponse;

    std::optional<MadeTone> m_tone;      // the newest tone
    std::optional<MadeTone> m_shownTone; // the tone being analysed or shown
    std::shared_ptr<const ToneAnalysis> m_analysis;
    // The newest tone's number, and the analysed one's: a result of an older tone is dropped.
    quint64 m_toneNumber = 0;
    quint64 m_analysedNumber = 0;
    QThread *m_worker = nullptr;
    std::shared_ptr<std::atomic_bool> m_stop;
    bool m_placed = false;
};
