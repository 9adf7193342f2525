// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

// A preset: the three inputs and every output option, kept under a name. The standard test
// signals come built in; a person's own are kept in the settings under the same keys as the
// inputs, and are checked whole before anything of them is applied.

// The keys of a stored preset: its name, then the inputs' keys, then the options' (OutputSettingRows).
namespace PresetKeys {
inline const QString Name = QStringLiteral("Name");
inline const QString Length = QStringLiteral("Text1");
inline const QString Frequencies = QStringLiteral("Text2");
inline const QString Waveform = QStringLiteral("Combo1");
} // namespace PresetKeys

struct Preset
{
    QString name = {};
    QString length = {};
    QString frequencies = {};
    int waveformIndex = 0;
    OutputOptions options = {};
    bool builtIn = false;
    // Why a stored preset cannot be applied, or an empty text when it can.
    QString problem = {};

    bool usable() const { return problem.isEmpty(); }
    ToneRequest request() const;
};

// A user preset's name may not be longer than this.
inline constexpr qsizetype MaxPresetNameLength = 64;

// The standard test signals, in menu order.
const QList<Preset> &BuiltInPresets();

// Why the name cannot name a preset of the user's (empty, too long, a built-in's, or holding
// characters that no menu can show), or nothing.
std::optional<QString> PresetNameProblem(const QString &name);

// Why the inputs and options would make no tone, as Save would remind, or nothing.
std::optional<QString> PresetToneProblem(const Preset &preset);

// The preset's keys and stored values: its name, the three inputs, then every option.
QList<std::pair<QString, QString>> PresetValues(const Preset &preset);

// A preset from the values stored under its keys. An option that is not stored means its default
// (a preset kept before the option existed); anything else missing, or any value that is not one
// the window could have, makes it unusable, with the reason.
Preset PresetFromValues(const QHash<QString, QString> &values);

// The presets by name: the built-ins first, then the stored ones in their order. A stored preset
// whose name is taken by one before it is unusable.
QList<Preset> AllPresets(const QList<Preset> &stored);

// The first usable or unusable preset of that name, or nothing.
std::optional<Preset> FindPreset(const QList<Preset> &presets, const QString &name);

// The name as one line of a menu: control characters as blanks, and cut to the longest a name
// may be, with an ellipsis.
QString PresetDisplayName(const QString &name);
