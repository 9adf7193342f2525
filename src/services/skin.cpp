// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/skin.h"

#include "core/failure.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStringDecoder>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

void UseButtonFace(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    // The writing that goes with that face, whether the desktop is light or dark.
    palette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::ButtonText));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

QString SkinFilePath()
{
    return QCoreApplication::applicationDirPath() + u"/x/o.cjs"_s;
}

SkinFramework1::SkinFramework1(QObject *parent) : QObject(parent)
{
    setObjectName(u"SkinFramework1"_s);
}

void SkinFramework1::loadSkin(const QString &path, const QString &iniFileName)
{
    Q_UNUSED(iniFileName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(u"Cannot read the skin file %1: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(u"Cannot read the skin file %1: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
    // A binary skin made for another toolkit is not a style sheet; applying its bytes would
    // only fill the log with parse warnings.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.contains(QChar::Null))
        throw Failure(u"The skin file %1 is not a style sheet"_s.arg(QDir::toNativeSeparators(path)));
    m_styleSheet = std::move(text);
    m_loaded = true;
}

void SkinFramework1::applyWindow(QWidget *window)
{
    if (!m_loaded)
        throw Failure(u"No skin is loaded"_s);
    window->setStyleSheet(m_styleSheet);
}

void ApplySkin(QWidget *window)
{
    const QString path = SkinFilePath();
    const QFileInfo file(path);
    // Only a plain, visible file counts; a folder, a device or a dot file is no skin.
    if (!file.isFile() || file.isHidden())
        return;

    UseButtonFace(window);
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (qobject_cast<QRadioButton *>(control) || qobject_cast<QCheckBox *>(control) ||
            qobject_cast<QGroupBox *>(control) || qobject_cast<QLabel *>(control))
            UseButtonFace(control);
    }

    auto *skin = window->findChild<SkinFramework1 *>(u"SkinFramework1"_s, Qt::FindDirectChildrenOnly);
    if (!skin)
        skin = new SkinFramework1(window);
    skin->loadSkin(path, QString());
    skin->setFlags(skin->flags() | 1);
    skin->setSetting(5, true);
    skin->setSetting(10, true);
    skin->applyWindow(window);
}
