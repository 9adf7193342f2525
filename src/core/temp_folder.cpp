#include "temp_folder.h"

#include <QtGlobal>

using namespace Qt::Literals::StringLiterals;

QString TempFolder()
{
    for (const char *variable : {"TEMP", "TMPDIR"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return u"/tmp"_s;
}
