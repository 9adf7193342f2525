// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/output_device_menu.h"

#include "core/failure.h"
#include "core/sound/playback.h"
#include "services/dialogs.h"
#include "settings/settings_store.h"
#include "window/input_store.h"

#include <QActionGroup>

using namespace Qt::Literals::StringLiterals;

OutputDeviceMenu::OutputDeviceMenu(QWidget *window, InputStore &store, QWidget *parent, Direction direction)
    : QMenu(direction == Direction::Input ? u"Input Device"_s : u"Output Device"_s, parent), m_window(window),
      m_store(store), m_direction(direction), m_group(new QActionGroup(this))
{
    connect(this, &QMenu::aboutToShow, this, [this] { listOutputs(true); });
    listOutputs(false);
}

void OutputDeviceMenu::restore()
{
    m_chosen = m_store.get(key(), QString());
    listOutputs(false);
}

void OutputDeviceMenu::listOutputs(bool askServer)
{
    clear(); // the items go, and with them their places in the group
    const QList<AudioOutput> outputs = !askServer                        ? QList<AudioOutput>()
                                       : m_direction == Direction::Input ? AudioInputs()
                                                                         : AudioOutputs();
    const auto add = [&](const QString &text, const QString &id) {
        QAction *item = addAction(text);
        item->setCheckable(true);
        item->setChecked(id == m_chosen);
        m_group->addAction(item);
        // Triggered, not toggled: only a person's choice stores anything.
        connect(item, &QAction::triggered, this, [this, id] { choose(id); });
    };
    add(u"System Default"_s, QString());
    for (const AudioOutput &output : outputs) {
        m_descriptions.insert(output.id, output.description);
        // A description is shown as it is: an ampersand is no shortcut mark.
        add(QString(output.description).replace(u'&', u"&&"_s), output.id);
    }
}

void OutputDeviceMenu::choose(const QString &id)
{
    m_chosen = id;
    m_store.save(key(), id);
}

QString OutputDeviceMenu::chosenName() const
{
    return m_descriptions.value(m_chosen, m_chosen);
}

void OutputDeviceMenu::playPreview(const QString &path, bool loop)
{
    tellHowItStarted(PlayWaveFileOn(m_chosen, path, false, loop));
}

bool OutputDeviceMenu::playLive(const LiveTone &tone)
{
    const PlaybackStart start = PlayLiveTone(m_chosen, tone);
    tellHowItStarted(start);
    return start != PlaybackStart::Failed;
}

void OutputDeviceMenu::tellHowItStarted(PlaybackStart start)
{
    if (m_chosen.isEmpty()) {
        if (start == PlaybackStart::Failed)
            CurrentDialogs().message(m_window, u"The preview cannot be played. "_s + PlaybackFailure());
        return;
    }
    if (start == PlaybackStart::StartedOnDefault && !m_toldMissing.contains(m_chosen)) {
        m_toldMissing.insert(m_chosen);
        CurrentDialogs().message(
            m_window, u"The output device \"%1\" is not there, so the preview plays on the system default."_s.arg(
                          ShortenedForMessage(chosenName())));
    } else if (start == PlaybackStart::Failed) {
        CurrentDialogs().message(m_window, u"The preview cannot be played on \"%1\". %2"_s.arg(
                                               ShortenedForMessage(chosenName()), PlaybackFailure()));
    }
}
