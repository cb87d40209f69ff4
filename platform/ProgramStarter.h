#pragma once

#include <QString>
#include <QStringList>

// Starts the outside programs that ship in the program folder. Names may carry the Windows ".exe",
// which is dropped: "QVDozeza.exe" starts the program folder's "QVDozeza".
namespace ProgramStarter {

enum class Result { Started, NotFound, Failed };

// Path of the program in the program folder, without ".exe".
QString programPath(const QString &name);

// Starts it detached with its own arguments; NotFound when the file is missing or not executable.
Result start(const QString &name, const QStringList &arguments = {});

} // namespace ProgramStarter
