// SPDX-License-Identifier: GPL-3.0-or-later

// The smallest Qt Core program with a command line: the baseline of the command line's --help.

#include <QCommandLineParser>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.process(app);
    return 0;
}
