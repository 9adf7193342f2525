// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/sweep_measurement.h"

#include "core/failure.h"
#include "core/job/tone_job.h"
#include "core/measure/measurement_sweep.h"
#include "core/plugins/measure_plugin.h"
#include "core/plugins/plugin_loader.h"
#include "core/run/command_steps.h"
#include "core/run/output_target.h"
#include "core/run/synth_run.h"
#include "core/run/tool_files.h"
#include "core/sound/playback.h"
#include "services/app_title.h"
#include "services/dialogs.h"
#include "settings/settings_store.h"
#include "window/input_store.h"
#include "window/status_line.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cmath>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

// How long the recording goes on after the sweep's file has played, for the latency on the way.
constexpr double RecordingTailSeconds = 0.25;
// A recording whose peak reaches this has clipped, or is about to.
constexpr double ClippingLevel = 0.999;
// A response whose peak stands less than this above its noise holds no sweep worth the name.
constexpr double LeastPeakOverNoiseDb = 30;

} // namespace

bool MayWriteInverseFilter(QWidget *window, const QString &sweepPath)
{
    return !InverseFilterNameTaken(sweepPath) ||
           CurrentDialogs().question(
               window, u"%1 already exists, and is not the inverse filter of an earlier sweep of this name.\r\n"
                       "Replace it?"_s.arg(QFileInfo(InverseFilterPath(sweepPath)).fileName()));
}

std::optional<QString> WriteInverseFilter(InputStore &store, const QString &sweepPath, const Tone &tone,
                                          const OutputOptions &options)
{
    std::optional<QString> inversePath = WriteInverseFilterBeside(sweepPath, tone, options);
    if (inversePath)
        store.save(Settings::InverseFilter, *inversePath);
    return inversePath;
}

SweepMeasurement::SweepMeasurement(QWidget *window, InputStore &store, StatusLine &status)
    : m_window(window), m_store(store), m_status(status)
{
}

SweepMeasurement::~SweepMeasurement()
{
    stop();
}

void SweepMeasurement::cancel()
{
    m_cancel = true;
    if (m_playing)
        StopPlayback();
}

void SweepMeasurement::stop()
{
    // The work removes what it wrote as it stops.
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

ImpulseResponseMade SweepMeasurement::respond(const QString &recording, const QString &inverse, const QString &output)
{
    std::atomic<double> share = 0;
    std::atomic<bool> finished = false;
    std::optional<ImpulseResponseMade> made;
    std::exception_ptr failure;
    QEventLoop loop;
    QTimer poll;
    const auto showShare = [&] {
        const int percent = int(share * 100);
        m_window->setWindowTitle(u"%1 – making impulse response %2 %"_s.arg(ProgramName).arg(percent));
        m_status.showProgress(percent,
                              u"Making the impulse response of %1: %p %"_s.arg(QFileInfo(recording).fileName()));
        if (finished)
            loop.quit();
    };
    QObject::connect(&poll, &QTimer::timeout, &loop, showShare);
    m_worker = std::thread([&] {
        try {
            made = WriteImpulseResponse(recording, inverse, output, [&](double done) {
                share = done;
                return !m_cancel;
            });
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    showShare();
    poll.start(100);
    if (!finished)
        loop.exec();
    if (m_worker.joinable())
        m_worker.join();
    m_window->setWindowTitle(ProgramName);
    m_status.hideProgress();
    if (failure)
        std::rethrow_exception(failure);
    return *made;
}

void SweepMeasurement::makeImpulseResponse()
{
    // Recordings are usually made beside the sweep.
    const QString lastInverse = m_store.get(Settings::InverseFilter, QString());
    const QString recording =
        CurrentDialogs().openFileName(m_window, u"Choose the Recording of the Sweep"_s,
                                      lastInverse.isEmpty() ? QString() : QFileInfo(lastInverse).path());
    if (recording.isEmpty())
        return;
    const QString inverse =
        CurrentDialogs().openFileName(m_window, u"Choose the Inverse Filter of the Sweep"_s, lastInverse);
    if (inverse.isEmpty())
        return;
    const QString output = ImpulseResponsePath(recording);
    // As the inverse filter beside a saved sweep: an earlier response of this recording is its own.
    if (ImpulseResponseNameTaken(recording) &&
        !CurrentDialogs().question(
            m_window,
            u"%1 already exists, and is not an earlier impulse response of this recording.\r\nReplace it?"_s.arg(
                QFileInfo(output).fileName())))
        return;
    m_cancel = false;
    try {
        const ImpulseResponseMade made = respond(recording, inverse, output);
        CurrentDialogs().message(
            m_window, u"Done.\r\nThe impulse response is %1.\r\nIts linear response peaks at %2 s in it (sample %3), "
                      "%4 s after the recording's start, at %5 dBFS."_s
                          .arg(output, QString::number(double(made.peakFrame) / made.sampleRate, 'f', 4))
                          .arg(made.peakFrame)
                          .arg(QString::number(double(made.delayFrames) / made.sampleRate, 'f', 4),
                               QString::number(made.peakDb, 'f', 1)));
        if (responseMade)
            responseMade(output, false);
    } catch (const std::exception &error) {
        CurrentDialogs().message(
            m_window, m_cancel ? u"Cancelled."_s : u"No impulse response was made.\r\n"_s + DescribeException(error));
    }
}

std::optional<QString> SweepMeasurement::playAndRecord(const QString &sweep, const QString &recording, int sampleRate,
                                                       const QString &outputId, const QString &inputId)
{
    m_status.showProgress(std::nullopt, u"Measuring: the sweep plays and the input is recorded"_s);
    // The recording runs before the sweep starts: it returns once the input's first samples came.
    if (!StartRecording(inputId, recording, sampleRate))
        return u"The input cannot be recorded. "_s + PlaybackFailure();
    m_playing = true;
    const PlaybackStart started = PlayWaveFileOn(outputId, sweep, true, false);
    m_playing = false;
    // The sweep's own second of silence holds the system's decay; a little more rides out the
    // latency of the output and the input.
    QEventLoop loop;
    QTimer poll;
    const qint64 enough = RecordedFrames() + std::llround(RecordingTailSeconds * sampleRate);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (RecordedFrames() >= enough || m_cancel)
            loop.quit();
    });
    poll.start(20);
    if (started != PlaybackStart::Failed && !m_cancel)
        loop.exec();
    const qint64 frames = StopRecording();
    if (started == PlaybackStart::Failed)
        return u"The sweep cannot be played. "_s + PlaybackFailure();
    if (m_cancel)
        return u"Cancelled."_s;
    if (frames < 0)
        return u"The recording %1 could not be written whole."_s.arg(recording);
    return std::nullopt;
}

// NOLINTNEXTLINE(readability-function-size): Measure… in the order it runs: make, play and record, respond, judge.
void SweepMeasurement::measure(const ToneRequest &request, const OutputOptions &options, const QString &outputId,
                               const QString &inputId)
{
    if (!options.measurementSweep()) {
        CurrentDialogs().message(m_window, u"Measure… plays the measurement sweep: turn on Measurement Sweep with "
                                           "Inverse Filter, with a Sine and a rising sweep such as 20-20000."_s);
        return;
    }
    PlannedTone planned = PlanInputs(request, options);
    const MeasurementSweepDesign design = DesignRequestedSweep(planned.reading.tone, options);
    if (!design.sweep) {
        CurrentDialogs().message(m_window, design.reminder);
        return;
    }
    const QString folder = CurrentDialogs().folderName(m_window, u"Choose the Folder for the Measurement"_s,
                                                       m_store.get(Settings::MeasureFolder, QString()));
    if (folder.isEmpty())
        return;
    m_store.save(Settings::MeasureFolder, folder);
    // Side by side, named by when they were made.
    const QString stamp = QDir(folder).filePath(QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH.mm.ss"_s));
    const QString sweep = stamp + u" sweep.wav"_s;
    const QString recording = stamp + u" recording.wav"_s;
    const QString response = ImpulseResponsePath(recording);
    m_cancel = false;
    QStringList problems;
    try {
        for (const QString &path : {sweep, InverseFilterPath(sweep), recording, response}) {
            if (QFileInfo::exists(path))
                throw Failure(u"%1 is there already: measure again in a moment."_s.arg(path));
        }
        RecordingSteps steps;
        QString sweepPath = sweep;
        const SynthRun run = MakeTone(
            steps, {.deploy = 126, .toolPart = 156, .outputPath = 0, .arguments = 158, .join = 160, .run = 162},
            sweepPath, [&planned] { return planned; }, {});
        RemoveToolFiles(steps, 164);
        if (run.reminder)
            throw Failure(*run.reminder);
        if (const QString problem = SynthRunProblem(run, sweep); !problem.isEmpty())
            throw Failure(u"The sweep could not be made: "_s + problem);
        WriteInverseFilterBeside(sweep, run.tone, options);
        if (const std::optional<QString> problem =
                playAndRecord(sweep, recording, design.sweep->sampleRate, outputId, inputId))
            throw Failure(*problem);
        const ImpulseResponseMade made = respond(recording, InverseFilterPath(sweep), response);
        // What a person must know before trusting the response. Without a sweep in it, nothing
        // else about it means anything.
        const double standsOut = made.peakDb - made.noiseDb;
        if (!(standsOut >= LeastPeakOverNoiseDb)) {
            problems << u"The recording holds no sweep, or one too quiet to measure%1: is the input the one the "
                        "output reaches, and is it loud enough?"_s.arg(
                            std::isfinite(standsOut) ? u" (its response stands %1 dB above the noise)"_s.arg(
                                                           QString::number(standsOut, 'f', 0))
                                                     : QString());
        } else if (made.delayFrames < 0) {
            problems << u"The recording started %1 ms after the sweep did, so the sweep's start is missing from it "
                        "and the delay is not known: measure again, or choose another input."_s.arg(
                            -1000 * made.delayFrames / made.sampleRate);
        }
        if (made.recordingPeak >= ClippingLevel)
            problems << u"The recording clips: its peak reaches full scale. Turn the output or the input down and "
                        "measure again."_s;
        const QString files = u"Sweep: %1\r\nRecording: %2\r\nImpulse response: %3"_s.arg(sweep, recording, response);
        const QString delay =
            u"The delay is %1 samples (%2 ms); the linear response peaks at %3 dBFS."_s.arg(made.delayFrames)
                .arg(QString::number(1000.0 * double(made.delayFrames) / made.sampleRate, 'f', 2),
                     QString::number(made.peakDb, 'f', 1));
        CurrentDialogs().message(m_window, (problems.isEmpty() ? u"Done.\r\n"_s + delay
                                                               : u"Measured, but:\r\n"_s + problems.join(u"\r\n"_s)) +
                                               u"\r\n"_s + files);
        if (responseMade)
            responseMade(response, true);
    } catch (const std::exception &error) {
        m_status.hideProgress();
        CurrentDialogs().message(m_window, m_cancel ? u"Cancelled."_s
                                                    : u"Nothing was measured.\r\n"_s + DescribeException(error));
    }
}
