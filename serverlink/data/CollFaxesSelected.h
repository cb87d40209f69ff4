#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Keys of the faxes selected in the host's list, in the order they were added.
class CollFaxesSelected
{
public:
    // False (nothing changes) when the key is already present.
    bool Add(const QString &sKey);
    // The key at a position (from 1); "" when there is none.
    QString Item(qsizetype position) const;
    QString Item(const QString &sKey) const { return ItemKey(sKey); }
    // The key stored under sKey; "" when absent.
    QString ItemKey(const QString &sKey) const;
    qsizetype Count() const { return m_keys.size(); }
    void RemoveKey(const QString &sKey);
    void RemoveAll();
    void Remove(qsizetype position);
    void Remove(const QString &sKey) { RemoveKey(sKey); }

    // "(" keys joined by ", " ")", or "" with no key selected.
    QString keyList() const;

    QStringList::const_iterator begin() const { return m_keys.cbegin(); }
    QStringList::const_iterator end() const { return m_keys.cend(); }

private:
    QStringList m_keys;
    QHash<QString, qsizetype> m_index; // folded key -> count of entries (0 or 1)
};
