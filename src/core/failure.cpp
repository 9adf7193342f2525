// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/failure.h"

#include <cstring>

using namespace Qt::Literals::StringLiterals;

QString DescribeException(const std::exception &error)
{
    if (const auto *failure = dynamic_cast<const Failure *>(&error))
        return failure->description();
    return QString::fromLocal8Bit(error.what());
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString DescribeCurrentException()
{
    try {
        throw;
    } catch (const std::exception &error) {
        return DescribeException(error);
    } catch (...) {
        return u"Unknown failure"_s;
    }
}

QString ShortenedForMessage(const QString &value)
{
    if (value.size() <= MostQuotedCharacters)
        return value;
    qsizetype kept = MostQuotedCharacters - 1;
    // Never half a character that takes two code units.
    if (value.at(kept - 1).isHighSurrogate())
        --kept;
    return value.left(kept) + QChar(0x2026);
}
