// SPDX-License-Identifier: GPL-3.0-or-later

// The window's controls, placed as the layout was drawn: in twips, Arial bold, white.

#include "window/form1.h"
#include "window/frame_style.h"
#include "window/input_store.h"
#include "window/list_accessibility.h"
#include "window/options_menu.h"
#include "window/status_line.h"
#include "window/sweep_measurement.h"
#include "window/tone_maker.h"
#include "window/tone_window.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

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

} // namespace

// NOLINTNEXTLINE(readability-function-size): the window's parts made and joined, one by one.
Form1::Form1(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Form1"_s);
    // A fixed window: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    // The designed client area, and below the buttons the status line.
    setFixedSize(Px(8040), Px(4800));
    setFont(ArialBold(9));
    // The window keeps its white, so it keeps black writing on it too: under a dark desktop
    // palette the captions would otherwise be drawn white on white.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);
    setAutoFillBackground(true);
    setMouseTracking(true);
    m_customPointer = QCursor(Qt::PointingHandCursor);

    InstallListAccessibility(); // before the type list is first asked for its interface
    buildControls();
    m_inputs = std::make_unique<InputStore>(this);
    const auto currentRequest = [this] { return MakeToneRequest(Text1->text(), Combo1->currentText(), Text2->text()); };
    Options = new OptionsMenu(this, *m_inputs, currentRequest);
    connect(Options, &OptionsMenu::presetChosen, this, &Form1::ApplyPreset);
    connect(Options, &OptionsMenu::copySoxCommandRequested, this, &Form1::CopySoxCommand);
    connect(Options, &OptionsMenu::impulseResponseRequested, this, &Form1::MakeImpulseResponse);
    connect(Options, &OptionsMenu::measureRequested, this, &Form1::Measure);
    m_toneMaker = std::make_unique<ToneMaker>(this, currentRequest, [this] { return Options->options(); });
    connect(Options, &OptionsMenu::toneWindowRequested, this, &Form1::ShowTone);
    m_toneMaker->toneMade = [this](const MadeTone &tone) {
        m_lastShown = tone;
        if (m_toneWindow)
            m_toneWindow->follow(tone);
    };

    // What the line says follows the inputs and the options as they change.
    Status = new StatusLine(this, TwipRect(120, 4350, 7800, 345), [this, currentRequest] {
        const OutputOptions options = Options->options();
        return StatusLine::Describe(ReadTone(currentRequest(), options).tone, options, Options->outputDeviceName(),
                                    Options->calibration());
    });
    connect(Status, &StatusLine::clicked, this,
            [this] { Options->popup(Status->label()->mapToGlobal(QPoint(0, Status->label()->height()))); });
    connect(Status, &StatusLine::cancelClicked, this, &Form1::PushButton7_Click);
    m_toneMaker->showSaveProgress(
        [this](std::optional<int> percent, const QString &text) { Status->showProgress(percent, text); });
    connect(Options, &OptionsMenu::optionsChanged, Status, &StatusLine::refresh);
    connect(Options, &OptionsMenu::optionsChanged, this, &Form1::Options_Change);
    connect(Text2, &QLineEdit::textChanged, Status, &StatusLine::refresh);
    connect(Combo1, &QComboBox::currentIndexChanged, Status, &StatusLine::refresh);
    m_measurement = std::make_unique<SweepMeasurement>(this, *m_inputs, *Status);
    // A response is the newest thing to see: shown at once after Measure…, and by Show the Tone…
    // (or in the tone window, when it is open) after Make Impulse Response.
    m_measurement->responseMade = [this](const QString &path, bool show) {
        m_lastShown = MadeTone{path, {}, {}};
        if (show)
            ShowTone();
        else if (m_toneWindow)
            m_toneWindow->follow(*m_lastShown);
    };
    m_playingWords = PlayingText;
    m_soundWatch.setInterval(100);
    connect(&m_soundWatch, &QTimer::timeout, this, &Form1::showWhetherPlaying);

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

// NOLINTNEXTLINE(readability-function-size): the controls placed one by one.
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
        auto *frame = new QGroupBox(this);
        frame->setObjectName(name);
        frame->setGeometry(geometry);
        frame->setAutoFillBackground(true);
        // The style before the caption: the caption is measured once, and with the style it is drawn in.
        frame->setStyle(frameStyle);
        frame->setTitle(caption);
        frame->setMouseTracking(true);
        frame->installEventFilter(this);
        return frame;
    };
    const auto makeField = [this](const QString &name, QWidget *parent, QRect geometry) {
        // The design text once the field has the window's font: a text given to the constructor is
        // first laid out in the application's font, which the window never shows.
        auto *field = new QLineEdit(parent);
        field->setText(name);
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

    describeControls();

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

// What a screen reader says of each control. The fields and the list are named by their frames'
// captions; the two "?" buttons by what they explain, where their caption alone sounds alike.
// Preview and Save describe themselves by their tooltips.
void Form1::describeControls()
{
    Text1->setAccessibleName(Frame1->title());
    Text1->setAccessibleDescription(u"Seconds such as 2 or 0.5, or hh:mm:ss.frac such as 00:05:30.0"_s);
    PushButton6->setAccessibleName(u"Explain the length"_s);
    Text2->setAccessibleName(Frame3->title());
    Text2->setAccessibleDescription(u"One frequency such as 5000, or a range such as 300-3300 that sweeps"_s);
    PushButton1->setAccessibleName(u"Explain the frequencies"_s);
    Combo1->setAccessibleName(Frame2->title());
    Combo1->setAccessibleDescription(u"The waveform or noise colour"_s);
    PushButton4->setAccessibleDescription(u"Puts back 3 seconds of a 300 to 3300 Hz sine sweep"_s);
}
