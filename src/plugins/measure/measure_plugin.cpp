// SPDX-License-Identifier: GPL-3.0-or-later

// The measuring plugin: sweeps and recordings read and written with libsndfile, deconvolved with
// FFTW.

#include "core/plugins/measure_plugin.h"

#include "core/deconvolution/deconvolution.h"
#include "core/failure.h"
#include "core/plugins/regular_file.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <sndfile.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A sound file open for reading, closed with its descriptor.
class SoundReader
{
public:
    explicit SoundReader(const QString &path) : m_path(path)
    {
        if (!QFileInfo::exists(path))
            throw Failure(u"%1 was not found."_s.arg(path));
        m_fd = OpenRegularFile(path);
        if (m_fd >= 0)
            m_file = sf_open_fd(m_fd, SFM_READ, &m_info, SF_FALSE);
        if (!m_file) {
            if (m_fd >= 0)
                ::close(m_fd);
            throw Failure(u"%1 is not a sound file that can be read."_s.arg(path));
        }
        if (m_info.frames <= 0 || m_info.channels <= 0) {
            close();
            throw Failure(u"%1 holds no sound."_s.arg(path));
        }
    }
    ~SoundReader() { close(); }
    SoundReader(const SoundReader &) = delete;
    SoundReader &operator=(const SoundReader &) = delete;

    const SF_INFO &info() const { return m_info; }
    QString comment() const
    {
        const char *text = sf_get_string(m_file, SF_STR_COMMENT);
        return text ? QString::fromUtf8(text) : QString();
    }
    // Reads up to frames frames; fewer only at the end. Refuses samples that are no numbers, which
    // would make the whole response none.
    qint64 read(float *interleaved, qint64 frames)
    {
        const qint64 read = sf_readf_float(m_file, interleaved, frames);
        const qint64 samples = std::max<qint64>(read, 0) * m_info.channels;
        const float *bad = std::find_if(interleaved, interleaved + samples, [](float x) { return !std::isfinite(x); });
        if (bad != interleaved + samples) {
            const qint64 frame = m_position + (bad - interleaved) / m_info.channels;
            throw Failure(u"%1 holds samples that are not numbers (NaN or infinity), the first %2 s in: it is no "
                          "recording that can be deconvolved."_s.arg(
                              m_path, QString::number(double(frame) / m_info.samplerate, 'f', 3)));
        }
        m_position += std::max<qint64>(read, 0);
        return read;
    }
    // The loudest channel of the first frames: the one that sounds, when the others are silent.
    // Read twice in blocks, so that only the one channel is ever held whole.
    std::vector<float> loudestChannel(qint64 frames)
    {
        const auto channels = std::size_t(m_info.channels);
        constexpr qint64 BlockFrames = 65536;
        std::vector<float> block(std::size_t(BlockFrames) * channels);
        const auto eachBlock = [&](const std::function<void(qint64 first, qint64 count)> &use) {
            if (sf_seek(m_file, 0, SEEK_SET) != 0)
                throw Failure(u"%1 cannot be read again from its start."_s.arg(m_path));
            m_position = 0;
            for (qint64 done = 0; done < frames;) {
                const qint64 count = read(block.data(), std::min(BlockFrames, frames - done));
                if (count <= 0)
                    throw Failure(u"%1 ends before its sweep does."_s.arg(m_path));
                use(done, count);
                done += count;
            }
        };
        std::vector<double> energy(channels);
        eachBlock([&](qint64, qint64 count) {
            for (std::size_t i = 0; i < std::size_t(count) * channels; ++i)
                energy[i % channels] += double(block[i]) * block[i];
        });
        const auto loudest = std::size_t(std::max_element(energy.begin(), energy.end()) - energy.begin());
        std::vector<float> samples(static_cast<std::size_t>(frames));
        eachBlock([&](qint64 first, qint64 count) {
            for (std::size_t i = 0; i < std::size_t(count); ++i)
                samples[std::size_t(first) + i] = block[i * channels + loudest];
        });
        return samples;
    }

private:
    void close()
    {
        if (m_file)
            sf_close(m_file);
        if (m_fd >= 0)
            ::close(m_fd);
        m_file = nullptr;
        m_fd = -1;
    }

    QString m_path;
    int m_fd = -1;
    SF_INFO m_info{};
    SNDFILE *m_file = nullptr;
    qint64 m_position = 0; // the frame the next read starts at
};

// A 32-bit float wave file being written.
class FloatWaveWriter
{
public:
    FloatWaveWriter(const QString &path, int sampleRate, int channels, const QString &comment = {}) : m_path(path)
    {
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        m_file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        if (!m_file)
            throw Failure(u"%1 cannot be written: %2"_s.arg(path, QString::fromUtf8(sf_strerror(nullptr))));
        // The peak chunk would be wrong for a file written in blocks whose peak comes late.
        sf_command(m_file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
        if (!comment.isEmpty())
            sf_set_string(m_file, SF_STR_COMMENT, comment.toUtf8().constData());
    }
    ~FloatWaveWriter()
    {
        if (m_file)
            sf_close(m_file);
    }
    FloatWaveWriter(const FloatWaveWriter &) = delete;
    FloatWaveWriter &operator=(const FloatWaveWriter &) = delete;

    void write(const float *interleaved, qint64 frames)
    {
        if (sf_writef_float(m_file, interleaved, frames) != frames)
            throw Failure(u"%1 could not be written whole: %2"_s.arg(m_path, QString::fromUtf8(sf_strerror(m_file))));
    }
    void close()
    {
        const int status = sf_close(m_file);
        m_file = nullptr;
        if (status != 0)
            throw Failure(u"%1 could not be written whole."_s.arg(m_path));
    }

private:
    QString m_path;
    SNDFILE *m_file = nullptr;
};

// The deconvolved frames on their way to the file: the response is kept from a frame that is
// known only once its peak is, so they wait in a file of raw samples beside the output, which
// keeps the memory bounded however long the recording is.
class PendingFrames
{
public:
    PendingFrames(const QString &outputPath, int channels)
        : m_file(QFileInfo(outputPath).absolutePath() + u"/.quorvane-ir-XXXXXX.raw"_s), m_channels(channels)
    {
        if (!m_file.open())
            throw Failure(u"No room for the response beside %1: %2"_s.arg(outputPath, m_file.errorString()));
    }

    // Appends the frames and notes the largest magnitude.
    void append(const std::vector<float> &interleaved)
    {
        for (std::size_t i = 0; i < interleaved.size(); ++i) {
            const float magnitude = std::abs(interleaved[i]);
            if (magnitude > m_peak) {
                m_peak = magnitude;
                m_peakFrame = m_frames + qint64(i) / m_channels;
            }
        }
        const auto bytes = qint64(interleaved.size()) * qint64(sizeof(float));
        if (m_file.write(reinterpret_cast<const char *>(interleaved.data()), bytes) != bytes)
            throw Failure(u"The response could not be kept on its way: %1"_s.arg(m_file.errorString()));
        m_frames += qint64(interleaved.size()) / m_channels;
    }

    qint64 frames() const { return m_frames; }
    qint64 peakFrame() const { return m_peakFrame; }
    float peak() const { return m_peak; }

    // The RMS level of the frames from first on, in dBFS.
    double levelFrom(qint64 first)
    {
        constexpr qint64 ChunkFrames = 65536;
        std::vector<float> chunk(std::size_t(ChunkFrames * m_channels));
        if (first >= m_frames || !m_file.seek(first * m_channels * qint64(sizeof(float))))
            return -qInf();
        double squares = 0;
        for (qint64 done = first; done < m_frames;) {
            const qint64 frames = std::min(ChunkFrames, m_frames - done);
            const qint64 bytes = frames * m_channels * qint64(sizeof(float));
            if (m_file.read(reinterpret_cast<char *>(chunk.data()), bytes) != bytes)
                throw Failure(u"The response could not be read back: %1"_s.arg(m_file.errorString()));
            for (std::size_t i = 0; i < std::size_t(frames * m_channels); ++i)
                squares += double(chunk[i]) * chunk[i];
            done += frames;
        }
        const double rms = std::sqrt(squares / double((m_frames - first) * m_channels));
        return rms > 0 ? 20 * std::log10(rms) : -qInf();
    }

    // Copies the frames from start on to the writer, reporting the share copied.
    void copyTo(FloatWaveWriter &writer, qint64 start, const std::function<void(double)> &copied)
    {
        constexpr qint64 ChunkFrames = 65536;
        std::vector<float> chunk(std::size_t(ChunkFrames * m_channels));
        if (!m_file.seek(start * m_channels * qint64(sizeof(float))))
            throw Failure(u"The response could not be read back: %1"_s.arg(m_file.errorString()));
        for (qint64 done = start; done < m_frames;) {
            const qint64 frames = std::min(ChunkFrames, m_frames - done);
            const qint64 bytes = frames * m_channels * qint64(sizeof(float));
            if (m_file.read(reinterpret_cast<char *>(chunk.data()), bytes) != bytes)
                throw Failure(u"The response could not be read back: %1"_s.arg(m_file.errorString()));
            writer.write(chunk.data(), frames);
            done += frames;
            copied(double(done - start) / double(m_frames - start));
        }
    }

private:
    QTemporaryFile m_file;
    int m_channels;
    qint64 m_frames = 0;
    qint64 m_peakFrame = 0;
    float m_peak = 0;
};

} // namespace

class MeasureParts final : public QObject, public MeasurePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_MEASURE_PLUGIN_IID)
    Q_INTERFACES(MeasurePlugin)

public:
    void writeInverseFilter(const QString &sweepPath, qint64 sweepSamples, double sweepRate, double endFrequency,
                            const QString &inversePath, const QString &comment) const override
    {
        SoundReader sweep(sweepPath);
        const std::vector<float> inverse =
            InverseFilter(sweep.loudestChannel(sweepSamples), sweepRate, sweep.info().samplerate, endFrequency);
        FloatWaveWriter writer(inversePath, sweep.info().samplerate, 1, comment);
        writer.write(inverse.data(), qint64(inverse.size()));
        writer.close();
    }

    QString comment(const QString &path) const override
    {
        try {
            return SoundReader(path).comment();
        } catch (const Failure &) {
            return {};
        }
    }

    // NOLINTNEXTLINE(readability-function-size): one procedure, step by step.
    ImpulseResponseMade makeImpulseResponse(const QString &recordingPath, const QString &inversePath,
                                            const QString &outputPath, double leadSeconds, const QString &comment,
                                            const MeasureProgress &progress) const override
    {
        SoundReader filterFile(inversePath);
        SoundReader recording(recordingPath);
        const SF_INFO &info = recording.info();
        const int rate = filterFile.info().samplerate;
        // Everything that sizes the work is checked before anything is allocated for it.
        for (const auto &[file, path] : {std::pair{&filterFile, inversePath}, std::pair{&recording, recordingPath}}) {
            if (file->info().channels > MostChannels)
                throw Failure(u"%1 has %2 channels; an impulse response is made of at most %3."_s.arg(path)
                                  .arg(file->info().channels)
                                  .arg(MostChannels));
        }
        if (info.samplerate != rate)
            throw Failure(u"%1 was recorded at %2 Hz, but the inverse filter is at %3 Hz: record at %3 Hz, or "
                          "save the sweep at %2 Hz."_s.arg(recordingPath)
                              .arg(info.samplerate)
                              .arg(rate));
        if (info.frames > qint64(LongestRecordingSeconds) * info.samplerate)
            throw Failure(u"%1 is longer than an hour: record the sweep alone."_s.arg(recordingPath));
        if (filterFile.info().frames > qint64(LongestFilterSeconds) * rate)
            throw Failure(
                u"%1 is longer than %2 minutes, which no inverse filter of a measurement sweep is."_s.arg(inversePath)
                    .arg(LongestFilterSeconds / 60));
        if (const qint64 bytes = BlockConvolver::bytesNeeded(filterFile.info().frames, info.channels);
            bytes > MostMeasuringBytes)
            throw Failure(u"The impulse response of %1 would take %2 MB of memory for its %3 channel(s), more than the "
                          "%4 MB it may: use a shorter sweep, or fewer channels."_s.arg(recordingPath)
                              .arg(bytes / 1000000)
                              .arg(info.channels)
                              .arg(MostMeasuringBytes / 1000000));
        const std::vector<float> filter = filterFile.loudestChannel(filterFile.info().frames);

        BlockConvolver convolver(filter, info.channels);
        PendingFrames pending(outputPath, info.channels);
        const qint64 total = info.frames;
        std::vector<float> block(std::size_t(convolver.blockFrames() * info.channels));
        std::vector<float> made;
        // The convolution is most of the work; the copy into the file is the rest.
        const auto report = [&](double share) {
            if (progress && !progress(share))
                throw Failure(u"Cancelled."_s);
        };
        float recordingPeak = 0;
        for (qint64 done = 0; done < total;) {
            const qint64 frames = recording.read(block.data(), std::min(convolver.blockFrames(), total - done));
            if (frames <= 0)
                throw Failure(u"%1 could not be read to its end."_s.arg(recordingPath));
            for (qint64 i = 0; i < frames * info.channels; ++i)
                recordingPeak = std::max(recordingPeak, std::abs(block[std::size_t(i)]));
            made.clear();
            convolver.push(block.data(), frames, made);
            pending.append(made);
            done += frames;
            report(0.9 * double(done) / double(total));
        }
        made.clear();
        convolver.finish(made);
        pending.append(made);

        const qint64 start = ResponseStart(pending.peakFrame(), leadSeconds, rate);
        const double noiseDb =
            pending.levelFrom(pending.peakFrame() + (pending.frames() - pending.peakFrame()) * 3 / 4);
        FloatWaveWriter writer(outputPath, rate, info.channels, comment);
        pending.copyTo(writer, start, [&](double share) { report(0.9 + 0.1 * share); });
        writer.close();
        // Where the recording's start meets the filter's end, the response has no delay.
        return {pending.frames() - start,
                pending.peakFrame() - start,
                pending.peakFrame() - (qint64(filter.size()) - 1),
                pending.peak() > 0 ? 20 * std::log10(double(pending.peak())) : -qInf(),
                rate,
                info.channels,
                recordingPeak,
                noiseDb};
    }
};

#include "measure_plugin.moc"
