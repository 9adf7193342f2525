// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <functional>

// Runs inspect on the next modal dialog (other than ignore) as soon as it is shown. Whatever
// inspect leaves open is closed, so a failed check cannot leave the test waiting in exec().
class WhenModal
{
public:
    explicit WhenModal(std::function<void(QWidget *)> inspect, QWidget *ignore = nullptr)
        : m_inspect(std::move(inspect)), m_ignore(ignore)
    {
        ++s_waiting;
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == m_ignore || !modal->isVisible())
                return;
            m_timer.stop();
            m_seen = true;
            m_inspect(modal);
            if (auto *dialog = qobject_cast<QDialog *>(modal); dialog && dialog->isVisible())
                dialog->done(QDialog::Rejected);
        });
        m_timer.start(10);
    }
    ~WhenModal() { --s_waiting; }
    WhenModal(const WhenModal &) = delete;
    WhenModal &operator=(const WhenModal &) = delete;
    bool seen() const { return m_seen; }
    // Whether a test waits for a dialog now: one shown meanwhile is expected.
    static bool waiting() { return s_waiting > 0; }

private:
    static inline int s_waiting = 0;
    std::function<void(QWidget *)> m_inspect;
    QWidget *m_ignore;
    QTimer m_timer;
    bool m_seen = false;
};

// What a user does: types the name into the dialog's name field and presses Save.
inline void TypeAndAccept(QFileDialog *dialog, const QString &name)
{
    auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(field);
    field->setText(name);
    static_cast<QDialog *>(dialog)->accept(); // public there, protected in QFileDialog
}
