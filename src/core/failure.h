// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <stdexcept>

// A run-time failure with a description for the person using the program. Everything that
// can fail inside a command throws one of these (or another std::exception); the guarded
// window procedures turn it into the error report and go on with their next step.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &description) : std::runtime_error(description.toStdString()) {}

    QString description() const { return QString::fromUtf8(what()); }
};

// The description of any exception, for the error report.
QString DescribeException(const std::exception &error);

// The system's own text for an error number (errno).
QString SystemError(int error);

// The description of the exception being handled; only valid inside a catch block.
QString DescribeCurrentException();

// The most characters of a stored or typed value that a message quotes: a value that someone or
// something made huge must not fill the screen.
inline constexpr qsizetype MostQuotedCharacters = 200;

// The value as a message quotes it: whole when short, else its beginning and "…", within
// MostQuotedCharacters.
QString ShortenedForMessage(const QString &value);
