#pragma once

#include <QString>
#include <QStringList>

namespace Sendora {

// What the command line asks of the program. The whole line is one text: each switch is found anywhere in
// it, case-sensitively, in any order; "-F" takes everything up to the next switch (a "-" after a blank) or
// the end, trimmed.
struct CommandLine
{
    bool InstallMode = true; // no "-N": the printer installer runs
    bool HiddenMode = false; // "-H": send without the send window
    QString XmlJobFile;      // the value of "-F"

    static CommandLine parse(const QString &text);
    // The program's arguments joined by blanks, as the one text the rules above read.
    static QString join(const QStringList &arguments);
};

} // namespace Sendora
