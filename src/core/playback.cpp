#include "playback.h"

bool PlayWaveFile(const QString &, bool)
{
    return false;
}
