// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QtGlobal>

// Which loudspeakers a WAVE file's channels feed, as the mask of WAVE_FORMAT_EXTENSIBLE says it:
// 0x33 for four channels (front and rear pairs), 0x3F for six (5.1), 0x63F for eight (7.1); 0 for
// any other count, which no layout of ours makes.
quint32 WaveChannelMask(int channels);

// Gives a WAVE file of four, six or eight channels the channel mask of its layout, in place: the
// tool writes float samples of any channel count without the extensible header that carries it.
// Nothing happens to a file that has the mask already or is no WAVE file (other formats carry no
// layout). An empty text when the file is right now, else why it is not.
QString SetWaveChannelMask(const QString &path, int channels);
