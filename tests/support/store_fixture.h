// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "settings/settings_store.h"

#include <QString>

// The program's settings store as the tests see it: emptied, filled and read key by key.
namespace StoreFixture {

// Takes the store away, also when something else stands in its place.
void ClearStore();

// Stores one value of the program's section; a failed save fails the test.
void Store(const QString &key, const QString &value);

// One stored value of the program's section; "<absent>" when there is none.
QString Stored(const QString &key);

} // namespace StoreFixture
