// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/tone_maker.h"

#include "services/app_title.h"

#include <QWidget>

using namespace Qt::Literals::StringLiterals;

ToneMaker::ToneMaker(QWidget *window, std::function<ToneRequest()> currentRequest,
                     std::function<OutputOptions()> currentOptions)
    : m_window(window), m_currentRequest(std::move(currentRequest)), m_currentOptions(std::move(currentOptions))
{
}

std::optional<QString> ToneMaker::reminder() const
{
    return ToneReminder(m_currentRequest(), m_currentOptions());
}

SynthRun ToneMaker::make(CommandSteps &g, const Lines &lines, QString &outputPath)
{
    // The title shows how far the tone has got, and is the program's own again once it is made.
    const auto showProgress = [window = m_window](const std::optional<QString> &progress) {
        window->setWindowTitle(progress ? ProgramName + u" – "_s + *progress : ProgramName);
    };
    return MakeTone(
        g, lines, outputPath,
        [this] {
            ToneJobInputs inputs{m_currentRequest(), m_currentOptions()};
            m_madeWith = inputs.options;
            return inputs;
        },
        showProgress);
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
