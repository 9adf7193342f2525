// SPDX-License-Identifier: GPL-3.0-or-later

// The options menu of the window: stopping the sound, the output options that shape every tone,
// and the tool's command for the clipboard. Also the frequency steps from the keyboard.

#include "core/frequency_step.h"
#include "core/playback.h"
#include "core/synth_command.h"
#include "core/tone_request.h"
#include "services/settings_store.h"
#include "window/form1.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString OptionsTip = u"Right-click for level, channels, sample rate and format. Esc stops the sound."_s;

// Opens the menu on a right-click anywhere but in the text fields, and on the keyboard's menu
// keys wherever the focus is; moves a plain frequency with the arrow and page keys.
class OptionsInput : public QObject
{
public:
    explicit OptionsInput(Form1 *form) : QObject(form), m_form(form) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::ContextMenu: {
            const auto *request = static_cast<QContextMenuEvent *>(event);
            // The menu keys are handled as shortcuts; a platform's own menu event for them would
            // open the text fields' edit menu or a second copy of this one.
            if (request->reason() == QContextMenuEvent::Keyboard)
                return true;
            if (qobject_cast<QLineEdit *>(watched))
                return false;
            m_form->ShowOptionsMenu(request->globalPos());
            return true;
        }
        case QEvent::KeyPress:
            return watched == m_form->Text2 && m_form->Text2_StepKey(static_cast<QKeyEvent *>(event));
        default:
            return false;
        }
    }

private:
    Form1 *m_form;
};

} // namespace

void Form1::buildOptionsMenu()
{
    auto *input = new OptionsInput(this);
    installEventFilter(input);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(input);
    PushButton2->setToolTip(OptionsTip);
    PushButton3->setToolTip(OptionsTip);

    OptionsMenu = new QMenu(this);

    m_stopSound = OptionsMenu->addAction(u"Stop Sound"_s, this, &Form1::StopSound);
    m_stopSound->setShortcut(Qt::Key_Escape);
    addAction(m_stopSound); // Esc anywhere in the window, not only in the open menu
    // Only the menu shows whether a sound plays; Esc may always try.
    connect(OptionsMenu, &QMenu::aboutToShow, this, [this] { m_stopSound->setEnabled(IsSoundPlaying()); });
    connect(OptionsMenu, &QMenu::aboutToHide, this, [this] { m_stopSound->setEnabled(true); });

    for (const OutputSettingTable &table : OutputSettingTables()) {
        if (table.onOff) {
            QAction *item = OptionsMenu->addAction(table.menuText);
            item->setCheckable(true);
            connect(item, &QAction::triggered, this,
                    [this, setting = table.setting](bool on) { chooseOutputOption(setting, on ? 1 : 0); });
            m_optionActions[size_t(table.setting)] = {item};
            continue;
        }
        QMenu *submenu = OptionsMenu->addMenu(table.menuText);
        auto *group = new QActionGroup(submenu);
        for (qsizetype i = 0; i < table.choices.size(); ++i) {
            QAction *item = submenu->addAction(table.choices[i].label);
            item->setCheckable(true);
            group->addAction(item);
            connect(item, &QAction::triggered, this,
                    [this, setting = table.setting, i] { chooseOutputOption(setting, i); });
            m_optionActions[size_t(table.setting)].append(item);
        }
    }
    OptionsMenu->addAction(u"Copy SoX Command"_s, this, &Form1::CopySoxCommand);
    showOutputOptions();

    auto *openMenu = new QAction(this);
    openMenu->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});
    connect(openMenu, &QAction::triggered, this, [this] {
        const QWidget *anchor = focusWidget() ? focusWidget() : this;
        ShowOptionsMenu(anchor->mapToGlobal(QPoint(0, anchor->height())));
    });
    addAction(openMenu);
}

void Form1::ShowOptionsMenu(const QPoint &globalPosition)
{
    OptionsMenu->popup(globalPosition);
}

void Form1::restoreOutputOptions()
{
    for (const OutputSettingTable &table : OutputSettingTables()) {
        const QString fallback = table.choices[table.defaultChoice].stored;
        m_outputOptions.restore(table.setting, GetSetting(Settings::App, Settings::Section, table.key, fallback));
    }
    showOutputOptions();
}

// The menu's checks follow the options. Only a user's choice stores anything (triggered, not toggled).
void Form1::showOutputOptions()
{
    for (const OutputSettingTable &table : OutputSettingTables()) {
        const QList<QAction *> &items = m_optionActions[size_t(table.setting)];
        const qsizetype choice = m_outputOptions.choice(table.setting);
        if (table.onOff)
            items.first()->setChecked(choice == 1);
        else
            items[choice]->setChecked(true);
    }
}

void Form1::chooseOutputOption(OutputSetting setting, qsizetype choice)
{
    m_outputOptions.setChoice(setting, choice);
    saveInput(OutputTable(setting).key, m_outputOptions.chosen(setting).stored);
}

void Form1::StopSound()
{
    StopPlayback();
}

void Form1::CopySoxCommand()
{
    const ToneRequest request = currentRequest();
    QGuiApplication::clipboard()->setText(CopyableSoxCommand(request, m_outputOptions));
}

bool Form1::Text2_StepKey(const QKeyEvent *key)
{
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    const double step = ctrl ? 10 : shift ? 0.1 : 1;
    std::optional<QString> stepped;
    switch (key->key()) {
    case Qt::Key_Up:
        stepped = SteppedFrequency(Text2->text(), 1, step);
        break;
    case Qt::Key_Down:
        stepped = SteppedFrequency(Text2->text(), 1, -step);
        break;
    case Qt::Key_PageUp:
        stepped = SteppedFrequency(Text2->text(), 2, 0);
        break;
    case Qt::Key_PageDown:
        stepped = SteppedFrequency(Text2->text(), 0.5, 0);
        break;
    default:
        break;
    }
    if (!stepped || key->modifiers() & Qt::AltModifier)
        return false;
    // Through the edit history, so that undo takes the step back; stored like any edit.
    Text2->selectAll();
    Text2->insert(*stepped);
    return true;
}
