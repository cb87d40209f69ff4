#pragma once

#include <QString>

// Start with the session: an XDG autostart entry $XDG_CONFIG_HOME/autostart/<name>.desktop.
// The entry counts as present when the file exists and its "Exec" is not empty.
namespace Autostart {

QString entryPath(const QString &name);

// The entry's Exec command; empty when the entry is missing, unreadable or has no Exec.
QString command(const QString &name);

// Writes the entry with the given command and icon name (none when empty); false when it cannot be written.
bool write(const QString &name, const QString &command, const QString &icon = {});

// Deletes the entry; true when no entry is left.
bool remove(const QString &name);

} // namespace Autostart
