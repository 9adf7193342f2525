// SPDX-License-Identifier: GPL-3.0-or-later

#include "window_fixture.h"

#include "build_config.h"
#include "sandbox.h"
#include "services/guard.h"
#include "services/home_page.h"

using namespace Qt::Literals::StringLiterals;

namespace WindowFixture {

const QString ForgotLength = u"You forgot to input length of audio."_s;
const QString ForgotFrequencies = u"You forgot to input frequencies."_s;
const QString SaveFailed = u"Failed to save tone.\r\nPlease email "_s + QString::fromUtf16(BuildConfig::SupportEmail);
const QString PreviewFailed =
    u"Failed to generate tone.\r\nPlease email "_s + QString::fromUtf16(BuildConfig::SupportEmail) + u'.';

QStringList Outcomes(const QStringList &messages)
{
    QStringList first;
    for (const QString &message : messages)
        first << (message.startsWith(u"Done.\r\n"_s) ? u"Done."_s : message);
    return first;
}

void KeepHomePageShut()
{
    static_assert(HomePageDraw != 1);
    SetHomePageChance({[](quint32) { return 1; }, [](const QUrl &) { return true; }});
}

QString StartClean()
{
    ClearStore();
    Guard::ClearInjectedFailures();
    KeepHomePageShut();
    return TestSandbox::FreshTempFolder();
}

std::unique_ptr<Form1> StartWindow()
{
    auto window = std::make_unique<Form1>();
    window->endProcess = [] {};
    window->Form_Load();
    return window;
}

OptionsMenu &OpenedOptions(const Form1 &window)
{
    window.Options->popup(window.mapToGlobal(QPoint(0, 0)));
    window.Options->close();
    return *window.Options;
}

void SetInputs(Form1 &window, const QString &length, int waveform, const QString &frequencies)
{
    window.Text1->setText(length);
    window.Combo1->setCurrentIndex(waveform);
    window.Text2->setText(frequencies);
}

} // namespace WindowFixture
