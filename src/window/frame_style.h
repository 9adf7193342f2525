// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QProxyStyle>

// Frame captions on the frame's top line, as the layout was drawn for. Qt's own styles put them
// above the line, which leaves the fields inside hugging it. A style rather than a style sheet:
// a sheet here would be replaced by the skin's, and replacing sheets loses the frames' font.
class FrameStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                         const QWidget *widget) const override;
    // A plain rounded line: some styles draw their frame lower inside the rectangle they get.
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override;

private:
    static constexpr int CaptionIndent = 8;
};
