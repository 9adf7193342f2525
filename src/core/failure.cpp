#include "failure.h"

QString DescribeException(const std::exception &error)
{
    if (const auto *failure = dynamic_cast<const Failure *>(&error))
        return failure->description();
    return QString::fromLocal8Bit(error.what());
}
