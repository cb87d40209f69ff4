#pragma once

#include <QList>
#include <QString>

// The running processes, read from /proc.
namespace Processes {

struct Entry
{
    qint64 pid = 0;
    QString comm;    // /proc/<pid>/comm: the short name, at most 15 characters
    QString exeName; // file name of /proc/<pid>/exe, empty when not readable (other users' processes)
};

// Every process that can be seen; empty when /proc cannot be read.
QList<Entry> list();

// True when a process's file name (or, when that cannot be read, its short name) begins with prefix,
// compared case-insensitively.
bool isRunning(const QString &prefix);

} // namespace Processes
