#pragma once

#include <QString>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// A collection key compared without regard to case. It keeps its hash (taken without making a folded
// copy), so the texts of two keys are compared only when their hashes match.
struct FoldedKey
{
    FoldedKey() = default;
    explicit FoldedKey(QString key) : text(std::move(key)), hash(foldedHash(text)) {}
    // A key whose hash was taken already: asciiHash must be foldedHashAscii() of the key's ASCII bytes.
    FoldedKey(QString key, size_t asciiHash) : text(std::move(key)), hash(asciiHash) {}
    QString text;
    size_t hash = foldedHash({});

    static size_t foldedHash(QStringView text) noexcept
    {
        size_t h = 1469598103934665603ull;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            h ^= u < 0x80 ? ((u >= u'A' && u <= u'Z') ? char16_t(u + 32) : u) : c.toCaseFolded().unicode();
            h *= 1099511628211ull;
        }
        return h;
    }
    // The same hash, of ASCII bytes.
    static size_t foldedHashAscii(QByteArrayView bytes) noexcept
    {
        size_t h = 1469598103934665603ull;
        for (const char c : bytes) {
            h ^= (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : char16_t(c);
            h *= 1099511628211ull;
        }
        return h;
    }
    friend bool operator==(const FoldedKey &a, const FoldedKey &b) noexcept
    {
        return a.hash == b.hash && a.text.compare(b.text, Qt::CaseInsensitive) == 0;
    }
};

// Large slabs for collections of many items, mapped with their pages in one call instead of a page
// fault for each page.
namespace CollectionSlabs {
inline constexpr size_t LargeBytes = size_t(2) << 20;
std::byte *map();
struct Unmap
{
    void operator()(std::byte *slab) const noexcept;
};
} // namespace CollectionSlabs

// Deletes an item made on the heap; only destroys one built in a collection's slab (the slab goes with
// the collection).
template <typename T> struct ItemDeleter
{
    bool inSlab = false;
    ItemDeleter() = default;
    template <typename U>
        requires std::is_convertible_v<U *, T *>
    ItemDeleter(std::default_delete<U>) noexcept
    {
    }
    void operator()(T *item) const noexcept
    {
        if (inSlab)
            item->~T();
        else
            delete item;
    }
};

// Ordered collection owning its items, positions counted from 1, optional text keys.
// Keys compare without regard to case, as the collections the hosts were written against do.
// Items keep their address for as long as they stay in the collection. Items made by make() lie
// together in slabs the collection owns (one allocation for many items); a pointer to an item is good
// only while the collection holds it, wherever the item was made.
template <typename T> class Collection
{
public:
    using Owned = std::unique_ptr<T, ItemDeleter<T>>;

private:
    struct Entry
    {
        FoldedKey key; // empty text when the item has no key
        Owned item;
    };

public:
    Collection() = default;
    Collection(const Collection &) = delete;
    Collection &operator=(const Collection &) = delete;
    Collection(Collection &&other) noexcept
        : m_slabs(std::move(other.m_slabs)), m_largeSlabs(std::move(other.m_largeSlabs)),
          m_slabRoom(other.m_slabRoom), m_slabItems(other.m_slabItems), m_slabFree(std::exchange(other.m_slabFree, 0)),
          m_mapLarge(other.m_mapLarge),
          m_entries(std::move(other.m_entries)), m_slots(std::move(other.m_slots)),
          m_keyed(std::exchange(other.m_keyed, 0)), m_settled(std::exchange(other.m_settled, 0))
    {
    }
    Collection &operator=(Collection &&other) noexcept
    {
        if (this != &other) {
            // The items first: some live in the slabs about to go.
            clear();
            m_slabs = std::move(other.m_slabs);
            m_largeSlabs = std::move(other.m_largeSlabs);
            m_slabRoom = other.m_slabRoom;
            m_slabItems = other.m_slabItems;
            m_slabFree = std::exchange(other.m_slabFree, 0);
            m_mapLarge = other.m_mapLarge;
            m_entries = std::move(other.m_entries);
            m_slots = std::move(other.m_slots);
            m_keyed = std::exchange(other.m_keyed, 0);
            m_settled = std::exchange(other.m_settled, 0);
        }
        return *this;
    }
    ~Collection() { clear(); }

    // A blank item in the collection's slabs, not yet in the collection: Add it, or drop it (its room
    // stays unused until the collection goes). It must not outlive the collection.
    Owned make()
    {
        if (m_slabFree == 0) {
            if (m_mapLarge) {
                m_largeSlabs.emplace_back(CollectionSlabs::map());
                m_slabRoom = m_largeSlabs.back().get();
                m_slabItems = LargeItems;
            } else {
                m_slabs.push_back(std::make_unique_for_overwrite<Slab>());
                m_slabRoom = m_slabs.back()->bytes;
                m_slabItems = SlabItems;
            }
            m_slabFree = m_slabItems;
        }
        std::byte *room = m_slabRoom + sizeof(T) * (m_slabItems - m_slabFree);
        // The items a few places on are written soon: their lines are asked for now.
        if (m_slabFree > PrefetchAhead) {
            for (size_t line = 0; line < sizeof(T); line += 64)
                __builtin_prefetch(room + PrefetchAhead * sizeof(T) + line, 1);
        }
        ItemDeleter<T> inSlab;
        inSlab.inSlab = true;
        Owned item(new (room) T(), inSlab);
        --m_slabFree;
        return item;
    }

    // Appends item under key (none when empty). Refused (false, collection unchanged, item dropped)
    // when the key is already present or item is null.
    bool Add(Owned item, const QString &key = {})
    {
        if (!item)
            return false;
        FoldedKey folded(key);
        if (!key.isEmpty()) {
            if (m_slots.empty() || size_t(m_keyed + 1) * 2 > m_slots.size())
                rehash(std::max<size_t>(16, m_slots.size() * 2));
            bool found = false;
            const size_t at = probe(folded, found);
            if (found)
                return false;
            m_slots[at] = Slot{tagOf(folded.hash), quint32(m_entries.size() + 1)};
            ++m_keyed;
        }
        m_entries.push_back(Entry{std::move(folded), std::move(item)});
        m_settled = m_entries.size();
        return true;
    }

    // For a loader of many items: appends item under key without looking the key up. Until
    // settleKeys() the collection must not be used otherwise.
    void appendUnsettled(Owned item, const QString &key)
    {
        if (item)
            m_entries.push_back(Entry{FoldedKey(key), std::move(item)});
    }
    // The same with the key made already. Nothing is taken from item and key when room cannot be had.
    void appendUnsettled(Owned &&item, FoldedKey &&key)
    {
        if (!item)
            return;
        if (m_entries.size() == m_entries.capacity())
            m_entries.reserve(std::max<size_t>(16, m_entries.capacity() * 2));
        m_entries.emplace_back(Entry{std::move(key), std::move(item)});
    }
    // Looks up the keys appended since, in order, as Add would have: an item whose key is already
    // present is dropped. The lookups go in a row, so their waits on memory overlap.
    void settleKeys()
    {
        if (m_settled == m_entries.size())
            return;
        size_t slots = std::max<size_t>(16, m_slots.size());
        while (slots < m_entries.size() * 2)
            slots *= 2;
        if (slots != m_slots.size())
            rehash(slots);
        constexpr size_t Ahead = 8;
        size_t kept = m_settled;
        for (size_t e = m_settled; e < m_entries.size(); ++e) {
            if (e + Ahead < m_entries.size())
                __builtin_prefetch(&m_slots[homeOf(m_entries[e + Ahead].key.hash)]);
            Entry &entry = m_entries[e];
            if (!entry.key.text.isEmpty()) {
                bool found = false;
                const size_t at = probe(entry.key, found);
                if (found) {
                    entry.item.reset();
                    continue;
                }
                m_slots[at] = Slot{tagOf(entry.key.hash), quint32(kept + 1)};
                ++m_keyed;
            }
            if (kept != e)
                m_entries[kept] = std::move(entry);
            ++kept;
        }
        m_entries.erase(m_entries.begin() + qsizetype(kept), m_entries.end());
        m_settled = m_entries.size();
    }

    // The item at a position (1..Count) or under a key; nullptr when there is none.
    T *Item(qsizetype position) const
    {
        if (position < 1 || position > qsizetype(m_entries.size()))
            return nullptr;
        return m_entries[size_t(position - 1)].item.get();
    }
    T *Item(const QString &key) const
    {
        const qsizetype at = indexOf(key);
        return at < 0 ? nullptr : m_entries[size_t(at)].item.get();
    }
    bool contains(const QString &key) const { return indexOf(key) >= 0; }

    // Room for n items (a hint; never required).
    void reserve(qsizetype n)
    {
        m_entries.reserve(size_t(n));
        size_t slots = 16;
        while (slots < size_t(std::max<qsizetype>(n, 0)) * 2)
            slots *= 2;
        if (slots > m_slots.size())
            rehash(slots);
        m_mapLarge = size_t(std::max<qsizetype>(n, 0)) >= 4 * LargeItems;
    }

    qsizetype Count() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }

    // A missing position or key is ignored; returns whether something was removed.
    bool Remove(qsizetype position)
    {
        if (position < 1 || position > qsizetype(m_entries.size()))
            return false;
        erase(size_t(position - 1));
        return true;
    }
    bool Remove(const QString &key)
    {
        const qsizetype at = indexOf(key);
        if (at < 0)
            return false;
        erase(size_t(at));
        return true;
    }
    // Removes, in one pass, every item the predicate (taking the item) names; returns how many went.
    template <typename Pred> qsizetype removeIf(Pred pred)
    {
        const auto kept = std::stable_partition(m_entries.begin(), m_entries.end(),
                                                [&pred](const Entry &e) { return !pred(*e.item); });
        const qsizetype gone = qsizetype(m_entries.end() - kept);
        if (gone > 0) {
            m_entries.erase(kept, m_entries.end());
            m_settled = m_entries.size();
            rehash(m_slots.size());
        }
        return gone;
    }
    void clear()
    {
        m_entries.clear();
        m_slots.clear();
        m_keyed = 0;
        m_settled = 0;
        m_slabs.clear();
        m_largeSlabs.clear();
        m_slabFree = 0;
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
    // Room for items made together; about 64 KiB, below the size the allocator maps on its own.
    static constexpr size_t SlabItems = sizeof(T) >= 65536 ? 1 : 65536 / sizeof(T);
    struct Slab
    {
        alignas(T) std::byte bytes[sizeof(T) * SlabItems];
    };
    static constexpr size_t PrefetchAhead = 4;
    static constexpr size_t LargeItems = std::max<size_t>(1, CollectionSlabs::LargeBytes / sizeof(T));
    static_assert(sizeof(T) <= CollectionSlabs::LargeBytes && alignof(T) <= 4096);
    std::vector<std::unique_ptr<Slab>> m_slabs;
    std::vector<std::unique_ptr<std::byte, CollectionSlabs::Unmap>> m_largeSlabs;
    std::byte *m_slabRoom = nullptr; // the slab being filled
    size_t m_slabItems = 0;          // its room
    size_t m_slabFree = 0;           // items it still has room for
    bool m_mapLarge = false;         // room for many items was asked
    std::vector<Entry> m_entries;

    // The keys: open addressing with linear probing over 8-byte slots (32 bits of the key's hash, the
    // entry's position + 1; 0 when free), at most half full. A probe reads another key's text only
    // when those 32 bits and then its whole hash match.
    struct Slot
    {
        quint32 tag = 0;
        quint32 entry = 0;
    };
    std::vector<Slot> m_slots; // empty or a power of two
    qsizetype m_keyed = 0;
    size_t m_settled = 0; // entries whose keys are in the table (appendUnsettled() adds others)

    static size_t mixed(size_t h) noexcept
    {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        return h;
    }
    static quint32 tagOf(size_t hash) noexcept { return quint32(mixed(hash) >> 32); }
    size_t homeOf(size_t hash) const noexcept { return mixed(hash) & (m_slots.size() - 1); }

    // The slot of the entry under key, or the free slot where it would go. The table is not empty.
    size_t probe(const FoldedKey &key, bool &found) const
    {
        const size_t mask = m_slots.size() - 1;
        const quint32 tag = tagOf(key.hash);
        for (size_t i = homeOf(key.hash);; i = (i + 1) & mask) {
            const Slot &slot = m_slots[i];
            if (slot.entry == 0) {
                found = false;
                return i;
            }
            if (slot.tag == tag && m_entries[slot.entry - 1].key == key) {
                found = true;
                return i;
            }
        }
    }
    qsizetype indexOf(const QString &key) const
    {
        if (key.isEmpty() || m_keyed == 0)
            return -1;
        bool found = false;
        const size_t at = probe(FoldedKey(key), found);
        return found ? qsizetype(m_slots[at].entry) - 1 : -1;
    }
    // A table of the given size (a power of two) over the keyed entries.
    void rehash(size_t slots)
    {
        m_slots.assign(slots, Slot{});
        m_keyed = 0;
        const size_t mask = slots - 1;
        for (size_t e = 0; e < m_settled; ++e) {
            const FoldedKey &key = m_entries[e].key;
            if (key.text.isEmpty())
                continue;
            size_t i = homeOf(key.hash);
            while (m_slots[i].entry != 0)
                i = (i + 1) & mask;
            m_slots[i] = Slot{tagOf(key.hash), quint32(e + 1)};
            ++m_keyed;
        }
    }
    // Removes the entry at index, its key and the gap it leaves in the positions.
    void erase(size_t index)
    {
        const FoldedKey &key = m_entries[index].key;
        if (!key.text.isEmpty()) {
            bool found = false;
            size_t hole = probe(key, found);
            // Later slots of the same run move back into the hole (no markers left behind).
            const size_t mask = m_slots.size() - 1;
            for (size_t j = (hole + 1) & mask; m_slots[j].entry != 0; j = (j + 1) & mask) {
                const size_t home = homeOf(m_entries[m_slots[j].entry - 1].key.hash);
                if (((j - home) & mask) >= ((j - hole) & mask)) {
                    m_slots[hole] = m_slots[j];
                    hole = j;
                }
            }
            m_slots[hole] = Slot{};
            --m_keyed;
        }
        m_entries.erase(m_entries.begin() + qsizetype(index));
        m_settled = m_entries.size();
        for (Slot &slot : m_slots) {
            if (slot.entry > index + 1)
                --slot.entry;
        }
    }
};
