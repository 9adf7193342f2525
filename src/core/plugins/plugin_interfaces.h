// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/analysis/tone_analyser.h"
#include "core/live/live_tone.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QtPlugin>
#include <memory>
#include <optional>

class QPaintDevice;
class QSize;

// The parts of the program that are loaded late, as Qt plugins from beside the program: the
// player, which brings Qt Multimedia, on the first sound; the sound file reader, which brings
// libsndfile and its codecs, on the first check of a written tone; the tone window's reader and
// analyser, which bring libsndfile, FFTW and Qt SVG, when the window first opens. Linked in, they would cost
// every start of the program their loading time.

// What the plugins and the program hand each other.

// An audio output (or input) as the audio server names it: its id (on PulseAudio and PipeWire, the sink's
// name) and the description a person sees in a mixer.
struct AudioOutput
{
    QString id;
    QString description;
    friend bool operator==(const AudioOutput &, const AudioOutput &) = default;
};

// How a request to play went.
enum class PlaybackStart
{
    Failed,           // nothing plays
    Started,          // it plays where it was asked to
    StartedOnDefault, // the output asked for is not there: it plays on the default output instead
};

// What a sound file holds, as its header (or its content) says.
struct SoundFileInfo
{
    qint64 frames = 0; // samples per channel
    int sampleRate = 0;
    int channels = 0;
    int format = 0;     // libsndfile's format code: container and encoding
    QString formatName; // the container, such as "WAV (Microsoft)"

    double seconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0; }
};

// How a live tone has played so far, as the sound server and the renderer count it.
struct LiveStatistics
{
    qint64 underruns = 0;           // times the server ran out of sound to play
    qint64 frames = 0;              // frames rendered
    qint64 changeFrame = -1;        // where the latest tone handed over began
    qint64 playedFrames = 0;        // where the output is now, as the server's clock has it
    qint64 latencyMicroseconds = 0; // how far ahead of the output the renderer is
};

// The player's engine, made by the player plugin.
class PlaybackEngine : public QObject
{
public:
    using QObject::QObject;

    // See PlayWaveFileOn.
    virtual PlaybackStart play(const QString &path, const QString &outputId, bool synchronous, bool loop) = 0;
    // See PlayLiveTone, ChangeLiveTone, PrepareLiveOutput and LiveToneStatistics.
    virtual PlaybackStart playLive(const LiveTone &tone, const QString &outputId) = 0;
    virtual bool changeLive(const LiveTone &tone) = 0;
    virtual void prepareLive() = 0;
    virtual LiveStatistics liveStatistics() const = 0;
    // See MeasureLiveNoise.
    virtual NoiseLevels measureNoise(const LiveNoise &noise, int sampleRate, qint64 frames) const = 0;
    // Why the last play failed, in words.
    virtual QString failure() const = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    // See PlayedMicroseconds.
    virtual qint64 playedMicroseconds() const = 0;
    virtual QList<AudioOutput> outputs() = 0;
    // The audio inputs there are now (a monitor of an output is one too), in the same terms.
    virtual QList<AudioOutput> inputs() = 0;
    // See StartRecording, RecordedFrames and StopRecording.
    virtual bool startRecording(const QString &inputId, const QString &path, int sampleRate) = 0;
    virtual qint64 recordedFrames() const = 0;
    virtual qint64 stopRecording() = 0;
};

// What the player plugin offers.
class PlaybackPlugin
{
public:
    virtual ~PlaybackPlugin() = default;
    // Makes the engine as a child of parent.
    virtual PlaybackEngine *createEngine(QObject *parent) = 0;
};

// What the sound file plugin offers.
class SoundFilePlugin
{
public:
    virtual ~SoundFilePlugin() = default;
    // See ReadSoundFileInfo.
    virtual std::optional<SoundFileInfo> read(const QString &path) const = 0;
};

// What the window plugin offers: the whole window program, run from main() when the program is
// started without arguments. Apart, it keeps Qt Widgets out of the command line's process.
class WindowPlugin
{
public:
    virtual ~WindowPlugin() = default;
    // Makes the QApplication and the window, and runs until the window is closed.
    virtual int run(int &argc, char **argv) = 0;
};

#define QUORVANE_WINDOW_PLUGIN_IID "example.quorvane.WindowPlugin/1.0"

// What the tone window's plugin offers.
class ToneViewPlugin
{
public:
    virtual ~ToneViewPlugin() = default;
    // See AnalyseSoundFile.
    virtual ToneAnalysis analyse(const QString &path, const AnalysisHooks &hooks) const = 0;
    // A paint device that writes what is painted on it to an SVG file when the painting ends.
    virtual std::unique_ptr<QPaintDevice> svgFile(const QString &path, const QSize &size,
                                                  const QString &title) const = 0;
};

#define QUORVANE_PLAYBACK_PLUGIN_IID "example.quorvane.PlaybackPlugin/6.0"
#define QUORVANE_SOUND_FILE_PLUGIN_IID "example.quorvane.SoundFilePlugin/1.0"
Q_DECLARE_INTERFACE(WindowPlugin, QUORVANE_WINDOW_PLUGIN_IID)
Q_DECLARE_INTERFACE(PlaybackPlugin, QUORVANE_PLAYBACK_PLUGIN_IID)
#define QUORVANE_TONE_VIEW_PLUGIN_IID "example.quorvane.ToneViewPlugin/1.0"
Q_DECLARE_INTERFACE(SoundFilePlugin, QUORVANE_SOUND_FILE_PLUGIN_IID)
Q_DECLARE_INTERFACE(ToneViewPlugin, QUORVANE_TONE_VIEW_PLUGIN_IID)
