// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QUrl>
#include <functional>

// Now and then (one start in a hundred) the program opens its home page in the browser.
struct HomePageChance
{
    // Draws a whole number from 1 to 100 from a generator seeded with the given seed.
    std::function<int(quint32 seed)> draw;
    // Opens the address without waiting; false when it could not be handed to a browser.
    std::function<bool(const QUrl &address)> open;
};

// The chance as the program uses it: a uniform draw and the desktop's browser.
HomePageChance DefaultHomePageChance();

// Replaces the draw and the browser, so tests neither depend on luck nor start a browser.
// An empty member keeps the default one; calling with {} restores both.
void SetHomePageChance(HomePageChance chance);

// The draw that opens the home page.
inline constexpr int HomePageDraw = 7;

// Seeds from the seconds since midnight, draws once, and opens the home page when the draw is
// HomePageDraw. Throws Failure when the page cannot be opened.
void OpenHomePageByChance();
