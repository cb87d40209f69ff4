#pragma once

#include <QString>

// Where the programs keep their files on Linux.
namespace AppPaths {

// Folder of the running executable: programs, "Covers", the restart and update programs.
QString programDir();

// $XDG_CONFIG_HOME/quorin (default ~/.config/quorin), created on first use: "Darezi.ini" and the logs.
QString settingsDir();

// Folder of the machine-wide default "Darezi.ini" that a first start copies: /etc/quorin,
// or $QUORIN_SYSCONF_DIR when set (tests).
QString machineConfigDir();

// Private per-user temporary folder, mode 0700: $XDG_RUNTIME_DIR/quorin, else $TMPDIR (or /tmp)/quorin-<uid>.
// Created on first use; a folder of that name owned by someone else or open to others is not used.
// Ends with "/". Empty when no private folder can be had.
QString tempDir();

// $XDG_DATA_HOME/quorin (default ~/.local/share/quorin), created on first use.
QString dataDir();

} // namespace AppPaths
