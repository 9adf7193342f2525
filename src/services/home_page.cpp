// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/home_page.h"

#include "build_config.h"
#include "core/failure.h"

#include <QDesktopServices>
#include <QTime>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

HomePageChance current;

} // namespace

HomePageChance DefaultHomePageChance()
{
    return {
        [](quint32 seed) {
            std::mt19937 generator(seed);
            const double r = std::uniform_real_distribution<double>(0.0, 1.0)(generator);
            return int(r * 100) + 1;
        },
        [](const QUrl &address) { return QDesktopServices::openUrl(address); },
    };
}

void SetHomePageChance(HomePageChance chance)
{
    current = std::move(chance);
}

void OpenHomePageByChance()
{
    const HomePageChance defaults = DefaultHomePageChance();
    const auto &draw = current.draw ? current.draw : defaults.draw;
    const auto &open = current.open ? current.open : defaults.open;

    const quint32 secondsSinceMidnight = quint32(QTime(0, 0).secsTo(QTime::currentTime()));
    if (draw(secondsSinceMidnight) != HomePageDraw)
        return;
    const QUrl address(QString::fromUtf16(BuildConfig::HomePage));
    if (!open(address))
        throw Failure(u"The home page %1 could not be opened."_s.arg(address.toString()));
}
