#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// The registry values the programs keep, in a small key-value file $XDG_CONFIG_HOME/quorin/registry.ini
// (one section per root and key path, one line per value). The start-with-the-session value lives in
// the autostart layer instead (Autostart.h).
namespace Registry {

// Root handles as the programs name them.
enum Root : quint32 {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
};

// Value types.
enum Type { String = 1, Binary = 3, DWord = 4 };

QString filePath();

// QString for a string value, QByteArray for a binary one, quint32 for a number; an invalid QVariant when
// the value is missing or unreadable.
QVariant value(quint32 root, const QString &keyPath, const QString &valueName);

// Writes the value as the given type; other types write nothing. False when the file cannot be written.
bool setValue(quint32 root, const QString &keyPath, const QString &valueName, const QVariant &data, int type);

bool removeValue(quint32 root, const QString &keyPath, const QString &valueName);

} // namespace Registry
