#include "FaxSending.h"

clsFaxSending *collFaxSending::Add(const QString &IdFax, const QString &NomiFiles)
{
    if (!IdFax.isEmpty() && item(IdFax))
        return nullptr;
    auto entry = std::make_shared<clsFaxSending>();
    entry->setIdFax(IdFax);
    entry->setStrFiles(NomiFiles);
    m_items.append(entry);
    return entry.get();
}

clsFaxSending *collFaxSending::item(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    for (const auto &entry : m_items) {
        if (entry->IdFax() == key)
            return entry.get();
    }
    return nullptr;
}

clsFaxSending *collFaxSending::item(qsizetype index) const
{
    if (index < 1 || index > m_items.size())
        return nullptr;
    return m_items.at(index - 1).get();
}

void collFaxSending::Remove(const QString &key)
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (!key.isEmpty() && m_items.at(i)->IdFax() == key) {
            m_items.removeAt(i);
            return;
        }
    }
}

void collFaxSending::Remove(qsizetype index)
{
    if (index >= 1 && index <= m_items.size())
        m_items.removeAt(index - 1);
}

bool collFaxSending::anyPending() const
{
    for (const auto &entry : m_items) {
        if (entry->Pending())
            return true;
    }
    return false;
}
