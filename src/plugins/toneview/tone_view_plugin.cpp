// SPDX-License-Identifier: GPL-3.0-or-later

// The tone window's reader and analyser: a written tone read with libsndfile and measured with
// FFTW, and its picture written as SVG with Qt SVG.

#include "core/analysis/sweep_shape.h"
#include "core/failure.h"
#include "core/plugins/plugin_interfaces.h"
#include "core/plugins/plugin_loader.h"
#include "core/plugins/regular_file.h"

#include <QSvgGenerator>
#include <sndfile.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A sound file's samples as floats, full scale at 1, whatever their encoding.
class SoundFileSamples final : public SampleSource
{
public:
    explicit SoundFileSamples(const QString &path)
    {
        m_fd = OpenRegularFile(path);
        if (m_fd >= 0)
            m_file = sf_open_fd(m_fd, SFM_READ, &m_info, SF_FALSE);
        if (!m_file) {
            if (m_fd >= 0)
                ::close(m_fd);
            throw Failure(u"%1 cannot be read as a sound file."_s.arg(path));
        }
    }
    ~SoundFileSamples() override
    {
        sf_close(m_file);
        ::close(m_fd);
    }
    SoundFileSamples(const SoundFileSamples &) = delete;
    SoundFileSamples &operator=(const SoundFileSamples &) = delete;

    // What an impulse response says of its sweep; nothing for any other file.
    std::optional<SweepShape> responseShape() const
    {
        const char *text = sf_get_string(m_file, SF_STR_COMMENT);
        const QString comment = text ? QString::fromUtf8(text) : QString();
        return comment.startsWith(u"Quorvane impulse response of "_s) ? SweepShapeOfComment(comment) : std::nullopt;
    }

    int sampleRate() const override { return m_info.samplerate; }
    int channels() const override { return m_info.channels; }
    qint64 frames() const override { return m_info.frames; }

    qint64 read(qint64 offset, qint64 count, float *interleaved) override
    {
        if (offset != m_position && sf_seek(m_file, offset, SEEK_SET) < 0)
            return 0;
        const qint64 read = sf_readf_float(m_file, interleaved, count);
        m_position = offset + read;
        return read;
    }

private:
    int m_fd = -1;
    SF_INFO m_info{};
    SNDFILE *m_file = nullptr;
    qint64 m_position = 0;
};

} // namespace

class ToneViewParts final : public QObject, public ToneViewPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUORVANE_TONE_VIEW_PLUGIN_IID)
    Q_INTERFACES(ToneViewPlugin)

public:
    ToneAnalysis analyse(const QString &path, const AnalysisHooks &hooks) const override
    {
        SoundFileSamples samples(path);
        AnalysisHooks withResponse = hooks;
        withResponse.response = samples.responseShape();
        return ToneAnalyser(samples, withResponse).analyse();
    }

    std::unique_ptr<QPaintDevice> svgFile(const QString &path, const QSize &size, const QString &title) const override
    {
        auto svg = std::make_unique<QSvgGenerator>();
        svg->setFileName(path);
        // At 96 dots per inch the size in millimetres is the pixels' size in a browser.
        svg->setResolution(96);
        svg->setSize(size);
        svg->setViewBox(QRect(QPoint(0, 0), size));
        svg->setTitle(title);
        return svg;
    }
};

#include "tone_view_plugin.moc"
