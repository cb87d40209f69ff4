#pragma once

#include <QList>
#include <QString>

// The running processes of the current user, read from /proc: on a shared machine (several seats, a
// terminal server) another user's programs never count as running here.
namespace Processes {

struct Entry
{
    qint64 pid = 0;
    QString comm;    // /proc/<pid>/comm: the short name, at most 15 characters
    QString exeName; // file name of /proc/<pid>/exe, empty when not readable (other users' processes)
};

// Every process of this user (by effective user id); empty when /proc cannot be read.
QList<Entry> list();

// True when a process of this user whose file name (or, when that cannot be read, its short name) begins
// with prefix, compared case-insensitively.
bool isRunning(const QString &prefix);

} // namespace Processes
