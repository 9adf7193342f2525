// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/tone_chart.h"

#include "core/measure/response_curves.h"

#include <QPainter>
#include <QPainterPath>
#include <array>
#include <cmath>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double LowestHertz = 10;
constexpr double TopDecibels = 10;
constexpr double GapPixels = 22;       // room for a section's caption above it
constexpr double AxisLabelPixels = 18; // for the frequencies under a plot

// Text colour with some of the background in it: for grid lines that stay in the background.
QColor Blend(const QColor &text, const QColor &base, double share)
{
    return QColor::fromRgbF(float(text.redF() * share + base.redF() * (1 - share)),
                            float(text.greenF() * share + base.greenF() * (1 - share)),
                            float(text.blueF() * share + base.blueF() * (1 - share)));
}

QString HertzLabel(double hertz)
{
    return hertz >= 1000 ? QString::number(hertz / 1000) + u'k' : QString::number(hertz);
}

QString TimeLabel(double seconds)
{
    if (seconds < 1)
        return QString::number(seconds * 1000, 'f', 1) + u" ms"_s;
    if (seconds < 60)
        return QString::number(seconds, 'f', 2) + u" s"_s;
    const int minutes = int(seconds / 60);
    return u"%1:%2"_s.arg(minutes).arg(seconds - minutes * 60.0, 4, 'f', 1, u'0');
}

struct Pens
{
    QColor text;
    QColor grid;
    QColor faint;
};

void Caption(QPainter &painter, const QRectF &plot, const QString &text, const Pens &pens)
{
    painter.setPen(pens.text);
    painter.drawText(QRectF(plot.left(), plot.top() - GapPixels, plot.width(), GapPixels),
                     Qt::AlignLeft | Qt::AlignVCenter, text);
}

// The first periods, sample by sample, between the full-scale lines.
void PaintOpening(QPainter &painter, const QRectF &plot, const QPalette &palette, const ToneAnalysis &analysis,
                  const Pens &pens)
{
    const auto shown = double(analysis.openingShown);
    Caption(painter, plot,
            u"First %1, sample by sample (full scale dashed)"_s.arg(TimeLabel(shown / analysis.sampleRate)), pens);
    const auto y = [&](double sample) { return plot.center().y() - sample * plot.height() / 2.2; };
    painter.setPen(QPen(pens.grid, 1, Qt::DashLine));
    painter.drawLine(QPointF(plot.left(), y(1)), QPointF(plot.right(), y(1)));
    painter.drawLine(QPointF(plot.left(), y(-1)), QPointF(plot.right(), y(-1)));
    painter.setPen(QPen(pens.faint, 1));
    painter.drawLine(QPointF(plot.left(), y(0)), QPointF(plot.right(), y(0)));
    painter.setPen(pens.text);
    painter.drawText(QRectF(0, y(1) - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter, u"+1"_s);
    painter.drawText(QRectF(0, y(-1) - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter, u"−1"_s);
    if (shown < 2)
        return;
    for (std::size_t channel = 0; channel < analysis.opening.size(); ++channel) {
        QPainterPath path;
        for (qint64 i = 0; i < analysis.openingShown; ++i) {
            const QPointF point(plot.left() + plot.width() * double(i) / (shown - 1),
                                y(analysis.opening[channel][std::size_t(i)]));
            i == 0 ? path.moveTo(point) : path.lineTo(point);
        }
        painter.setPen(QPen(ToneChart::channelColour(int(channel), palette), 1.2));
        painter.drawPath(path);
    }
}

// The whole length: each pixel's column from its lowest to its highest sample.
void PaintOverview(QPainter &painter, const QRectF &plot, const QPalette &palette, const ToneAnalysis &analysis,
                   const Pens &pens)
{
    if (analysis.overviewLow.empty()) {
        Caption(painter, plot, u"Whole length, %1: reading…"_s.arg(TimeLabel(analysis.seconds())), pens);
        return;
    }
    Caption(painter, plot, u"Whole length, %1"_s.arg(TimeLabel(analysis.seconds())), pens);
    const auto y = [&](double sample) { return plot.center().y() - sample * plot.height() / 2.2; };
    painter.setPen(QPen(pens.grid, 1, Qt::DashLine));
    painter.drawLine(QPointF(plot.left(), y(1)), QPointF(plot.right(), y(1)));
    painter.drawLine(QPointF(plot.left(), y(-1)), QPointF(plot.right(), y(-1)));
    const int pixels = std::max(1, int(plot.width()));
    for (std::size_t channel = 0; channel < analysis.overviewLow.size(); ++channel) {
        const std::vector<float> &low = analysis.overviewLow[channel];
        const std::vector<float> &high = analysis.overviewHigh[channel];
        QColor colour = ToneChart::channelColour(int(channel), palette);
        colour.setAlphaF(analysis.overviewLow.size() > 1 ? 0.7f : 1.0f);
        painter.setPen(QPen(colour, 1));
        const auto columns = qsizetype(low.size());
        for (int x = 0; x < pixels; ++x) {
            const qsizetype first = columns * x / pixels;
            const qsizetype last = std::max(first + 1, columns * (x + 1) / pixels);
            const float lowest = *std::min_element(low.begin() + first, low.begin() + last);
            const float highest = *std::max_element(high.begin() + first, high.begin() + last);
            painter.drawLine(QPointF(plot.left() + x + 0.5, y(highest)), QPointF(plot.left() + x + 0.5, y(lowest)));
        }
    }
}

// A plot's axes: frequency on a log scale, dB from top to bottom.
struct Axes
{
    QRectF plot;
    double lowHertz;
    double highHertz;
    double top;
    double bottom;

    double x(double hertz) const
    {
        return plot.left() + plot.width() * std::log(hertz / lowHertz) / std::log(highHertz / lowHertz);
    }
    double y(double decibels) const
    {
        return plot.top() + plot.height() * (top - std::clamp(decibels, bottom, top)) / (top - bottom);
    }
};

// The decades labelled, the octaves of 1 kHz faint, and the dB lines every step down from the first.
void PaintGrid(QPainter &painter, const Axes &axes, double firstLine, double step, const Pens &pens)
{
    const QRectF &plot = axes.plot;
    painter.setPen(QPen(pens.faint, 1, Qt::DotLine));
    // Integer counters: the lines stand at exact powers, with no rounding carried from one to the next.
    for (int doubling = 0; 1000 / 64.0 * std::exp2(doubling) < axes.highHertz; ++doubling) {
        const double octave = 1000 / 64.0 * std::exp2(doubling);
        if (octave > axes.lowHertz)
            painter.drawLine(QPointF(axes.x(octave), plot.top()), QPointF(axes.x(octave), plot.bottom()));
    }
    for (int tenfold = 0; LowestHertz * std::pow(10.0, tenfold) <= axes.highHertz; ++tenfold) {
        const double decade = LowestHertz * std::pow(10.0, tenfold);
        if (decade < axes.lowHertz)
            continue;
        painter.setPen(QPen(pens.grid, 1));
        painter.drawLine(QPointF(axes.x(decade), plot.top()), QPointF(axes.x(decade), plot.bottom()));
        painter.setPen(pens.text);
        // No label where the unit is written, at the right end.
        if (axes.x(decade) + 30 <= plot.right())
            painter.drawText(QRectF(axes.x(decade) - 30, plot.bottom() + 2, 60, 16), Qt::AlignCenter,
                             HertzLabel(decade));
    }
    painter.drawText(QRectF(plot.right() - 120, plot.bottom() + 2, 120, 16), Qt::AlignRight, u"Hz"_s);
    for (int line = 0; firstLine - step * line >= axes.bottom; ++line) {
        const double decibels = firstLine - step * line;
        painter.setPen(QPen(decibels == 0 ? pens.grid : pens.faint, 1));
        painter.drawLine(QPointF(plot.left(), axes.y(decibels)), QPointF(plot.right(), axes.y(decibels)));
        painter.setPen(pens.text);
        painter.drawText(QRectF(0, axes.y(decibels) - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(decibels));
    }
}

// Names with their colours, top right of the plot.
void PaintLegend(QPainter &painter, const QRectF &plot, const QList<std::pair<QString, QColor>> &entries,
                 const Pens &pens)
{
    const QFontMetricsF metrics(painter.font());
    double top = plot.top() + 6;
    for (const auto &[name, colour] : entries) {
        const double width = metrics.horizontalAdvance(name);
        const QRectF swatch(plot.right() - width - 30, top + 4, 16, 8);
        painter.fillRect(swatch, colour);
        painter.setPen(pens.text);
        painter.drawText(QRectF(swatch.right() + 6, top, width + 4, 16), Qt::AlignLeft | Qt::AlignVCenter, name);
        top += 18;
    }
}

void PaintCurve(QPainter &painter, const Axes &axes, const std::vector<double> &hertz,
                const std::function<double(std::size_t)> &value, const QPen &pen)
{
    QPainterPath path;
    bool drawing = false;
    for (std::size_t i = 0; i < hertz.size(); ++i) {
        const double y = value(i);
        if (!std::isfinite(y)) {
            drawing = false;
            continue;
        }
        const QPointF point(axes.x(hertz[i]), axes.y(y));
        drawing ? path.lineTo(point) : path.moveTo(point);
        drawing = true;
    }
    painter.setPen(pen);
    painter.drawPath(path);
}

QList<std::pair<QString, QColor>> ChannelLegend(const ToneAnalysis &analysis, const QPalette &palette)
{
    QList<std::pair<QString, QColor>> entries;
    for (int channel = 0; channel < analysis.channels; ++channel)
        entries.append(
            {ToneChart::channelName(channel, analysis.channels), ToneChart::channelColour(channel, palette)});
    return entries;
}

// The spectrum: dB against a log frequency axis with the decades and the octaves (of 1 kHz) marked.
void PaintSpectrum(QPainter &painter, const QRectF &plot, const QPalette &palette, const ToneAnalysis &analysis,
                   const Pens &pens)
{
    Caption(painter, plot, u"Spectrum, dB relative to full scale (a full-scale sine's line reads 0 dB)"_s, pens);
    if (analysis.curveHertz.empty())
        return;
    float lowest = 0;
    for (const std::vector<float> &curve : analysis.curveDecibels)
        lowest = std::min(lowest, *std::min_element(curve.begin(), curve.end()));
    const double bottom = std::clamp(std::floor(lowest / 20.0) * 20, -200.0, -100.0);
    const Axes axes{plot, LowestHertz, analysis.sampleRate / 2.0, TopDecibels, bottom};
    const auto x = [&](double hertz) { return axes.x(hertz); };
    const auto y = [&](double decibels) { return axes.y(decibels); };
    PaintGrid(painter, axes, 0, 20, pens);

    for (std::size_t channel = 0; channel < analysis.curveDecibels.size(); ++channel) {
        QPainterPath path;
        for (std::size_t i = 0; i < analysis.curveHertz.size(); ++i) {
            const QPointF point(x(analysis.curveHertz[i]), y(analysis.curveDecibels[channel][i]));
            i == 0 ? path.moveTo(point) : path.lineTo(point);
        }
        painter.setPen(QPen(ToneChart::channelColour(int(channel), palette), 1.5));
        painter.drawPath(path);
    }

    PaintLegend(painter, plot, ChannelLegend(analysis, palette), pens);
}

// An impulse response's frequency response, its phase dashed on a scale of ±180° to the right.
void PaintFrequencyResponse(QPainter &painter, const QRectF &plot, const QPalette &palette,
                            const ToneAnalysis &analysis, int bandsPerOctave, const Pens &pens)
{
    const ResponseAnalysis &response = *analysis.response;
    Caption(
        painter, plot,
        u"Frequency response, dB (a wire reads 0), 1/%1-octave smoothing; phase dashed, ±180° from top to bottom"_s.arg(
            bandsPerOctave),
        pens);
    const std::vector<double> hertz = ResponseFrequencies(response, analysis.sampleRate);
    std::vector<std::vector<ResponsePoint>> curves;
    double highest = -qInf();
    for (std::size_t channel = 0; channel < response.channels.size(); ++channel) {
        curves.push_back(FrequencyResponse(response, int(channel), hertz, bandsPerOctave));
        for (const ResponsePoint &point : curves.back())
            highest = std::max(highest, point.decibels);
    }
    const double top = std::ceil((highest + 3) / 10) * 10;
    const Axes axes{plot, hertz.front(), hertz.back(), top, top - 60};
    PaintGrid(painter, axes, top, 10, pens);
    const Axes phase{plot, hertz.front(), hertz.back(), 180, -180};
    painter.setPen(pens.text);
    for (const int degrees : {180, 90, 0, -90, -180}) {
        painter.drawText(QRectF(plot.right() + 4, phase.y(degrees) - 8, 40, 16), Qt::AlignLeft | Qt::AlignVCenter,
                         u"%1°"_s.arg(degrees).replace(u'-', u'−'));
    }
    for (std::size_t channel = 0; channel < curves.size(); ++channel) {
        const QColor colour = ToneChart::channelColour(int(channel), palette);
        const std::vector<ResponsePoint> &points = curves[channel];
        PaintCurve(
            painter, phase, hertz, [&](std::size_t i) { return points[i].degrees; }, QPen(colour, 1, Qt::DashLine));
        PaintCurve(
            painter, axes, hertz, [&](std::size_t i) { return points[i].decibels; }, QPen(colour, 1.8));
    }
    PaintLegend(painter, plot, ChannelLegend(analysis, palette), pens);
}

// The 2nd to 5th harmonics against the response, at the frequency that excites them (the first
// channel's).
void PaintDistortion(QPainter &painter, const QRectF &plot, const QPalette &palette, const ToneAnalysis &analysis,
                     int bandsPerOctave, const Pens &pens)
{
    const ResponseAnalysis &response = *analysis.response;
    Caption(painter, plot, u"Harmonic distortion against the frequency that excites it, dB relative to the response"_s,
            pens);
    const std::vector<double> hertz = ResponseFrequencies(response, analysis.sampleRate);
    const Axes axes{plot, hertz.front(), hertz.back(), 0, -120};
    PaintGrid(painter, axes, 0, 20, pens);
    QList<std::pair<QString, QColor>> legend;
    for (int order = 2; order <= ResponseAnalysis::Orders; ++order) {
        const QColor colour = ToneChart::channelColour(order - 2, palette);
        legend.append({u"%1%2"_s.arg(order).arg(order == 2 ? u"nd"_s : order == 3 ? u"rd"_s : u"th"_s), colour});
        PaintCurve(
            painter, axes, hertz,
            [&](std::size_t i) {
                return 20 * std::log10(HarmonicDistortion(response, 0, order, hertz[i], bandsPerOctave));
            },
            QPen(colour, 1.5));
    }
    PaintLegend(painter, plot, legend, pens);
}

} // namespace

ToneChart::ToneChart(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(420, 360);
    setAccessibleName(u"Waveform and spectrum"_s);
}

void ToneChart::setAnalysis(std::shared_ptr<const ToneAnalysis> analysis)
{
    m_analysis = std::move(analysis);
    update();
}

void ToneChart::setSmoothing(int bandsPerOctave)
{
    m_bandsPerOctave = bandsPerOctave;
    update();
}

QString ToneChart::channelName(int channel, int channels)
{
    if (channels == 1)
        return u"Mono"_s;
    if (channels == 2)
        return channel == 0 ? u"Left"_s : u"Right"_s;
    return u"Channel %1"_s.arg(channel + 1);
}

QColor ToneChart::channelColour(int channel, const QPalette &palette)
{
    // Blue, orange, green, purple: told apart in both palettes and by most colour-blind eyes.
    static constexpr std::array<int, 4> hues{210, 28, 130, 285};
    const bool dark = palette.color(QPalette::Base).lightnessF() < 0.5;
    return QColor::fromHsl(hues[std::size_t(channel) % hues.size()], 200, dark ? 170 : 100);
}

void ToneChart::paint(QPainter &painter, const QRectF &area, const QPalette &palette, const ToneAnalysis *analysis,
                      int bandsPerOctave)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, palette.color(QPalette::Base));
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    const Pens pens{text, Blend(text, base, 0.45), Blend(text, base, 0.2)};
    if (!analysis || analysis->frames == 0) {
        painter.setPen(text);
        painter.drawText(area, Qt::AlignCenter,
                         analysis ? u"The tone is empty."_s : u"Make a tone with Preview or Save to see it here."_s);
        painter.restore();
        return;
    }
    const QRectF plots = area.adjusted(48, 0, -12, -20);
    const double height = plots.height() - 3 * GapPixels;
    if (analysis->response && !analysis->response->channels.empty()) {
        // A response: its whole length with the harmonics' responses ahead of the linear one, then
        // what it says of the system, with room on the right for the phase's scale and under the
        // frequency response for its frequencies.
        const QRectF room = area.adjusted(48, 0, -44, -20);
        const double free = room.height() - 3 * GapPixels - AxisLabelPixels;
        const QRectF overview(room.left(), room.top() + GapPixels, room.width(), free * 0.18);
        const QRectF magnitude(room.left(), overview.bottom() + GapPixels, room.width(), free * 0.45);
        const QRectF distortion(room.left(), magnitude.bottom() + GapPixels + AxisLabelPixels, room.width(),
                                free * 0.37);
        PaintOverview(painter, overview, palette, *analysis, pens);
        PaintFrequencyResponse(painter, magnitude, palette, *analysis, bandsPerOctave, pens);
        PaintDistortion(painter, distortion, palette, *analysis, bandsPerOctave, pens);
        painter.restore();
        return;
    }
    const QRectF opening(plots.left(), plots.top() + GapPixels, plots.width(), height * 0.3);
    const QRectF overview(plots.left(), opening.bottom() + GapPixels, plots.width(), height * 0.15);
    const QRectF spectrum(plots.left(), overview.bottom() + GapPixels, plots.width(), height * 0.55);
    PaintOpening(painter, opening, palette, *analysis, pens);
    PaintOverview(painter, overview, palette, *analysis, pens);
    PaintSpectrum(painter, spectrum, palette, *analysis, pens);
    painter.restore();
}

void ToneChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), palette(), m_analysis.get(), m_bandsPerOctave);
}
