// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/sweep_measurement.h"

#include "core/failure.h"
#include "core/measure/measurement_sweep.h"
#include "core/plugins/measure_plugin.h"
#include "core/plugins/plugin_loader.h"
#include "core/run/output_target.h"
#include "services/app_title.h"
#include "services/dialogs.h"
#include "settings/settings_store.h"
#include "window/input_store.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cmath>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

MeasurePlugin &Measuring()
{
    if (auto *plugin = ProgramPluginAs<MeasurePlugin>(MeasurePluginFile))
        return *plugin;
    throw Failure(u"The measuring part of the program (%1) could not be loaded."_s.arg(MeasurePluginFile));
}

// Runs the work on a thread of its own while the window's events go on, the title showing the
// share done; rethrows what the work threw.
template<class Result>
Result WithProgressInTitle(QWidget *window, const std::function<Result(const MeasureProgress &)> &work)
{
    std::atomic<double> share = 0;
    std::atomic<bool> finished = false;
    std::optional<Result> result;
    std::exception_ptr failure;
    QEventLoop loop;
    QTimer poll;
    const auto showShare = [&] {
        window->setWindowTitle(u"%1 – making impulse response %2 %"_s.arg(ProgramName).arg(int(share * 100)));
        if (finished)
            loop.quit();
    };
    QObject::connect(&poll, &QTimer::timeout, &loop, showShare);
    std::thread worker([&] {
        try {
            result = work([&](double done) { share = done; });
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    showShare();
    poll.start(100);
    if (!finished)
        loop.exec();
    worker.join();
    window->setWindowTitle(ProgramName);
    if (failure)
        std::rethrow_exception(failure);
    return *result;
}

} // namespace

bool MayWriteInverseFilter(QWidget *window, const QString &sweepPath)
{
    return !InverseFilterNameTaken(sweepPath) ||
           CurrentDialogs().question(
               window, u"%1 already exists, and is not the inverse filter of an earlier sweep of this name.\r\n"
                       "Replace it?"_s.arg(QFileInfo(InverseFilterPath(sweepPath)).fileName()));
}

std::optional<QString> WriteInverseFilter(InputStore &store, const QString &sweepPath, const ToneRequest &request,
                                          const OutputOptions &options)
{
    std::optional<QString> inversePath = WriteInverseFilterBeside(sweepPath, request, options);
    if (inversePath)
        store.save(Settings::InverseFilter, *inversePath);
    return inversePath;
}

void MakeImpulseResponse(QWidget *window, InputStore &store)
{
    // Recordings are usually made beside the sweep.
    const QString lastInverse = store.get(Settings::InverseFilter, QString());
    const QString recording =
        CurrentDialogs().openFileName(window, u"Choose the Recording of the Sweep"_s,
                                      lastInverse.isEmpty() ? QString() : QFileInfo(lastInverse).path());
    if (recording.isEmpty())
        return;
    const QString inverse =
        CurrentDialogs().openFileName(window, u"Choose the Inverse Filter of the Sweep"_s, lastInverse);
    if (inverse.isEmpty())
        return;
    const QString output = ImpulseResponsePath(recording);
    OutputTarget target;
    try {
        MeasurePlugin &measuring = Measuring();
        // The responses of the 2nd to 5th harmonics come before the linear one: they are kept, with
        // what rings before the 5th's, up to where the 6th's would be. A filter that does not say its
        // L (not one of ours) keeps the whole response.
        const std::optional<double> sweepRate = SweepRateOfComment(measuring.comment(inverse));
        const double lead = sweepRate ? *sweepRate * std::log(6.0) : -1;
        target = PrepareOutputTarget(output);
        if (!target.refusal().isEmpty())
            throw Failure(target.refusal());
        const ImpulseResponseMade made =
            WithProgressInTitle<ImpulseResponseMade>(window, [&](const MeasureProgress &progress) {
                return measuring.makeImpulseResponse(
                    recording, inverse, target.writePath, lead,
                    sweepRate ? ImpulseResponseComment(recording, *sweepRate) : QString(), progress);
            });
        if (const QString problem = CommitOutputTarget(target); !problem.isEmpty())
            throw Failure(problem);
        CurrentDialogs().message(
            window, u"Done.\r\nThe impulse response is %1.\r\nIts linear response peaks at %2 s in it (sample %3), "
                    "%4 s after the recording's start, at %5 dBFS."_s
                        .arg(output, QString::number(double(made.peakFrame) / made.sampleRate, 'f', 4))
                        .arg(made.peakFrame)
                        .arg(QString::number(double(made.delayFrames) / made.sampleRate, 'f', 4),
                             QString::number(made.peakDb, 'f', 1)));
    } catch (const std::exception &error) {
        DiscardOutputTarget(target);
        CurrentDialogs().message(window, u"No impulse response was made.\r\n"_s + DescribeException(error));
    }
}
