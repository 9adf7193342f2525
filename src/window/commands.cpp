// The two commands that make a tone: Save writes it where the user chooses, Preview writes it
// into the temporary folder and plays it. Both run the sound tool from the embedded tool files.

#include "build_config.h"
#include "dialogs.h"
#include "form1.h"
#include "guard.h"
#include "playback.h"
#include "run_and_wait.h"
#include "synth_command.h"
#include "synth_run.h"
#include "temp_folder.h"
#include "tool_files.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLoggingCategory>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcCommands, "quorvane.commands", QtWarningMsg)

namespace {

QString SupportLine()
{
    return u"Please email "_s + QString::fromUtf16(BuildConfig::SupportEmail);
}

} // namespace

// Load, test, test again and write: three numbered lines per tool file.
void Form1::deployToolFile(Guard &g, qint32 firstLine, int rowIndex)
{
    const ToolFile &row = ToolFiles[size_t(rowIndex)];
    QByteArray bytes;
    g.step(firstLine, [&] { bytes = LoadToolResource(row.resourceId); });
    if (g.test(firstLine + 2, [&] { return !IsTrustedCopy(ToolPath(row), bytes, row.executable); })) {
        if (g.test(firstLine + 4, [&] { return !IsTrustedCopy(ToolPath(row), bytes, row.executable); }))
            g.step(firstLine + 4, [&] { WriteResourceFile(bytes, ToolPath(row), row.executable); });
    }
}

void Form1::PushButton2_Click()
{
    Guard g(Locations::PushButton2Click);
    QString dialogFileName;
    QString dialogFilter;
    QString outputPath;
    SynthToolPart toolPart;
    SynthArgumentPart argumentPart;
    ToneRequest request;
    SynthCommand command;
    SynthRun run;
    QString problem;

    if (g.test(106, [&] { return CommandBusy; }))
        return;
    g.step(108, [&] { CommandBusy = true; });
    if (g.test(110, [&] { return Text1->text().isEmpty(); })) {
        g.step(184, [&] { showMessage(u"You forgot to input length of audio."_s); });
    } else if (g.test(112, [&] { return Text2->text().isEmpty(); })) {
        g.step(182, [&] { showMessage(u"You forgot to input frequencies."_s); });
    } else {
        g.step(114, [&] { dialogFileName.clear(); });
        g.step(116, [&] { dialogFilter = u"Wave Files (*.wav)|*.wav|"_s; });
        g.step(118, [&] { dialogFileName = CurrentDialogs().saveFileName(this, dialogFilter); });
        g.step(120, [&] { outputPath = dialogFileName; });
        if (!g.test(122, [&] { return outputPath.isEmpty(); })) {
            g.step(124, [&] { setPointerState(PointerState::Busy); });
            for (int row = 0; row < int(ToolFiles.size()); ++row)
                deployToolFile(g, 126 + 6 * row, row);
            g.step(156, [&] { toolPart = BuildSynthToolPart(); });
            // The inputs are read now, after deployment: edits made until here count.
            g.step(158, [&] {
                request = MakeToneRequest(Text1->text(), Combo1->currentText(), Text2->text());
                argumentPart = BuildSynthArgumentPart(outputPath, request);
            });
            g.step(160, [&] { command = JoinSynthCommand(toolPart, argumentPart); });
            g.step(162, [&] {
                qCInfo(lcCommands).noquote() << "Running" << command.text;
                run = RunSynthCommand(command, request);
            });
            for (int row = 0; row < int(ToolFiles.size()); ++row)
                g.step(164 + 2 * row, [&] { DeleteFileQuiet(ToolPath(ToolFiles[size_t(row)])); });
            g.step(174, [&] { setPointerState(PointerState::Default); });
            // A failure while judging the outcome never turns into "Done.".
            if (g.test(176, [&] { return !(problem = SynthRunProblem(run, outputPath)).isEmpty(); })) {
                g.step(180, [&] { showMessage(u"Failed to save tone.\r\n"_s + SupportLine(), problem); });
            } else {
                g.step(178, [&] { showMessage(u"Done."_s); });
            }
        }
    }
    g.step(186, [&] { CommandBusy = false; });
}

void Form1::PushButton3_Click()
{
    Guard g(Locations::PushButton3Click);
    SynthToolPart toolPart;
    QString previewPath;
    SynthArgumentPart argumentPart;
    ToneRequest request;
    SynthCommand command;
    SynthRun run;
    QString problem;

    if (g.test(100, [&] { return CommandBusy; }))
        return;
    g.step(102, [&] { CommandBusy = true; });
    g.step(104, [&] { setPointerState(PointerState::Busy); });
    for (int row = 0; row < int(ToolFiles.size()); ++row)
        deployToolFile(g, 106 + 6 * row, row);
    g.step(136, [&] { toolPart = BuildSynthToolPart(); });
    g.step(138, [&] { previewPath = TempFolder() + u"/preview.wav"_s; });
    g.step(140, [&] {
        request = MakeToneRequest(Text1->text(), Combo1->currentText(), Text2->text());
        argumentPart = BuildSynthArgumentPart(previewPath, request);
    });
    g.step(142, [&] { command = JoinSynthCommand(toolPart, argumentPart); });
    g.step(144, [&] {
        qCInfo(lcCommands).noquote() << "Running" << command.text;
        run = RunSynthCommand(command, request);
    });
    // A preview left by an earlier run is never played in place of one that failed.
    g.step(146, [&] {
        problem = SynthRunProblem(run, previewPath);
        if (problem.isEmpty())
            PlayWaveFile(previewPath, false);
    });
    g.step(148, [&] { setPointerState(PointerState::Default); });
    if (g.test(150, [&] { return !(problem = SynthRunProblem(run, previewPath)).isEmpty(); })) {
        g.step(152, [&] { showMessage(u"Failed to generate tone.\r\n"_s + SupportLine() + u'.', problem); });
    }
    for (int row = 0; row < int(ToolFiles.size()); ++row)
        g.step(154 + 2 * row, [&] { DeleteFileQuiet(ToolPath(ToolFiles[size_t(row)])); });
    g.step(164, [&] { CommandBusy = false; });
}
