// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QCursor>
#include <QPoint>
#include <QString>
#include <optional>

// The hot spot that a Windows cursor file (.cur) records for its first image, or nothing when the
// data is not a cursor file or its hot spot lies outside that image. Icons and other pictures
// record none. The first 22 bytes of the file are enough.
std::optional<QPoint> CursorFileHotSpot(const QByteArray &data);

// The picture in the file at path as a pointer, with the hot spot the file records (Qt's ico
// plugin reads the image but drops the hot spot), or the picture's centre when it records none.
// Nothing when the file is missing or cannot be read as a picture.
std::optional<QCursor> LoadCursorFile(const QString &path);
