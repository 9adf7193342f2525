// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/tone_maker.h"

#include "core/plan/fft_bins.h"
#include "core/run/run_and_wait.h"
#include "core/sound/sound_file.h"
#include "services/app_title.h"
#include "window/options_menu.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QWidget>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

ToneMaker::ToneMaker(QWidget *window, std::function<ToneRequest()> currentRequest,
                     std::function<OutputOptions()> currentOptions)
    : m_window(window), m_currentRequest(std::move(currentRequest)), m_currentOptions(std::move(currentOptions))
{
}

std::optional<ToneRefusal> ToneMaker::reminder()
{
    m_checked = PlanInputs(m_currentRequest(), m_currentOptions());
    std::optional<ToneRefusal> refusal = m_checked->refusal();
    if (refusal)
        refusal->reminder = WithMenuAdvice(refusal->reminder);
    return refusal;
}

SynthRun ToneMaker::make(CommandSteps &g, const Lines &lines, QString &outputPath, bool saving)
{
    m_cancelled = false;
    // The title shows how far the tone has got, and is the program's own again once it is made; a
    // Save shows it in its progress bar too: the share written, or the seconds so far.
    const auto showProgress = [this, window = m_window, saving,
                               name = QFileInfo(outputPath).fileName()](const std::optional<QString> &progress) {
        window->setWindowTitle(progress ? ProgramName + u" – "_s + *progress : ProgramName);
        if (!saving || !m_saveProgress || !progress)
            return;
        static const QRegularExpression share(uR"((\d+) %$)"_s);
        const QRegularExpressionMatch percent = share.match(*progress);
        m_saveProgress(percent.hasMatch() ? std::optional(percent.captured(1).toInt()) : std::nullopt,
                       u"Saving %1: "_s.arg(name) +
                           (percent.hasMatch() ? u"%p %"_s : QString(*progress).remove(u"making tone "_s)));
    };
    SynthRun run = MakeTone(
        g, lines, outputPath,
        [this] {
            // Read again only when the fields or options changed since the reminder read them.
            const ToneRequest request = m_currentRequest();
            const OutputOptions options = m_currentOptions();
            const bool unchanged = m_checked && m_checked->request == request && m_checked->options == options;
            PlannedTone planned = unchanged ? *m_checked : PlanInputs(request, options);
            m_checked.reset();
            m_madeWith = planned.options;
            return planned;
        },
        showProgress);
    if (run.reminder)
        run.reminder = WithMenuAdvice(*run.reminder);
    return run;
}

void ToneMaker::cancel()
{
    m_cancelled = true;
    StopRunningProgram();
}

QString ToneMaker::judge(const SynthRun &run, const QString &outputPath)
{
    QString problem = SynthRunProblem(run, outputPath);
    if (problem.isEmpty()) {
        m_lastMade = MadeTone{outputPath, run.tone, m_madeWith};
        if (toneMade)
            toneMade(*m_lastMade);
    }
    return problem;
}

QString ToneMaker::describeWritten(const SynthRun &run, const QString &outputPath) const
{
    const std::optional<SoundFileInfo> written = ReadSoundFileInfo(outputPath);
    if (!written)
        return {};
    ChosenLayout chosen;
    chosen.sampleRate = m_madeWith.sampleRate();
    chosen.depth = m_madeWith.chosen(OutputSetting::SampleFormat).label.toLower();
    chosen.signal = DescribeBins(run.tone);
    if (run.tone.lengthInSamples)
        chosen.samples = run.tone.samples;
    const bool layoutMade = !run.tone.twoSides() && written->channels == m_madeWith.channelCount();
    if (layoutMade && m_madeWith.channelCount() > 2)
        chosen.layout = m_madeWith.chosen(OutputSetting::Channels).label;
    chosen.inTurn = layoutMade && m_madeWith.channelsInTurn();
    return DescribeWrittenFile(outputPath, *written, chosen);
}
