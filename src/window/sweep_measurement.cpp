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
#include "window/status_line.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cmath>
#include <thread>

using namespace Qt::Literals::StringLiterals;

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

SweepMeasurement::SweepMeasurement(QWidget *window, InputStore &store, StatusLine &status)
    : m_window(window), m_store(store), m_status(status)
{
}

SweepMeasurement::~SweepMeasurement()
{
    stop();
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
    m_cancel = false;
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
            responseMade(output);
    } catch (const std::exception &error) {
        CurrentDialogs().message(
            m_window, m_cancel ? u"Cancelled."_s : u"No impulse response was made.\r\n"_s + DescribeException(error));
    }
}
