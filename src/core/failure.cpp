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
