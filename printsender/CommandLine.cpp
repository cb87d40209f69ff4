#include "CommandLine.h"

using namespace Qt::StringLiterals;

namespace Sendora {

CommandLine CommandLine::parse(const QString &text)
{
    CommandLine line;
    line.InstallMode = !text.contains(u"-N"_s);
    const qsizetype p = text.indexOf(u"-F"_s);
    if (p >= 0) {
        // The value ends where the next switch starts: a "-" after a blank. A "-" inside a path
        // ("/home/u/my-jobs/fax.xml") belongs to the value.
        qsizetype q = p + 2;
        while (q < text.size() && !(text.at(q) == u'-' && q > p + 2 && text.at(q - 1).isSpace()))
            ++q;
        line.XmlJobFile = text.mid(p + 2, q - (p + 2)).trimmed();
    }
    line.HiddenMode = text.contains(u"-H"_s);
    return line;
}

QString CommandLine::join(const QStringList &arguments)
{
    return arguments.join(u' ');
}

} // namespace Sendora
