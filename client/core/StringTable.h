#pragma once

#include <QHash>
#include <QString>

// The program's texts by numeric id: menus and captions 1000 to 1180, messages 2000 to 2094.
// Ids without a text are absent; a lookup of an absent id gives an empty text and never shows anything.
namespace StringTable {

bool contains(int id);
// The text of id; fallback when absent.
QString text(int id, const QString &fallback = {});

// Adds or replaces texts for this program (the print-to-fax sender and the tray launcher carry a few
// texts of their own).
void addStrings(const QHash<int, QString> &strings);

} // namespace StringTable

// The text of id, empty when the table lacks it.
QString LoadResString(int id);
