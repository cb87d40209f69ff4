#include "CollFaxesSelected.h"

using namespace Qt::StringLiterals;

bool CollFaxesSelected::Add(const QString &sKey)
{
    const QString folded = sKey.toCaseFolded();
    if (m_index.contains(folded))
        return false;
    m_index.insert(folded, 1);
    m_keys.append(sKey);
    return true;
}

QString CollFaxesSelected::Item(qsizetype position) const
{
    if (position < 1 || position > m_keys.size())
        return {};
    return m_keys.at(position - 1);
}

QString CollFaxesSelected::ItemKey(const QString &sKey) const
{
    const QString folded = sKey.toCaseFolded();
    if (!m_index.contains(folded))
        return {};
    for (const QString &k : m_keys) {
        if (k.toCaseFolded() == folded)
            return k;
    }
    return {};
}

void CollFaxesSelected::RemoveKey(const QString &sKey)
{
    const QString folded = sKey.toCaseFolded();
    if (!m_index.remove(folded))
        return;
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        if (m_keys.at(i).toCaseFolded() == folded) {
            m_keys.removeAt(i);
            return;
        }
    }
}

void CollFaxesSelected::RemoveAll()
{
    m_keys.clear();
    m_index.clear();
}

void CollFaxesSelected::Remove(qsizetype position)
{
    if (position < 1 || position > m_keys.size())
        return;
    m_index.remove(m_keys.at(position - 1).toCaseFolded());
    m_keys.removeAt(position - 1);
}

QString CollFaxesSelected::keyList() const
{
    if (m_keys.isEmpty())
        return {};
    return u'(' + m_keys.join(u", "_s) + u')';
}
