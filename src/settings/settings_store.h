// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "core/tone/output_options.h"
#include "core/tone/tone_request.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>
#include <utility>

class QSettings;

// The names under which the window keeps its inputs, and what a first run starts from.
namespace Settings {
inline const QString App = QStringLiteral("Marrowick");
inline const QString Section = QStringLiteral("Quorvane");

inline const QString Combo1 = QStringLiteral("Combo1");
inline const QString Text1 = QStringLiteral("Text1");
inline const QString Text2 = QStringLiteral("Text2");

// A first run starts from the sample inputs. Numbers stay numbers here; GetSetting hands them
// back as their decimal text.
inline const QVariant Combo1Default = Samples::WaveformIndex;
inline const QVariant Text1Default = Samples::Length.toInt();
inline const QVariant Text2Default = Samples::Frequencies;

// The output options' keys, choices, stored values and defaults stand in one table with the menu
// texts (output_options.h); a missing or unknown value means the default, without a report.
// Where the preview plays: empty for the system's default output, else the output's id as the
// audio server names it. Its choices are the outputs there are, so it has no row in that table.
inline const QString OutputDevice = QStringLiteral("OutputDevice");
// What Measure… records: empty for the system's default input, else the input's id, as above.
inline const QString InputDevice = QStringLiteral("InputDevice");
// The folder Measure… last kept its files in.
inline const QString MeasureFolder = QStringLiteral("MeasureFolder");
// The inverse filter that the last Save of a measurement sweep wrote: what Make Impulse Response
// offers first.
inline const QString InverseFilter = QStringLiteral("InverseFilter");
// Where the window was when it last closed: "x,y" of its frame's top-left corner on the desktop.
inline const QString WindowPosition = QStringLiteral("WindowPosition");
} // namespace Settings

// The stored text of the key, even when it is empty. An absent key, or a store that cannot be
// read or makes no sense, gives the default as text. A store file larger than 1 MiB is damaged:
// it is moved aside to "<store>.damaged" (see TakeMovedAsideSettingsFile) and the store starts
// empty. Never creates anything else.
QString GetSetting(const QString &app, const QString &section, const QString &key, const QVariant &defaultValue);

// Stores the text exactly as given and writes it to disk at once (at the commit of a batch that
// is open for the section: then true means held back). Returns false when it did not reach the
// disk (SettingsStoreProblem says why); it never throws, never waits for a lock file that is not
// one, waits at most about a second for a lock that another program holds (and, once that failed,
// not at all for the rest of the run), and never shows anything, so the caller decides what to tell.
bool SaveSetting(const QString &app, const QString &section, const QString &key, const QString &value);

// Holds back what SaveSetting is given while it lives, and writes it all with one disk write when
// committed (or when it goes), none at all when the store holds every value already. For the
// three inputs that start-up restores and that their change handlers write straight back. While
// it lives, GetSetting reads the section from disk once, not once per key.
class SettingsBatch
{
public:
    SettingsBatch(QString app, QString section);
    ~SettingsBatch();
    SettingsBatch(const SettingsBatch &) = delete;
    SettingsBatch &operator=(const SettingsBatch &) = delete;

    // Writes what was held back; false when it did not reach the disk.
    bool commit();

private:
    friend bool SaveSetting(const QString &, const QString &, const QString &, const QString &);
    friend QString GetSetting(const QString &, const QString &, const QString &, const QVariant &);

    QString read(const QString &key, const QVariant &defaultValue);

    QString m_app;
    QString m_section;
    QList<std::pair<QString, QString>> m_pending;
    std::unique_ptr<QSettings> m_reader; // opened on the first read
    SettingsBatch *m_outer;
};

// The subgroups of a group, each with its keys and their texts, in the order of the subgroups'
// names (numbers by their value, before any other name). Read without changing anything, not even
// a damaged store (see GetSetting), which reads as empty.
QList<std::pair<QString, QHash<QString, QString>>> ReadSettingsSubgroups(const QString &app, const QString &section,
                                                                         const QString &group);

// Replaces everything under the group (a key path such as "Presets/3") with these keys and
// texts, in one disk write; no values removes the group. False when it did not reach the disk
// (SettingsStoreProblem says why); waits for locks as SaveSetting does.
bool ReplaceSettingsGroup(const QString &app, const QString &section, const QString &group,
                          const QList<std::pair<QString, QString>> &values);

// The file that holds the section, for telling the user where saving failed.
QString SettingsFilePath(const QString &app, const QString &section);

// A stored list index as the list takes it: a 16-bit whole number from -1 (no item) to the last
// of itemCount items. Throws Failure, as the list would, for anything else.
int StoredListIndex(const QString &stored, int itemCount);

// Why the last SaveSetting failed, for telling the user.
QString SettingsStoreProblem(const QString &app, const QString &section);

// Where a damaged store file was moved aside since the last call, or an empty text; the caller
// tells the user once.
QString TakeMovedAsideSettingsFile();
