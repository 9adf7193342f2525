// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/status_line.h"

#include "core/sound/sound_file.h"
#include "core/tone/tone.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int ToldMs = 3000;
const QString ClickForOptions = u"Click for the options."_s;

// With the minus sign, not a hyphen: a screen reader says "minus".
QString WithMinusSign(const QString &text)
{
    return text.startsWith(u'-') ? u"\u2212"_s + text.mid(1) : text;
}

QString Decibels(const OutputLevel &level)
{
    return WithMinusSign(level.text()) + u" dBFS"_s;
}

// What the options add to how the tone is shaped, each when it is not at its default.
QStringList ShapingParts(const Tone &tone, const OutputOptions &options)
{
    QStringList parts;
    if (options.isOn(OutputSetting::SoftEdges))
        parts << u"Soft start and end"_s;
    if (options.stepPauseSeconds() > 0)
        parts << u"Pause %1 s"_s.arg(options.chosen(OutputSetting::StepPause).stored);
    if (options.hannBurst())
        parts << u"CEA-2010 bursts"_s;
    else if (options.burstCycles() > 0)
        parts << u"Bursts of %1"_s.arg(options.chosen(OutputSetting::Burst).label.toLower());
    if (options.measurementSweep())
        parts << u"Measurement sweep"_s;
    if (options.aliasFree())
        parts << u"Alias-free"_s;
    if (options.exactThirdOctaves())
        parts << u"Exact third octaves"_s;
    if (options.noiseBand()) {
        const std::optional<ToneTerm> term =
            tone.steps.size() == 1 && tone.steps.first().asTyped ? tone.steps.first().left.first().term : std::nullopt;
        const bool band = tone.noise() && term && term->lowest() < term->highest();
        parts << (band ? u"Noise %1–%2 Hz"_s.arg(QString::number(term->lowest(), 'g', 10),
                                                 QString::number(term->highest(), 'g', 10))
                       : u"Noise band"_s);
    }
    return parts;
}

} // namespace

StatusLine::StatusLine(QWidget *window, QRect place, std::function<QString()> describe)
    : QObject(window), m_describe(std::move(describe)), m_label(new QLabel(window)),
      m_progress(new QProgressBar(window)), m_cancel(new QPushButton(u"Cancel"_s, window))
{
    m_label->setObjectName(u"Label1"_s);
    m_label->setGeometry(place);
    m_label->setIndent(4);
    m_label->setTextFormat(Qt::PlainText);
    m_label->installEventFilter(this);

    // The bar and Cancel share the line's place while a Save runs.
    const int cancelWidth = 90;
    m_progress->setObjectName(u"ProgressBar1"_s);
    m_progress->setGeometry(place.adjusted(0, 0, -cancelWidth - 6, 0));
    m_progress->setAccessibleName(u"Saving"_s);
    m_progress->hide();
    m_cancel->setObjectName(u"PushButton7"_s);
    m_cancel->setGeometry(place.adjusted(place.width() - cancelWidth, 0, 0, 0));
    QFont font = m_cancel->font();
    font.setPointSizeF(11.25);
    m_cancel->setFont(font);
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, &StatusLine::cancelClicked);

    m_told.setSingleShot(true);
    m_told.setInterval(ToldMs);
    connect(&m_told, &QTimer::timeout, this, &StatusLine::refresh);
}

QString StatusLine::Describe(const Tone &tone, const OutputOptions &options, const QString &outputDevice,
                             const std::optional<OutputCalibration> &calibration)
{
    QString level = Decibels(options.level()) + (options.rmsLevel() ? u" RMS (AES17)"_s : u" peak"_s);
    if (options.level() == OutputLevel() && !options.rmsLevel())
        level += u" (full scale)"_s;
    // A meter reads the RMS level; a peak level says nothing of it but for a lone sine.
    if (calibration && options.rmsLevel())
        level += u" = "_s + WithMinusSign(calibration->reading(options.level()).text());
    QString channels = options.chosen(OutputSetting::Channels).label;
    // A left | right step makes the whole file stereo.
    if (tone.twoSides())
        channels = u"Stereo (left | right)"_s;
    else if (options.channelCount() == 2 && channels.startsWith(u"Both"_s))
        channels = u"Stereo"_s;
    if (!tone.twoSides() && options.channelsInTurn())
        channels += u", each channel in turn"_s;
    QString depth = options.chosen(OutputSetting::SampleFormat).label;
    depth.replace(u"Float"_s, u"float"_s);
    QStringList parts{level, channels, KiloHertz(options.sampleRate()), depth};

    parts << ShapingParts(tone, options);
    if (options.loopPreview())
        parts << u"Loop"_s;
    if (!outputDevice.isEmpty())
        parts << u"Output: "_s + outputDevice;
    return parts.join(u" · "_s);
}

void StatusLine::start()
{
    if (m_started)
        return;
    m_started = true;
    refresh();
}

void StatusLine::refresh()
{
    if (!m_started || m_told.isActive())
        return;
    setText(m_playing.isEmpty() ? m_describe() : m_playing);
}

void StatusLine::setPlaying(const QString &words)
{
    if (words == m_playing)
        return;
    m_playing = words;
    m_told.stop();
    refresh();
}

void StatusLine::tell(const QString &text)
{
    setText(text);
    m_told.start();
}

void StatusLine::showProgress(std::optional<int> percent, const QString &text)
{
    m_progress->setRange(0, percent ? 100 : 0); // no share known: the bar only shows that it runs
    if (percent)
        m_progress->setValue(*percent);
    m_progress->setFormat(text);
    m_progress->setAccessibleDescription(text);
    if (!m_progress->isVisibleTo(m_label->parentWidget())) {
        m_label->hide();
        m_progress->show();
        m_cancel->show();
    }
}

void StatusLine::hideProgress()
{
    m_progress->hide();
    m_cancel->hide();
    m_label->show();
    refresh();
}

void StatusLine::setText(const QString &text)
{
    // Many options may make the line longer than the window is wide: it ends in "…" there, and
    // the whole of it is in the tooltip and what a screen reader reads.
    const int room = m_label->contentsRect().width() - 2 * m_label->indent();
    const QString shown = m_label->fontMetrics().elidedText(text, Qt::ElideRight, room);
    m_label->setToolTip(shown == text ? ClickForOptions : text + u"\n"_s + ClickForOptions);
    if (m_label->accessibleName() != text)
        m_label->setAccessibleName(text);
    if (m_label->text() != shown)
        m_label->setText(shown);
}

bool StatusLine::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_label && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        emit clicked();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
