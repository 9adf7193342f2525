// SPDX-License-Identifier: GPL-3.0-or-later

#include "stray_boxes.h"

#include "when_modal.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

void CloseStrayBoxes()
{
    auto *watch = new QTimer(qApp);
    QObject::connect(watch, &QTimer::timeout, [] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || WhenModal::waiting())
            return;
        QString said = QString::fromLatin1(modal->metaObject()->className()) + u": "_s + modal->windowTitle();
        if (const auto *box = qobject_cast<QMessageBox *>(modal))
            said += u" — "_s + box->text() + u" "_s + box->detailedText();
        QTest::qFail(qPrintable(u"A box that no test expected: "_s + said), __FILE__, __LINE__);
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
    });
    watch->start(100);
}
