// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/options_menu.h"

#include "core/sound/playback.h"
#include "core/tone/tone.h"
#include "services/dialogs.h"
#include "settings/calibration_store.h"
#include "settings/settings_store.h"
#include "window/input_store.h"
#include "window/output_device_menu.h"
#include "window/presets_menu.h"

#include <QActionGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// Chooses what a level measures (Peak or RMS) without closing the Level submenu, so that the level
// itself can be chosen next in the same opening.
class ChoosesAndStaysOpen : public QObject
{
public:
    ChoosesAndStaysOpen(QMenu *submenu, QList<QAction *> items) : QObject(submenu), m_items(std::move(items))
    {
        submenu->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *submenu = static_cast<QMenu *>(watched);
        QAction *item = nullptr;
        if (event->type() == QEvent::MouseButtonRelease)
            item = submenu->actionAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        else if (event->type() == QEvent::KeyPress &&
                 QList{Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}.contains(static_cast<QKeyEvent *>(event)->key()))
            item = submenu->activeAction();
        if (!item || !m_items.contains(item) || !item->isEnabled())
            return false;
        item->trigger();
        return true;
    }

private:
    QList<QAction *> m_items;
};

// A submenu opens on the item chosen now (the level, below what it measures), not on its first.
void OpenOnChoice(QMenu *submenu)
{
    QObject::connect(submenu, &QMenu::aboutToShow, submenu, [submenu] {
        // After the opening, which makes the first item current when the keyboard opened it.
        QTimer::singleShot(0, submenu, [submenu] {
            const QList<QAction *> items = submenu->actions();
            const auto chosen = std::find_if(items.rbegin(), items.rend(), [](QAction *a) { return a->isChecked(); });
            if (chosen != items.rend())
                submenu->setActiveAction(*chosen);
        });
    });
}

// The item of a typed level, naming it once it is the level chosen.
QString OtherLevelText(const std::optional<OutputLevel> &chosen)
{
    return chosen ? u"Other Level (%1)…"_s.arg(chosen->label()) : u"Other Level…"_s;
}

const QString OptionsTip = u"Right-click for level, channels, sample rate and format. Esc stops the sound."_s;

// Opens the menu on a right-click anywhere but in the text fields.
class RightClickOpens : public QObject
{
public:
    explicit RightClickOpens(OptionsMenu *menu) : QObject(menu), m_menu(menu) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ContextMenu)
            return false;
        const auto *request = static_cast<QContextMenuEvent *>(event);
        // The menu keys are handled as shortcuts; a platform's own menu event for them would
        // open the text fields' edit menu or a second copy of this one.
        if (request->reason() == QContextMenuEvent::Keyboard)
            return true;
        if (qobject_cast<QLineEdit *>(watched))
            return false;
        m_menu->popup(request->globalPos());
        return true;
    }

private:
    OptionsMenu *m_menu;
};

} // namespace

QString WithMenuAdvice(const QString &reminder)
{
    // How the menu opens, as each reminder has always said it.
    static const std::array<std::pair<QString, QString>, 2> advice{
        std::pair{u" under Level."_s, u" under Level in the options menu (right-click)."_s},
        std::pair{u" under Sample Rate."_s, u" under Sample Rate in the options menu (right-click or the Menu key)."_s},
    };
    for (const auto &[ending, withMenu] : advice) {
        if (reminder.endsWith(ending))
            return reminder.chopped(ending.size()) + withMenu;
    }
    return reminder;
}

// NOLINTNEXTLINE(readability-function-size): the menu built item by item.
OptionsMenu::OptionsMenu(QWidget *window, InputStore &store, std::function<ToneRequest()> currentRequest)
    : QMenu(window), m_store(store), m_currentRequest(std::move(currentRequest))
{
    auto *rightClick = new RightClickOpens(this);
    window->installEventFilter(rightClick);
    for (QWidget *child : window->findChildren<QWidget *>())
        child->installEventFilter(rightClick);
    for (QPushButton *command :
         {window->findChild<QPushButton *>(u"PushButton2"_s), window->findChild<QPushButton *>(u"PushButton3"_s)})
        command->setToolTip(OptionsTip);

    // What works without the menu open is there from the start: the keys, and the chosen output.
    m_stopSound = new QAction(u"Stop Sound"_s, this);
    connect(m_stopSound, &QAction::triggered, this, &OptionsMenu::stopSound);
    m_stopSound->setShortcut(Qt::Key_Escape);
    window->addAction(m_stopSound); // Esc anywhere in the window, not only in the open menu
    m_showTone = new QAction(u"Show the Tone…"_s, this);
    connect(m_showTone, &QAction::triggered, this, &OptionsMenu::toneWindowRequested);
    m_showTone->setShortcut(Qt::CTRL | Qt::Key_I);
    window->addAction(m_showTone);
    m_devices = new OutputDeviceMenu(window, store, this);
    OpenOnChoice(m_devices);
    // Queued: the device submenu stores its choice once the item has been triggered.
    connect(m_devices, &QMenu::triggered, this, &OptionsMenu::optionsChanged, Qt::QueuedConnection);
    // Where Measure… records, beside where it plays.
    m_inputDevices = new OutputDeviceMenu(window, store, this, OutputDeviceMenu::Direction::Input);
    OpenOnChoice(m_inputDevices);

    // Only the menu shows whether a sound plays; Esc may always try.
    connect(this, &QMenu::aboutToShow, this, [this, window] {
        addItems(window);
        m_stopSound->setEnabled(IsSoundPlaying());
        // Left | right is stereo whatever is chosen: the channel choices show that they do not apply.
        const bool twoSides = ReadTone(m_currentRequest(), m_options).tone.twoSides();
        for (QAction *item : m_items[std::size_t(OutputSetting::Channels)])
            item->setEnabled(!twoSides);
        m_items[std::size_t(OutputSetting::ChannelsInTurn)].first()->setEnabled(!twoSides &&
                                                                                m_options.channelsCanTakeTurns());
    });
    connect(this, &QMenu::aboutToHide, this, [this] { m_stopSound->setEnabled(true); });

    auto *open = new QAction(window);
    open->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    connect(open, &QAction::triggered, this, [this, window] {
        const QWidget *anchor = window->focusWidget() ? window->focusWidget() : window;
        popup(anchor->mapToGlobal(QPoint(0, anchor->height())));
    });
    window->addAction(open);
}

void OptionsMenu::addItems(QWidget *window)
{
    // Some sixty items and submenus that nobody sees before the menu first opens: made then, and
    // not at every start.
    if (m_presets)
        return;
    addAction(m_stopSound);
    for (const OutputSettingRow &row : OutputSettingRows()) {
        if (row.shownIn)
            continue; // at the top of its submenu
        // Groups: the sound, then its level and shape, then the file's format and the output.
        if (row.setting == OutputSetting::Level || row.setting == OutputSetting::SampleRate)
            addSeparator();
        if (row.kind == OutputSettingKind::OnOff)
            addOnOffItem(row);
        else
            addSubmenu(row);
        // What the sweep is for, beside it.
        if (row.setting == OutputSetting::MeasurementSweep) {
            addAction(u"Measure…"_s, this, &OptionsMenu::measureRequested);
            addAction(u"Make Impulse Response…"_s, this, &OptionsMenu::impulseResponseRequested);
        }
    }
    addMenu(m_devices);
    addMenu(m_inputDevices);
    addSeparator();
    // The fields as typed, by their designer names: a preset keeps them as the person sees them.
    const auto currentPreset = [this, window] {
        const auto *length = window->findChild<QLineEdit *>(u"Text1"_s);
        const auto *frequencies = window->findChild<QLineEdit *>(u"Text2"_s);
        const auto *type = window->findChild<QComboBox *>(u"Combo1"_s);
        return Preset{.length = length ? length->text() : QString(),
                      .frequencies = frequencies ? frequencies->text() : QString(),
                      .waveformIndex = type ? type->currentIndex() : -1,
                      .options = m_options};
    };
    m_presets = new PresetsMenu(window, currentPreset, this);
    connect(m_presets, &PresetsMenu::presetChosen, this, &OptionsMenu::presetChosen);
    connect(m_presets, &PresetsMenu::resetOptionsRequested, this, &OptionsMenu::resetToDefaults);
    addMenu(m_presets);
    addAction(u"Copy SoX Command"_s, this, &OptionsMenu::copySoxCommandRequested);
    addAction(m_showTone);
    showChoices();
}

void OptionsMenu::addOnOffItem(const OutputSettingRow &row, QMenu *menu)
{
    QAction *item = (menu ? menu : this)->addAction(row.menuText);
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, setting = row.setting](bool on) { choose(setting, on ? 1 : 0); });
    m_items[std::size_t(row.setting)] = {item};
}

void OptionsMenu::addSubmenu(const OutputSettingRow &row)
{
    QMenu *submenu = addMenu(row.menuText);
    for (const OutputSettingRow &above : OutputSettingRows()) {
        if (above.shownIn == row.setting && above.kind == OutputSettingKind::Choices) {
            addChoices(submenu, above);
            new ChoosesAndStaysOpen(submenu, m_items[std::size_t(above.setting)]);
            submenu->addSeparator();
        }
    }
    addChoices(submenu, row);
    // An on/off item of the setting's own, below its choices.
    for (const OutputSettingRow &below : OutputSettingRows()) {
        if (below.shownIn == row.setting && below.kind == OutputSettingKind::OnOff) {
            submenu->addSeparator();
            addOnOffItem(below, submenu);
        }
    }
    if (row.setting == OutputSetting::Level) {
        m_otherLevel = submenu->addAction(OtherLevelText(std::nullopt));
        m_otherLevel->setCheckable(true);
        m_items[std::size_t(row.setting)].first()->actionGroup()->addAction(m_otherLevel);
        m_items[std::size_t(row.setting)].append(m_otherLevel);
        connect(m_otherLevel, &QAction::triggered, this, &OptionsMenu::askForLevel);
        submenu->addSeparator();
        submenu->addAction(u"Calibrate Output Level…"_s, this, &OptionsMenu::askForCalibration);
    }
    OpenOnChoice(submenu);
}

void OptionsMenu::addChoices(QMenu *submenu, const OutputSettingRow &row)
{
    auto *group = new QActionGroup(submenu);
    for (qsizetype i = 0; i < row.choices.size(); ++i) {
        QAction *item = submenu->addAction(row.choices[i].label);
        item->setCheckable(true);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, setting = row.setting, i] { choose(setting, i); });
        m_items[std::size_t(row.setting)].append(item);
    }
}

void OptionsMenu::restore()
{
    // From the defaults, reading only what differs from them: every start reads a dozen settings,
    // most of them at their default.
    m_options = OutputOptions();
    for (const OutputSettingRow &row : OutputSettingRows()) {
        const QString &byDefault = row.choices[row.defaultChoice].stored;
        if (const QString stored = m_store.get(row.key, byDefault); stored != byDefault)
            m_options.restore(row.setting, stored);
    }
    showChoices();
    m_devices->restore();
    m_inputDevices->restore();
    emit optionsChanged();
}

const QString &OptionsMenu::outputDevice() const
{
    return m_devices->chosen();
}

const QString &OptionsMenu::inputDevice() const
{
    return m_inputDevices->chosen();
}

const std::optional<OutputCalibration> &OptionsMenu::calibration() const
{
    if (m_calibratedDevice != outputDevice()) {
        m_calibration = StoredCalibration(outputDevice());
        m_calibratedDevice = outputDevice();
    }
    return m_calibration;
}

QString OptionsMenu::outputDeviceName() const
{
    return m_devices->chosen().isEmpty() ? QString() : m_devices->chosenName();
}

void OptionsMenu::showChoices()
{
    if (!m_presets)
        return; // no items yet: they take the choices when they are made
    for (const OutputSettingRow &row : OutputSettingRows()) {
        const QList<QAction *> &items = m_items[std::size_t(row.setting)];
        if (row.kind == OutputSettingKind::OnOff)
            items.first()->setChecked(m_options.isOn(row.setting));
        else
            items[m_options.choice(row.setting)]->setChecked(true);
    }
    const bool typed = m_options.choice(OutputSetting::Level) == OtherLevelChoice();
    m_otherLevel->setText(OtherLevelText(typed ? std::optional(m_options.level()) : std::nullopt));
}

void OptionsMenu::choose(OutputSetting setting, qsizetype choice)
{
    m_options.setChoice(setting, choice);
    store(setting);
}

void OptionsMenu::store(OutputSetting setting)
{
    // Heard first (a live tone follows it), then written to the disk.
    emit optionsChanged();
    m_store.save(OutputRow(setting).key, m_options.stored(setting));
}

void OptionsMenu::askForLevel()
{
    std::optional<TypedLevel> typed =
        CurrentDialogs().levelInput(parentWidget(), {m_options.level(), m_options.rmsLevel(), {}}, calibration());
    if (typed && typed->reading) {
        // As a meter reads the output: an RMS level, through what full scale reads there.
        std::optional<OutputLevel> level;
        if (!calibration())
            CurrentDialogs().message(parentWidget(), UncalibratedLevelReminder);
        else if (level = calibration()->outputLevel(*typed->reading); !level)
            CurrentDialogs().message(parentWidget(),
                                     u"At this output, Level takes %1."_s.arg(calibration()->rangeText()));
        typed = level ? std::optional(TypedLevel{*level, true, {}}) : std::nullopt;
    }
    if (typed) {
        choose(OutputSetting::LevelUnit, typed->rms ? 1 : 0);
        m_options.setLevel(typed->level);
        store(OutputSetting::Level);
    }
    // The item was checked as it was triggered: a cancel puts the check back where it was, and a
    // quick choice typed checks its own item.
    showChoices();
}

void OptionsMenu::askForCalibration()
{
    const QString output = outputDeviceName().isEmpty() ? u"the system's default output"_s : outputDeviceName();
    QString prompt =
        u"What does a full-scale sine read at %1? Play one (Sine, 0 dBFS), measure it, and type "
        "what the meter shows, such as +18 dBu, 1.228 V or +4 dBV. Leave it empty to forget it."_s.arg(output);
    if (calibration())
        prompt += u"\n\nNow: %1."_s.arg(calibration()->fullScale.text());
    const std::optional<QString> typed = CurrentDialogs().textInput(parentWidget(), prompt);
    if (!typed)
        return;
    if (!typed->trimmed().isEmpty() && !ParseAnalogLevel(*typed)) {
        CurrentDialogs().message(
            parentWidget(), u"Not understood: \"%1\". Type a level such as +18 dBu, 1.228 V or +4 dBV."_s.arg(*typed));
        return;
    }
    if (!StoreCalibration(outputDevice(), typed->trimmed()))
        CurrentDialogs().message(parentWidget(), u"The calibration cannot be saved."_s,
                                 SettingsStoreProblem(Settings::App, Settings::Section));
    m_calibratedDevice.reset(); // read again, as stored
    emit optionsChanged();
}

void OptionsMenu::chooseStored(const QList<std::pair<OutputSetting, QString>> &choices)
{
    // A value that is none of the choices means the default, as in the settings.
    for (const auto &[setting, stored] : choices) {
        m_options.restore(setting, stored);
        store(setting);
    }
    showChoices();
}

void OptionsMenu::choosePreset(const OutputOptions &options)
{
    QList<std::pair<OutputSetting, QString>> choices;
    for (const OutputSettingRow &row : OutputSettingRows())
        choices.append({row.setting, options.stored(row.setting)});
    chooseStored(choices);
}

void OptionsMenu::resetToDefaults()
{
    choosePreset(OutputOptions());
    m_devices->chooseDefault();
    m_inputDevices->chooseDefault();
    emit optionsChanged();
}

void OptionsMenu::stopSound()
{
    StopPlayback();
}

bool OptionsMenu::playLive(const LiveTone &tone)
{
    return m_devices->playLive(tone);
}

void OptionsMenu::playPreview(const QString &path)
{
    m_devices->playPreview(path, m_options.loopPreview());
}
