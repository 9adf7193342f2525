// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/analog_level.h"
#include "core/tone/output_options.h"

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// The caption of the error report; every other box takes ApplicationTitle().
inline const QString ErrorReportCaption = QStringLiteral("Application Error");

// A level as Other Level… takes it: the level and what it measures, or what it reads at a
// calibrated output.
struct TypedLevel
{
    OutputLevel level;
    bool rms = false; // the RMS level as AES17 reads it, else the peak
    // Typed in dBu, dBV or volts, as a meter reads the output: it stands for level and rms.
    std::optional<AnalogLevel> reading;
};

// The boxes and the save dialog of the window, behind one seam so that tests can answer them
// without a modal loop.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // OK button only, no icon, ApplicationTitle() as caption; detail (may be empty) goes into the
    // box's detailed text.
    virtual void message(QWidget *parent, const QString &text, const QString &detail = {}) = 0;
    // The error report box: warning icon, one OK, caption "Application Error".
    virtual void errorReport(QWidget *parent, const QString &prompt) = 0;
    // Asks for a file to save to, with Qt's own file dialog, which asks before replacing a file
    // that exists. A name without an extension gets the one of the chosen type (none for a type
    // of every file). Empty when the user cancels.
    virtual QString saveFileName(QWidget *parent, const QString &filter) = 0;
    // Asks for a file to read, with Qt's own file dialog, starting at startPath (a file to select,
    // or a folder); the caption says what the file is for. Empty when the user cancels.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &startPath) = 0;
    // Asks for a folder, with Qt's own dialog, starting at startPath; the caption says what it is
    // for. Empty when the user cancels.
    virtual QString folderName(QWidget *parent, const QString &caption, const QString &startPath) = 0;
    // Asks for one line of text with OK and Cancel, ApplicationTitle() as caption; nothing when
    // the user cancels.
    virtual std::optional<QString> textInput(QWidget *parent, const QString &prompt) = 0;
    // Asks a question with Yes and No, ApplicationTitle() as caption; true for Yes.
    virtual bool question(QWidget *parent, const QString &text) = 0;
    // Asks for any level of the range, by peak or by RMS, starting from the one given, with OK and
    // Cancel; nothing when the user cancels. With the output calibrated it also takes the level in
    // dBu, dBV or volts.
    virtual std::optional<TypedLevel> levelInput(QWidget *parent, const TypedLevel &current,
                                                 const std::optional<OutputCalibration> &calibration) = 0;
};

// The Qt implementation unless a test installed another.
Dialogs &CurrentDialogs();
// nullptr restores the Qt implementation. The caller keeps ownership.
void InstallDialogs(Dialogs *dialogs);

// The text as a box shows it: CR LF and lone CRs become line breaks.
QString DisplayText(const QString &text);

// Qt name filters from a filter text: either "Wave Files (*.wav)|*.wav|" (description and
// pattern pairs split by '|') or Qt's own "Wave Files (*.wav);;All (*)".
QStringList NameFilters(const QString &filter);
