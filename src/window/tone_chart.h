// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/analysis/tone_analysis.h"

#include <QWidget>
#include <memory>

class QPainter;

// The tone window's picture of an analysed tone: its first periods sample by sample, an overview
// of its whole length, and its spectrum on a logarithmic frequency axis, one colour per channel; of
// an impulse response, its frequency response and harmonic distortion in place of the first two.
// It draws in the colours of the palette it is given, so it follows a light or a dark desktop.
class ToneChart : public QWidget
{
public:
    explicit ToneChart(QWidget *parent = nullptr);

    void setAnalysis(std::shared_ptr<const ToneAnalysis> analysis);
    // The fraction of an octave an impulse response's curves are smoothed over, as bands per octave.
    void setSmoothing(int bandsPerOctave);
    QSize sizeHint() const override { return {760, 560}; }

    // Paints the picture into the rectangle: on the widget, and into a saved picture. An impulse
    // response shows its whole length, its frequency response and its harmonic distortion instead.
    static void paint(QPainter &painter, const QRectF &area, const QPalette &palette, const ToneAnalysis *analysis,
                      int bandsPerOctave = DefaultSmoothing);
    static constexpr int DefaultSmoothing = 12;
    // The channels' names: "Mono", "Left" and "Right", or "Channel 3" and on.
    static QString channelName(int channel, int channels);
    static QColor channelColour(int channel, const QPalette &palette);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::shared_ptr<const ToneAnalysis> m_analysis;
    int m_bandsPerOctave = DefaultSmoothing;
};
