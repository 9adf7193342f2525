// SPDX-License-Identifier: GPL-3.0-or-later

// The window's look that the picture in docs/window.png shows, checked where it can break
// unseen: frame captions on the frame line with room below them, and the designed fonts kept
// when a skin's style sheet lands on the window.

#include "test_sandbox.h"
#include "window/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

QRect FrameLine(QGroupBox *frame, QStyle::SubControl part)
{
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.lineWidth = 1;
    return frame->style()->subControlRect(QStyle::CC_GroupBox, &option, part, frame);
}

// WCAG's relative luminance and contrast ratio.
double Luminance(QColor color)
{
    const auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

double Contrast(QColor a, QColor b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class LookTest : public QObject
{
    Q_OBJECT

private slots:
    void fontsAsDesignedWithAndWithoutSkin_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("no skin") << QString();
        QTest::newRow("buttons only") << u"QPushButton { background: #2a6f97; color: white; }"_s;
        QTest::newRow("frames too") << u"QGroupBox { color: #204080; } QLineEdit { color: black; }"_s;
    }

    void fontsAsDesignedWithAndWithoutSkin()
    {
        QFETCH(QString, skin);
        Form1 window;
        window.endProcess = [] {};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (!skin.isEmpty())
            window.setStyleSheet(skin); // what the skin loader does last
        QCoreApplication::processEvents();
        for (QWidget *control : window.findChildren<QWidget *>()) {
            if (control->objectName().isEmpty() || control->objectName().startsWith(u"qt_"_s))
                continue;
            const qreal size = qobject_cast<QPushButton *>(control) ? 11.25 : 9.0;
            QVERIFY2(control->font().bold(), qPrintable(control->objectName()));
            QCOMPARE(control->font().pointSizeF(), size);
            QCOMPARE(control->font().family(), u"Arial"_s);
        }
    }

    // Under a dark desktop palette the window keeps its white, and its captions stay readable: the
    // caption's darkest drawn pixel against the frame's own background, as drawn on screen.
    void captionsReadableUnderADarkPalette()
    {
        const QPalette desktop = QApplication::palette();
        QPalette dark(QColor(0x2b, 0x2b, 0x2b), QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, Qt::white);
        QApplication::setPalette(dark);
        Form1 window;
        window.endProcess = [] {};
        QApplication::setPalette(desktop);
        for (QGroupBox *box : window.findChildren<QGroupBox *>()) {
            const QImage drawn = box->grab().toImage();
            const QRect caption = FrameLine(box, QStyle::SC_GroupBoxLabel);
            const QColor background = drawn.pixelColor(caption.right() + 20, caption.center().y() + 12);
            double best = 1;
            for (int y = caption.top(); y <= caption.bottom(); ++y)
                for (int x = caption.left(); x <= caption.right(); ++x)
                    best = std::max(best, Contrast(drawn.pixelColor(x, y), background));
            QVERIFY2(best >= 4.5, qPrintable(box->title() + u": "_s + QString::number(best)));
        }
    }

    void captionsSitOnTheFrameLine_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("field");
        QTest::newRow("length") << u"Frame1"_s << u"Text1"_s;
        QTest::newRow("frequencies") << u"Frame3"_s << u"Text2"_s;
        QTest::newRow("type") << u"Frame2"_s << u"Combo1"_s;
    }

    void captionsSitOnTheFrameLine()
    {
        QFETCH(QString, frame);
        QFETCH(QString, field);
        Form1 window;
        window.endProcess = [] {};
        auto *box = window.findChild<QGroupBox *>(frame);
        auto *inside = window.findChild<QWidget *>(field);
        QVERIFY(box && inside);
        const QRect line = FrameLine(box, QStyle::SC_GroupBoxFrame);
        const QRect caption = FrameLine(box, QStyle::SC_GroupBoxLabel);
        // The line runs through the caption's middle...
        QVERIFY2(qAbs(line.top() - caption.center().y()) <= 1,
                 qPrintable(u"%1 %2"_s.arg(line.top()).arg(caption.top())));
        // ...clear of the field, which keeps the designed place below it.
        QVERIFY2(inside->geometry().top() - line.top() >= 8, qPrintable(QString::number(line.top())));
        QVERIFY(caption.bottom() < inside->geometry().top());
        QVERIFY(caption.left() > line.left());
    }
};

QUORVANE_TEST_MAIN(LookTest)
#include "tst_look.moc"
