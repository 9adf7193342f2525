// SPDX-License-Identifier: GPL-3.0-or-later

// The window-wide pointer: the busy pointer while a command runs, the hand over the buttons,
// the arrow elsewhere.

#include "window/form1.h"

#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>

void Form1::setPointerState(PointerState state)
{
    m_pointerState = state;
    switch (state) {
    case PointerState::Default:
        unsetCursor();
        break;
    case PointerState::Busy:
        setCursor(Qt::WaitCursor);
        break;
    case PointerState::Custom:
        setCursor(m_customPointer);
        break;
    }
}

void Form1::Form_MouseMove()
{
    // The busy pointer of a running command is never replaced.
    if (m_pointerState != PointerState::Busy)
        setPointerState(PointerState::Default);
}

void Form1::Frame1_MouseMove()
{
    Form_MouseMove();
}

void Form1::Frame2_MouseMove()
{
    Form_MouseMove();
}

void Form1::Frame3_MouseMove()
{
    Form_MouseMove();
}

void Form1::PushButton_MouseMove()
{
    if (m_pointerState != PointerState::Busy)
        setPointerState(PointerState::Custom);
}

void Form1::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove();
    event->accept();
}

bool Form1::hoverEvent(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseMove)
        return false;
    if (qobject_cast<QPushButton *>(watched)) {
        PushButton_MouseMove();
        return true; // handled here: the frame or window behind must not turn it back
    }
    if (auto *frame = qobject_cast<QGroupBox *>(watched)) {
        // Only the frame's own area counts, not the fields inside it.
        const auto *move = static_cast<QMouseEvent *>(event);
        if (!frame->childAt(move->position().toPoint())) {
            if (frame == Frame1)
                Frame1_MouseMove();
            else if (frame == Frame2)
                Frame2_MouseMove();
            else if (frame == Frame3)
                Frame3_MouseMove();
        }
        return true;
    }
    return false;
}
