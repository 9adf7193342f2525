// SPDX-License-Identifier: GPL-3.0-or-later

#include "window/frame_style.h"

#include <QPainter>
#include <QStyleOptionGroupBox>

QRect FrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                                 const QWidget *widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
    if (control != CC_GroupBox)
        return rect;
    // Only the line needs the caption's place: measuring the caption lays its text out again.
    if (part == SC_GroupBoxFrame)
        rect.setTop(QProxyStyle::subControlRect(control, option, SC_GroupBoxLabel, widget).center().y());
    else if (part == SC_GroupBoxLabel)
        rect.translate(CaptionIndent, 0);
    return rect;
}

void FrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    if (element != PE_FrameGroupBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(option->palette.color(QPalette::Mid));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter->restore();
}

void FrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                    const QWidget *widget) const
{
    const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
    if (control != CC_GroupBox || !box || !(box->subControls & SC_GroupBoxFrame) || box->text.isEmpty()) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // The line stops short of the caption on either side.
    const QRect caption = subControlRect(control, option, SC_GroupBoxLabel, widget).adjusted(-3, 0, 3, 0);
    QStyleOptionGroupBox frame = *box;
    frame.subControls = SC_GroupBoxFrame;
    painter->save();
    painter->setClipRegion(QRegion(box->rect).subtracted(caption));
    QProxyStyle::drawComplexControl(control, &frame, painter, widget);
    painter->restore();
    QStyleOptionGroupBox rest = *box;
    rest.subControls &= ~SC_GroupBoxFrame;
    QProxyStyle::drawComplexControl(control, &rest, painter, widget);
}
