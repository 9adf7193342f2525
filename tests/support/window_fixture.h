// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "recording_dialogs.h"
#include "store_fixture.h"
#include "window/form1.h"
#include "window/options_menu.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <memory>

// What the window tests share: the commands' messages, a clean start, a window started as the
// program starts it, and the inputs typed into it.
namespace WindowFixture {

using namespace StoreFixture;

// What the commands say, word for word.
extern const QString ForgotLength;
extern const QString ForgotFrequencies;
extern const QString SaveFailed;
extern const QString PreviewFailed;

// The messages with "Done." alone, without the line under it that says what was written.
QStringList Outcomes(const QStringList &messages);

// Keeps the home page shut: the draw never wins, and no browser would be asked.
void KeepHomePageShut();

// Where each window test begins: no stored inputs, no injected failures, the home page kept
// shut, and TEMP at a new empty folder, which it returns.
QString StartClean();

// A window after start-up, as main() makes it (not shown unless asked).
std::unique_ptr<Form1> StartWindow();

// The options menu after it has opened once (and closed again): it makes its items as it first opens.
OptionsMenu &OpenedOptions(const Form1 &window);

// The three inputs as a person leaves them: the length, the waveform's place in the list and
// the frequencies.
void SetInputs(Form1 &window, const QString &length, int waveform, const QString &frequencies);

} // namespace WindowFixture
