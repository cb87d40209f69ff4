#include "ProgramStarter.h"

#include "AppPaths.h"

#include <QFileInfo>
#include <QProcess>

namespace ProgramStarter {

QString programPath(const QString &name)
{
    QString file = QFileInfo(name).fileName();
    if (file.endsWith(u".exe", Qt::CaseInsensitive))
        file.chop(4);
    return AppPaths::programDir() + u'/' + file;
}

Result start(const QString &name, const QStringList &arguments)
{
    const QString path = programPath(name);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return Result::NotFound;
    return QProcess::startDetached(path, arguments, AppPaths::programDir()) ? Result::Started
                                                                            : Result::Failed;
}

} // namespace ProgramStarter
