// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/tone_window.h"

#include "core/failure.h"
#include "core/measure/response_curves.h"
#include "core/plugins/plugin_interfaces.h"
#include "core/plugins/plugin_loader.h"
#include "core/run/output_target.h"
#include "core/sound/sound_file.h"
#include "services/app_title.h"
#include "services/dialogs.h"
#include "window/tone_chart.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

// The room under a saved picture for the tone's fields, its options and what was measured.
constexpr int PictureTextLines = 3;

QString Decibels(double decibels, int decimals = 2)
{
    if (std::isnan(decibels))
        return u"–"_s;
    if (!std::isfinite(decibels))
        return u"−∞"_s;
    return QString::number(decibels, 'f', decimals).replace(u'-', u'−');
}

QString SpectrumBasis(const ToneAnalysis &analysis)
{
    const QString seconds = QString::number(analysis.spectrumSeconds, 'f', analysis.spectrumSeconds < 10 ? 2 : 1);
    QString basis = analysis.spectrumParts > 1
                        ? u"Spectrum of %1 s in %2 parts"_s.arg(seconds).arg(analysis.spectrumParts)
                        : u"Spectrum of the whole %1 s"_s.arg(seconds);
    basis += analysis.wholeFileRead ? u"; levels and overview of the whole file."_s
                                    : u"; reading the whole file for the overview and the levels…"_s;
    return basis;
}

} // namespace

ToneWindow::ToneWindow(QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Window), m_chart(new ToneChart), m_basis(new QLabel), m_figures(new QPlainTextEdit),
      m_savePicture(new QPushButton(u"Save Picture…"_s)), m_smoothing(new QComboBox),
      m_exportResponse(new QPushButton(u"Export Response…"_s))
{
    setObjectName(u"ToneWindow"_s);
    setWindowTitle(u"The Tone – "_s + ProgramName);
    m_figures->setObjectName(u"Figures"_s);
    m_figures->setReadOnly(true);
    // Selectable from the keyboard too, and Tab moves on, as in any read-only text.
    m_figures->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_figures->setFocusPolicy(Qt::StrongFocus);
    m_figures->setTabChangesFocus(true);
    m_figures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_figures->setAccessibleName(u"Figures"_s);
    // Wrapped, so that nothing is out of sight to the right (a long file name).
    m_figures->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A stereo tone's figures without scrolling.
    m_figures->setMinimumHeight(11 * QFontMetrics(m_figures->font()).lineSpacing() + 2 * m_figures->frameWidth() +
                                int(m_figures->document()->documentMargin() * 2));
    m_basis->setObjectName(u"SpectrumBasis"_s);
    m_basis->setWordWrap(true);
    m_savePicture->setObjectName(u"SavePicture"_s);
    m_savePicture->setEnabled(false);
    connect(m_savePicture, &QPushButton::clicked, this, &ToneWindow::savePicture);

    // An impulse response's smoothing and its export, shown only for one.
    m_smoothing->setObjectName(u"Smoothing"_s);
    m_smoothing->setAccessibleName(u"Smoothing"_s);
    for (const int bands : ResponseSmoothings)
        m_smoothing->addItem(u"1/%1 octave"_s.arg(bands), bands);
    m_smoothing->setCurrentIndex(
        int(std::find(ResponseSmoothings.begin(), ResponseSmoothings.end(), ToneChart::DefaultSmoothing) -
            ResponseSmoothings.begin()));
    connect(m_smoothing, &QComboBox::currentIndexChanged, this, [this] {
        m_chart->setSmoothing(m_smoothing->currentData().toInt());
        m_figures->setPlainText(figuresText());
    });
    m_exportResponse->setObjectName(u"ExportResponse"_s);
    connect(m_exportResponse, &QPushButton::clicked, this, &ToneWindow::exportResponse);
    m_smoothing->hide();
    m_exportResponse->hide();

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_basis, 1);
    bottom->addWidget(m_smoothing);
    bottom->addWidget(m_exportResponse);
    bottom->addWidget(m_savePicture);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_chart, 3);
    layout->addWidget(m_figures, 1);
    layout->addLayout(bottom);
    m_figures->setPlainText(u"Make a tone with Preview or Save to see it here."_s);
}

ToneWindow::~ToneWindow()
{
    if (m_worker) {
        m_stop->store(true);
        m_worker->disconnect(this);
        m_worker->wait();
        delete m_worker;
    }
}

void ToneWindow::follow(const MadeTone &tone)
{
    m_tone = tone;
    ++m_toneNumber;
    if (isVisible())
        startAnalysis();
}

void ToneWindow::showEvent(QShowEvent *event)
{
    // First beside the main window, on its right where the screen has room, else on its left.
    if (!m_placed && parentWidget()) {
        m_placed = true;
        const QRect main = parentWidget()->frameGeometry();
        const QRect screen = parentWidget()->screen()->availableGeometry();
        const int room = screen.right() - main.right();
        move(room >= width() ? main.right() + 8 : std::max(screen.left(), main.left() - width() - 8), main.top());
    }
    QWidget::showEvent(event);
    if (m_tone && m_analysedNumber != m_toneNumber)
        startAnalysis();
}

void ToneWindow::startAnalysis()
{
    if (!m_tone)
        return;
    if (m_worker) {
        // The newer tone starts when the older one's analysis has stopped.
        m_stop->store(true);
        return;
    }
    m_analysedNumber = m_toneNumber;
    m_shownTone = m_tone;
    m_basis->setText(u"Reading %1…"_s.arg(QFileInfo(m_tone->path).fileName()));
    m_stop = std::make_shared<std::atomic_bool>(false);
    // Loaded here, on the window's thread, before the worker asks for it.
    ProgramPlugin(ToneViewPluginFile);
    // A sweep passes each frequency once: its spectrum is the whole file's, not that of parts.
    const bool sweep = m_tone->tone.sweep();
    m_worker = QThread::create([this, path = m_tone->path, stop = m_stop, number = m_toneNumber, sweep] {
        const auto post = [this, number](const ToneAnalysis &analysis) {
            auto shared = std::make_shared<const ToneAnalysis>(analysis);
            QMetaObject::invokeMethod(
                this, [this, shared, number] { showAnalysis(shared, number); }, Qt::QueuedConnection);
        };
        try {
            post(AnalyseSoundFile(
                path, {.firstLook = post, .stopRequested = [stop] { return stop->load(); }, .wholeSpectrum = sweep}));
        } catch (const std::exception &error) {
            if (!stop->load()) {
                QMetaObject::invokeMethod(
                    this, [this, problem = DescribeException(error), number] { showProblem(problem, number); },
                    Qt::QueuedConnection);
            }
        }
    });
    connect(m_worker, &QThread::finished, this, [this] {
        delete std::exchange(m_worker, nullptr);
        if (m_analysedNumber != m_toneNumber && isVisible())
            startAnalysis();
    });
    m_worker->start(QThread::LowPriority);
}

void ToneWindow::showAnalysis(std::shared_ptr<const ToneAnalysis> analysis, quint64 toneNumber)
{
    if (toneNumber != m_toneNumber)
        return;
    m_analysis = std::move(analysis);
    m_chart->setAnalysis(m_analysis);
    m_figures->setPlainText(figuresText());
    m_basis->setText(SpectrumBasis(*m_analysis));
    m_chart->setAccessibleDescription(figuresText());
    m_savePicture->setEnabled(true);
    const bool response = m_analysis->response && !m_analysis->response->channels.empty();
    m_smoothing->setVisible(response);
    m_exportResponse->setVisible(response);
    emit pictureShown();
}

void ToneWindow::showProblem(const QString &problem, quint64 toneNumber)
{
    if (toneNumber != m_toneNumber)
        return;
    m_analysis.reset();
    m_chart->setAnalysis(nullptr);
    m_savePicture->setEnabled(false);
    m_smoothing->hide();
    m_exportResponse->hide();
    m_basis->setText(problem);
    m_figures->setPlainText(u"The tone could not be read: "_s + problem);
}

QString ToneWindow::figuresText() const
{
    if (!m_analysis || !m_shownTone)
        return {};
    const ToneAnalysis &analysis = *m_analysis;
    QStringList lines{u"%1: %2 Hz, %3 channel(s), %4 s"_s.arg(QFileInfo(m_shownTone->path).fileName())
                          .arg(analysis.sampleRate)
                          .arg(analysis.channels)
                          .arg(analysis.seconds(), 0, 'f', 3)};
    const int decimals = analysis.frequencyDecimals;
    // What a person looks for first on the first line of each channel, the rest after it; a noise
    // has no line to speak of, but a level in each octave.
    const bool noise = m_shownTone->tone.noise();
    const QString indent(7, u' ');
    for (int channel = 0; channel < analysis.channels; ++channel) {
        const ChannelFigures &figures = analysis.figures[std::size_t(channel)];
        const QString name = ToneChart::channelName(channel, analysis.channels).leftJustified(indent.size());
        if (analysis.response && std::size_t(channel) < analysis.response->channels.size()) {
            // What a response measured; its tone figures would describe an impulse.
            QStringList response = responseFigures(channel);
            response.first().replace(0, indent.size(), name);
            lines << response;
        } else if (noise) {
            lines << name + u"RMS (AES17) %1 dBFS · crest factor %2 dB"_s.arg(Decibels(figures.rmsDbfs),
                                                                              Decibels(figures.crestDb));
            QStringList bands;
            for (std::size_t band = 0; band < figures.octaveBandsDb.size(); ++band) {
                const double centre = OctaveBandCentres[band];
                bands << u"%1 %2"_s.arg(centre >= 1000 ? QString::number(centre / 1000) + u'k'
                                                       : QString::number(centre),
                                        Decibels(figures.octaveBandsDb[band], 1));
            }
            lines << indent + u"Octave bands, dBFS:"_s;
            for (qsizetype first = 0; first < bands.size(); first += 5)
                lines << indent + bands.mid(first, 5).join(u" · "_s);
            lines << indent +
                         u"Peak %1 dBFS · DC %2 %"_s.arg(Decibels(figures.peakDbfs), Decibels(100 * figures.dc, 4));
        } else {
            lines << name + u"%1 Hz at %2 dBFS · crest factor %3 dB"_s.arg(
                                QString::number(figures.line.hertz, 'f', decimals), Decibels(figures.line.decibels),
                                Decibels(figures.crestDb));
            lines << indent + u"THD %1 dB · THD+N %2 dB (20 Hz to %3)"_s.arg(
                                  Decibels(figures.thdDb, 1), Decibels(figures.thdNoiseDb, 1),
                                  analysis.sampleRate >= 40000 ? u"20 kHz"_s : u"half the rate"_s);
            lines << indent + u"Peak %1 dBFS · RMS (AES17) %2 dBFS · DC %3 %"_s.arg(
                                  Decibels(figures.peakDbfs), Decibels(figures.rmsDbfs), Decibels(100 * figures.dc, 4));
            lines << indent +
                         u"Strongest other %1 Hz at %2 dBc"_s.arg(QString::number(figures.other.hertz, 'f', decimals),
                                                                  Decibels(figures.other.decibels, 1));
        }
    }
    return lines.join(u'\n');
}

QStringList ToneWindow::responseFigures(int channel) const
{
    const ResponseAnalysis &response = *m_analysis->response;
    const ResponseAnalysis::Channel &data = response.channels[std::size_t(channel)];
    const int bands = m_smoothing->currentData().toInt();
    const auto percent = [](double ratio) {
        return std::isnan(ratio) ? u"–"_s
                                 : u"%1 % (%2 dB)"_s.arg(QString::number(100 * ratio, 'f', ratio < 0.001 ? 4 : 3),
                                                         Decibels(20 * std::log10(ratio), 1));
    };
    const auto decibels = [](double ratio) { return Decibels(20 * std::log10(ratio), 1); };
    QStringList harmonics;
    for (int order = 2; order <= ResponseAnalysis::Orders; ++order)
        harmonics << u"H%1 %2"_s.arg(order).arg(decibels(HarmonicDistortion(response, channel, order, 1000, bands)));
    const QString indent(7, u' ');
    return {indent +
                u"Response peak %1 dBFS at %2 s"_s.arg(
                    Decibels(data.peakDbfs), QString::number(double(data.peakFrame) / m_analysis->sampleRate, 'f', 4)),
            indent + u"Level at 1 kHz %1 dB · THD at 1 kHz %2"_s.arg(
                         Decibels(FrequencyResponse(response, channel, {1000}, bands).front().decibels),
                         percent(TotalHarmonicDistortion(response, channel, 1000, bands))),
            indent + harmonics.join(u" · "_s) + u" dB at 1 kHz"_s};
}

void ToneWindow::exportResponse()
{
    if (!m_analysis || !m_analysis->response || !m_shownTone)
        return;
    QString path = CurrentDialogs().saveFileName(this, u"Text (*.txt);;All Files (*)"_s);
    if (path.isEmpty())
        return;
    QString text;
    for (std::size_t channel = 0; channel < m_analysis->response->channels.size(); ++channel) {
        text += ResponseText(*m_analysis->response, int(channel), m_analysis->sampleRate,
                             m_smoothing->currentData().toInt(), QFileInfo(m_shownTone->path).fileName());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        CurrentDialogs().message(this, u"The response could not be exported."_s,
                                 u"%1: %2"_s.arg(path, file.errorString()));
}

QString ToneWindow::toneDescription() const
{
    if (!m_shownTone)
        return {};
    if (m_shownTone->tone.fields.Length.isEmpty())
        return QFileInfo(m_shownTone->path).fileName();
    const ToneRequest &request = m_shownTone->tone.fields;
    QStringList chosen;
    for (const OutputSettingRow &row : OutputSettingRows()) {
        const qsizetype choice = m_shownTone->options.choice(row.setting);
        if (row.setting == OutputSetting::Level && choice == OtherLevelChoice())
            chosen << m_shownTone->options.level().label();
        else if (choice != row.defaultChoice)
            chosen << (row.kind == OutputSettingKind::OnOff ? row.menuText : row.choices[choice].label);
    }
    return u"Length %1 · %2 · Frequencies %3\nOptions: %4"_s.arg(request.Length, request.Waveform, request.Frequencies,
                                                                 chosen.isEmpty() ? u"none"_s : chosen.join(u", "_s));
}

void ToneWindow::savePicture()
{
    QString path = CurrentDialogs().saveFileName(this, u"PNG Image (*.png);;SVG Image (*.svg)"_s);
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != u"png"_s && suffix != u"svg"_s)
        path += u".png"_s;
    // Written as a tone is: into a private file beside the name, renamed over it when whole, with the
    // same care for a link or another user's file at the name.
    OutputTarget target;
    try {
        target = PrepareOutputTarget(path);
        if (!target.refusal().isEmpty())
            throw Failure(target.refusal());
        writePicture(target.writePath, path);
        if (const QString problem = CommitOutputTarget(target); !problem.isEmpty())
            throw Failure(problem);
    } catch (const std::exception &error) {
        DiscardOutputTarget(target);
        CurrentDialogs().message(this, u"The picture could not be saved."_s, DescribeException(error));
    }
}

void ToneWindow::writePicture(const QString &path, const QString &shownPath) const
{
    // The tone's fields, options and what was measured under the chart, then the figures as the
    // window shows them, in their own fixed-width font.
    const QSize size = this->size();
    const int lineHeight = QFontMetrics(font()).lineSpacing();
    const QString figures = figuresText();
    const QFont figuresFont = m_figures->font();
    const int figuresHeight =
        figures.isEmpty() ? 0 : int(figures.count(u'\n') + 1) * QFontMetrics(figuresFont).lineSpacing();
    const QRect chart(0, 0, size.width(), size.height() - (PictureTextLines + 1) * lineHeight - figuresHeight);
    const QRect text(8, chart.bottom() + lineHeight / 2, size.width() - 16, PictureTextLines * lineHeight);
    const QRect figuresArea(8, text.bottom(), size.width() - 16, figuresHeight);
    const QString caption = toneDescription() + u'\n' + (m_analysis ? SpectrumBasis(*m_analysis) : QString());
    const auto paint = [&](QPainter &painter) {
        painter.fillRect(QRect(QPoint(0, 0), size), palette().color(QPalette::Base));
        ToneChart::paint(painter, chart, palette(), m_analysis.get(), m_smoothing->currentData().toInt());
        painter.setPen(palette().color(QPalette::Text));
        painter.setFont(font());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
        painter.setFont(figuresFont);
        painter.drawText(figuresArea, Qt::AlignLeft | Qt::AlignTop, figures);
    };

    if (QFileInfo(path).suffix().toLower() == u"svg"_s) {
        const ToneViewPlugin *parts = ProgramPluginAs<ToneViewPlugin>(ToneViewPluginFile);
        if (!parts)
            throw Failure(u"The part of the program that writes SVG (%1) is missing."_s.arg(ToneViewPluginFile));
        const std::unique_ptr<QPaintDevice> svg = parts->svgFile(path, size, windowTitle());
        QPainter painter;
        if (!painter.begin(svg.get()))
            throw Failure(u"%1 cannot be written."_s.arg(shownPath));
        paint(painter);
        // The generator writes when the painting ends, and says nothing when it cannot.
        if (!painter.end() || QFileInfo(path).size() == 0)
            throw Failure(u"%1 cannot be written."_s.arg(shownPath));
        return;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    paint(painter);
    painter.end();
    if (!image.save(path, "PNG"))
        throw Failure(u"%1 cannot be written."_s.arg(shownPath));
}
