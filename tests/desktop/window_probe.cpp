// SPDX-License-Identifier: GPL-3.0-or-later

// A Qt generic plugin that the desktop test loads into the real program (QT_QPA_GENERIC_PLUGINS):
// it only watches, and reports every window that the program shows or hides, with its X window
// id and, for message boxes, the text. The program itself stays as a person runs it; the test
// learns which window is which and what a box says, which nothing on the X side can tell.
//
// One line per event on standard error: window-probe {"event":"show","window":...,...}

#include <QApplication>
#include <QFileDialog>
#include <QGenericPlugin>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>

namespace {

class WindowProbe : public QObject
{
public:
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show && event->type() != QEvent::Hide)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        // internalWinId(): asking a closing window for winId() would make it a new one.
        if (!widget || !widget->isWindow() || !widget->internalWinId() || widget->windowType() == Qt::Popup ||
            widget->windowType() == Qt::ToolTip)
            return false;
        QJsonObject line{
            {QStringLiteral("event"), event->type() == QEvent::Show ? QStringLiteral("show") : QStringLiteral("hide")},
            {QStringLiteral("window"), QString::number(widget->internalWinId())},
            {QStringLiteral("class"), QString::fromLatin1(widget->metaObject()->className())},
            {QStringLiteral("name"), widget->objectName()},
            {QStringLiteral("title"), widget->windowTitle()},
        };
        if (const auto *box = qobject_cast<QMessageBox *>(widget)) {
            line.insert(QStringLiteral("text"), box->text());
            line.insert(QStringLiteral("detail"), box->detailedText());
        }
        std::fprintf(stderr, "window-probe %s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
        std::fflush(stderr);
        return false;
    }
};

} // namespace

class WindowProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "window_probe.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        // No parent: the application deletes what its plugins create.
        auto *probe = new WindowProbe;
        QCoreApplication::instance()->installEventFilter(probe);
        return probe;
    }
};

#include "window_probe.moc"
