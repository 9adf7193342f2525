// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class QWidget;

// The optional skin beside the program: "x/o.cjs" in the program's folder.
QString SkinFilePath();

// The skin control of the main window. The skin file holds a Qt style sheet, which applyWindow
// sets on the window. The flag word and the numbered settings are only kept: a style sheet
// has nothing for them to switch.
class SkinFramework1 : public QObject
{
    Q_OBJECT

public:
    explicit SkinFramework1(QObject *parent = nullptr);

    // Reads the style sheet from path. Throws Failure when the file cannot be read or is not
    // text. The ini name selects a part of a skin file; a style sheet has one part only.
    void loadSkin(const QString &path, const QString &iniFileName);
    int flags() const { return m_flags; }
    void setFlags(int flags) { m_flags = flags; }
    bool setting(int id) const { return m_settings.value(id, false); }
    void setSetting(int id, bool on) { m_settings.insert(id, on); }
    // Sets the loaded style sheet on the window. Throws Failure when no skin was loaded.
    void applyWindow(QWidget *window);

    QString styleSheet() const { return m_styleSheet; }

private:
    bool m_loaded = false;
    QString m_styleSheet;
    int m_flags = 0;
    QMap<int, bool> m_settings;
};

// When the skin file is there, gives the window and its frames the button colour and skins the
// window through its SkinFramework1 child (made on first use). Without the file nothing
// changes. Failures are thrown to the caller; colours already changed stay.
void ApplySkin(QWidget *window);
