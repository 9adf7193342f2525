// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/tone_maker.h"

#include "core/run/run_and_wait.h"
#include "core/sound/sound_file.h"
#include "core/tone/field_grammar.h"
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

std::optional<QString> ToneMaker::reminder() const
{
    const std::optional<QString> reminder = ToneReminder(m_currentRequest(), m_currentOptions());
    return reminder ? std::optional(WithMenuAdvice(*reminder)) : std::nullopt;
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
            ToneJobInputs inputs{m_currentRequest(), m_currentOptions()};
            m_madeWith = inputs.options;
            return inputs;
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
        m_lastMade = MadeTone{outputPath, run.request, m_madeWith};
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
    ChosenLayout chosen{m_madeWith.sampleRate(), m_madeWith.chosen(OutputSetting::SampleFormat).label.toLower(), {}};
    if (const std::optional<ToneLength> length = ParseLength(run.request.Length); length && length->inSamples)
        chosen.samples = qint64(length->samples);
    return DescribeWrittenFile(outputPath, *written, chosen);
}
