#pragma once

#include <QHash>
#include <QString>

#include <algorithm>
#include <memory>
#include <vector>

// A collection key compared without regard to case, hashed without making a folded copy.
struct FoldedKey
{
    QString text;
    friend bool operator==(const FoldedKey &a, const FoldedKey &b) noexcept
    {
        return a.text.compare(b.text, Qt::CaseInsensitive) == 0;
    }
    friend size_t qHash(const FoldedKey &key, size_t seed = 0) noexcept
    {
        size_t h = 1469598103934665603ull ^ seed;
        for (const QChar c : key.text) {
            const char16_t u = c.unicode();
            h ^= u < 0x80 ? ((u >= u'A' && u <= u'Z') ? char16_t(u + 32) : u) : c.toCaseFolded().unicode();
            h *= 1099511628211ull;
        }
        return h;
    }
};

// Ordered collection owning its items, positions counted from 1, optional text keys.
// Keys compare without regard to case, as the collections the hosts were written against do.
// Items keep their address for as long as they stay in the collection.
template <typename T> class Collection
{
    struct Entry
    {
        QString key; // empty when the item has no key
        std::unique_ptr<T> item;
    };

public:
    Collection() = default;
    Collection(const Collection &) = delete;
    Collection &operator=(const Collection &) = delete;
    Collection(Collection &&) noexcept = default;
    Collection &operator=(Collection &&) noexcept = default;

    // Appends item under key (none when empty). Refused (false, collection unchanged, item dropped)
    // when the key is already present or item is null.
    bool Add(std::unique_ptr<T> item, const QString &key = {})
    {
        if (!item)
            return false;
        if (!key.isEmpty()) {
            const qsizetype before = m_keys.size();
            T *&slot = m_keys[FoldedKey{key}];
            if (m_keys.size() == before)
                return false;
            slot = item.get();
        }
        m_entries.push_back(Entry{key, std::move(item)});
        return true;
    }

    // The item at a position (1..Count) or under a key; nullptr when there is none.
    T *Item(qsizetype position) const
    {
        if (position < 1 || position > qsizetype(m_entries.size()))
            return nullptr;
        return m_entries[size_t(position - 1)].item.get();
    }
    T *Item(const QString &key) const { return m_keys.value(FoldedKey{key}, nullptr); }
    bool contains(const QString &key) const { return m_keys.contains(FoldedKey{key}); }

    // Room for n items (a hint; never required).
    void reserve(qsizetype n)
    {
        m_entries.reserve(size_t(n));
        m_keys.reserve(n);
    }

    qsizetype Count() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }

    // A missing position or key is ignored; returns whether something was removed.
    bool Remove(qsizetype position)
    {
        if (position < 1 || position > qsizetype(m_entries.size()))
            return false;
        const auto it = m_entries.begin() + (position - 1);
        if (!it->key.isEmpty())
            m_keys.remove(FoldedKey{it->key});
        m_entries.erase(it);
        return true;
    }
    bool Remove(const QString &key)
    {
        T *item = Item(key);
        if (!item)
            return false;
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->item.get() == item) {
                m_keys.remove(FoldedKey{it->key});
                m_entries.erase(it);
                return true;
            }
        }
        return false;
    }
    // Removes, in one pass, every item the predicate (taking the item) names; returns how many went.
    template <typename Pred> qsizetype removeIf(Pred pred)
    {
        const auto kept = std::stable_partition(m_entries.begin(), m_entries.end(),
                                                [&pred](const Entry &e) { return !pred(*e.item); });
        const qsizetype gone = qsizetype(m_entries.end() - kept);
        for (auto it = kept; it != m_entries.end(); ++it) {
            if (!it->key.isEmpty())
                m_keys.remove(FoldedKey{it->key});
        }
        m_entries.erase(kept, m_entries.end());
        return gone;
    }
    void clear()
    {
        m_entries.clear();
        m_keys.clear();
    }

    // Range-for over the items, in order.
    template <typename E, typename V> class basic_iterator
    {
    public:
        using difference_type = std::ptrdiff_t;
        using value_type = V;
        basic_iterator() = default;
        explicit basic_iterator(E it) : m_it(it) {}
        V &operator*() const { return *m_it->item; }
        V *operator->() const { return m_it->item.get(); }
        basic_iterator &operator++()
        {
            ++m_it;
            return *this;
        }
        basic_iterator operator++(int)
        {
            auto old = *this;
            ++m_it;
            return old;
        }
        bool operator==(const basic_iterator &other) const = default;

    private:
        E m_it{};
    };
    using iterator = basic_iterator<typename std::vector<Entry>::iterator, T>;
    using const_iterator = basic_iterator<typename std::vector<Entry>::const_iterator, const T>;

    iterator begin() { return iterator(m_entries.begin()); }
    iterator end() { return iterator(m_entries.end()); }
    const_iterator begin() const { return const_iterator(m_entries.cbegin()); }
    const_iterator end() const { return const_iterator(m_entries.cend()); }

private:
    std::vector<Entry> m_entries;
    QHash<FoldedKey, T *> m_keys;
};
