#include "form1.h"

#include "app_title.h"
#include "dialogs.h"
#include "failure.h"
#include "guard.h"
#include "hand_cursor.h"
#include "home_page.h"
#include "program_icon.h"
#include "run_and_wait.h"
#include "settings_store.h"
#include "skin.h"
#include "tone_request.h"
#include "tool_files.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcWindow, "quorvane.window", QtWarningMsg)

namespace {

// The layout is designed in twips; 15 of them make one pixel at 96 dots per inch.
constexpr int Px(int twips)
{
    return (twips + 7) / 15;
}

QRect TwipRect(int left, int top, int width, int height)
{
    return {Px(left), Px(top), Px(width), Px(height)};
}

QFont ArialBold(qreal pointSize)
{
    QFont font(u"Arial"_s);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

// Frame captions on the frame's top line, as the layout was drawn for. Qt's own styles put them
// above the line, which leaves the fields inside hugging it. A style rather than a style sheet:
// a sheet here would be replaced by the skin's, and replacing sheets loses the frames' font.
class FrameStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                         const QWidget *widget) const override
    {
        QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
        if (control != CC_GroupBox)
            return rect;
        const QRect label = QProxyStyle::subControlRect(control, option, SC_GroupBoxLabel, widget);
        if (part == SC_GroupBoxFrame)
            rect.setTop(label.center().y());
        else if (part == SC_GroupBoxLabel)
            rect.translate(CaptionIndent, 0);
        return rect;
    }

    // A plain rounded line: some styles draw their frame lower inside the rectangle they get.
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
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

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
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

private:
    static constexpr int CaptionIndent = 8;
};

// A stored list index as the list takes it: a 16-bit whole number from -1 (no item) to the
// last item.
int StoredListIndex(const QString &stored, int itemCount)
{
    bool isNumber = false;
    const int number = stored.trimmed().toInt(&isNumber);
    if (!isNumber)
        throw Failure(u"Type mismatch: the stored waveform \"%1\" is not a number."_s.arg(stored));
    if (number < -32768 || number > 32767)
        throw Failure(u"Overflow: the stored waveform %1 is out of range."_s.arg(stored));
    if (number < -1 || number >= itemCount)
        throw Failure(u"Invalid property value: the waveform list has no item %1."_s.arg(number));
    return number;
}

} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Form1"_s);
    // A fixed window: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(Px(8040), Px(4365));
    setFont(ArialBold(9));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setMouseTracking(true);
    m_customPointer = QCursor(Qt::PointingHandCursor);

    buildControls();

    endProcess = [this] {
        // Mid-command the handler is still on the stack, waiting in a nested event loop: end at
        // once (the settings are already on disk). Otherwise leave the event loop as usual.
        if (CommandBusy) {
            std::fflush(nullptr);
            std::_Exit(EXIT_SUCCESS);
        }
        QCoreApplication::exit(EXIT_SUCCESS);
    };
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    const auto makeButton = [this](const QString &name, const QString &caption, QWidget *parent, QRect geometry) {
        auto *button = new QPushButton(caption, parent);
        button->setObjectName(name);
        button->setFont(ArialBold(11.25));
        button->setGeometry(geometry);
        button->setMouseTracking(true);
        button->installEventFilter(this);
        return button;
    };
    // Built on the application's style; the window owns it.
    auto *frameStyle = new FrameStyle(QStyleFactory::create(QApplication::style()->name()));
    frameStyle->setParent(this);
    const auto makeFrame = [this, frameStyle](const QString &name, const QString &caption, QRect geometry) {
        auto *frame = new QGroupBox(caption, this);
        frame->setObjectName(name);
        frame->setGeometry(geometry);
        frame->setAutoFillBackground(true);
        frame->setStyle(frameStyle);
        frame->setMouseTracking(true);
        frame->installEventFilter(this);
        return frame;
    };
    const auto makeField = [this](const QString &name, QWidget *parent, QRect geometry) {
        auto *field = new QLineEdit(name, parent);
        field->setObjectName(name);
        field->setGeometry(geometry);
        field->installEventFilter(this);
        return field;
    };

    PushButton4 = makeButton(u"PushButton4"_s, u"Load Sample/Example Data"_s, this, TwipRect(120, 120, 7800, 405));
    Frame1 = makeFrame(u"Frame1"_s, u"Length of Audio (seconds/hh:mm:ss.frac)"_s, TwipRect(120, 600, 7800, 825));
    Text1 = makeField(u"Text1"_s, Frame1, TwipRect(240, 300, 6855, 345));
    PushButton6 = makeButton(u"PushButton6"_s, u"?"_s, Frame1, TwipRect(7200, 300, 360, 345));
    Frame3 = makeFrame(u"Frame3"_s, u"Frequencies (Hz)"_s, TwipRect(120, 1500, 7800, 825));
    Text2 = makeField(u"Text2"_s, Frame3, TwipRect(240, 300, 6855, 345));
    PushButton1 = makeButton(u"PushButton1"_s, u"?"_s, Frame3, TwipRect(7200, 300, 360, 345));
    Frame2 = makeFrame(u"Frame2"_s, u"Type"_s, TwipRect(120, 2400, 7800, 825));
    Combo1 = new QComboBox(Frame2);
    Combo1->setObjectName(u"Combo1"_s);
    Combo1->setEditable(false); // a drop-down list: pick an item, no typing
    Combo1->setGeometry(TwipRect(240, 300, 7335, 345));
    PushButton3 = makeButton(u"PushButton3"_s, u"Preview Tone"_s, this, TwipRect(120, 3350, 7800, 405));
    PushButton2 = makeButton(u"PushButton2"_s, u"Save Tone As Audio File"_s, this, TwipRect(120, 3860, 7800, 405));

    // Keyboard order: length, its tip, frequencies, their tip, type, preview, save, sample data.
    const QList<QWidget *> tabOrder{Text1,  PushButton6, Text2,       PushButton1,
                                    Combo1, PushButton3, PushButton2, PushButton4};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    Text1->setFocus();

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(Combo1, &QComboBox::editTextChanged, this, &Form1::Combo1_Change);
}

void Form1::Form_Load()
{
    Guard g(Locations::FormLoad);
    g.step(100, [&] { ApplySkin(this); });
    g.step(104, [&] { setWindowTitle(ProgramName); });
    g.step(104, [&] {
        const QIcon icon = ProgramIcon();
        if (icon.isNull())
            throw Failure(u"The program icon cannot be loaded."_s);
        setWindowIcon(icon);
    });
    g.step(104, [&] { SetApplicationTitle(); });
    const QString cursorFile = QCoreApplication::applicationDirPath() + u"/HAND-M.CUR"_s;
    if (g.test(106, [&] { return FileExists(cursorFile); })) {
        g.step(108, [&] {
            const std::optional<QCursor> cursor = LoadCursorFile(cursorFile);
            if (!cursor)
                throw Failure(u"Invalid picture: %1"_s.arg(cursorFile));
            m_customPointerImage = cursor;
            m_customPointer = *cursor;
            qCInfo(lcWindow).noquote() << "Hand cursor loaded from" << cursorFile;
        });
    } else {
        qCInfo(lcWindow).noquote() << "No hand cursor at" << cursorFile;
    }
    g.step(110, [&] { OpenHomePageByChance(); });

    // Adding an item must not select it: the list has no selection until the stored one is set.
    for (qsizetype i = 0; i < WaveformLabels().size(); ++i) {
        g.step(128 + 2 * qint32(i), [&] {
            const QSignalBlocker quiet(Combo1);
            Combo1->addItem(WaveformLabels()[i]);
            Combo1->setCurrentIndex(-1);
        });
    }
    g.step(146, [&] {
        const QString stored = GetSetting(Settings::App, Settings::Section, Settings::Combo1, Settings::Combo1Default);
        Combo1->setCurrentIndex(StoredListIndex(stored, Combo1->count()));
    });
    g.step(148, [&] {
        Text1->setText(GetSetting(Settings::App, Settings::Section, Settings::Text1, Settings::Text1Default));
    });
    g.step(150, [&] {
        Text2->setText(GetSetting(Settings::App, Settings::Section, Settings::Text2, Settings::Text2Default));
    });
}

void Form1::Form_Unload()
{
    if (m_ending)
        return;
    m_ending = true;
    // Nobody could stop a tool left running once the window is gone.
    StopRunningProgram();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (endProcess)
        endProcess();
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

// --- Input helpers -------------------------------------------------------------------------

void Form1::saveInput(const QString &key, const QString &value)
{
    if (SaveSetting(Settings::App, Settings::Section, key, value) || m_settingsWarningShown)
        return;
    // Once per run: a warning on every keystroke would make the window unusable.
    m_settingsWarningShown = true;
    showMessage(u"Your inputs cannot be saved, so they will not be remembered next time."_s,
                u"The settings file %1 cannot be written."_s.arg(SettingsFilePath(Settings::App, Settings::Section)));
}

void Form1::showMessage(const QString &text, const QString &detail)
{
    CurrentDialogs().message(this, text, detail);
}

void Form1::Text1_Change()
{
    saveInput(Settings::Text1, Text1->text());
}

void Form1::Text2_Change()
{
    saveInput(Settings::Text2, Text2->text());
}

void Form1::Combo1_Click()
{
    saveInput(Settings::Combo1, QString::number(Combo1->currentIndex()));
}

void Form1::Combo1_Change()
{
    Combo1_Click();
}

void Form1::Text1_GotFocus()
{
    Text1->setSelection(0, int(Text1->text().size()));
}

void Form1::Text2_GotFocus()
{
    Text2->setSelection(0, int(Text2->text().size()));
}

void Form1::PushButton4_Click()
{
    Guard g(Locations::PushButton4Click);
    g.step(100, [&] { Text1->setText(u"3"_s); });
    g.step(102, [&] { Text2->setText(u"300-3300"_s); });
    g.step(104, [&] {
        // Choosing the item that is already chosen is still a choice: store it.
        if (Combo1->currentIndex() == 0)
            Combo1_Click();
        else
            Combo1->setCurrentIndex(0);
    });
}

void Form1::PushButton1_Click()
{
    Guard g(Locations::PushButton1Click);
    g.step(100, [&] {
        showMessage(u"This is the frequency of audio in Hz. You can input a single value such as 5000 or a range like "
                    "300-3300."_s);
    });
}

void Form1::PushButton6_Click()
{
    Guard g(Locations::PushButton6Click);
    g.step(100, [&] {
        showMessage(u"This is a length of audio in seconds. For example: 2\r\n\r\nNote: you can also input in this "
                    "format hh:mm:ss.frac like 00:05:30.0 which means 5 mins and 30 seconds."_s);
    });
}

// --- Hover feedback ------------------------------------------------------------------------

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

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == Text1)
            Text1_GotFocus();
        else if (watched == Text2)
            Text2_GotFocus();
        return false;
    }
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
