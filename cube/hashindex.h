#pragma once

#include <QtGlobal>
#include <cstring>
#include <string_view>
#include <vector>

namespace tessal::cube {

inline quint64 mixHash(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// Gives each distinct 64-bit key a dense id in order of first appearance. Open addressing with
// linear probing: the grouping passes call it once per row, so it must not allocate per call.
class KeyIndex
{
public:
    static constexpr quint32 Empty = 0xffffffffu;

    explicit KeyIndex(size_t expected = 16) { rehash(capacityFor(expected)); }

    quint32 insert(quint64 key)
    {
        size_t slot = mixHash(key) & m_mask;
        while (true) {
            const quint32 id = m_slotIds[slot];
            if (id == Empty)
                break;
            if (m_keys[id] == key)
                return id;
            slot = (slot + 1) & m_mask;
        }
        const auto id = static_cast<quint32>(m_keys.size());
        m_keys.push_back(key);
        m_slotIds[slot] = id;
        if (m_keys.size() * 2 > m_slotIds.size())
            rehash(m_slotIds.size() * 2);
        return id;
    }

    quint32 find(quint64 key) const
    {
        size_t slot = mixHash(key) & m_mask;
        while (true) {
            const quint32 id = m_slotIds[slot];
            if (id == Empty || m_keys[id] == key)
                return id;
            slot = (slot + 1) & m_mask;
        }
    }

    size_t size() const { return m_keys.size(); }
    const std::vector<quint64> &keys() const { return m_keys; }

private:
    static size_t capacityFor(size_t expected)
    {
        size_t c = 16;
        while (c < expected * 2)
            c *= 2;
        return c;
    }
    void rehash(size_t capacity)
    {
        m_slotIds.assign(capacity, Empty);
        m_mask = capacity - 1;
        for (quint32 id = 0; id < m_keys.size(); ++id) {
            size_t slot = mixHash(m_keys[id]) & m_mask;
            while (m_slotIds[slot] != Empty)
                slot = (slot + 1) & m_mask;
            m_slotIds[slot] = id;
        }
    }

    std::vector<quint32> m_slotIds;
    std::vector<quint64> m_keys;
    size_t m_mask = 0;
};

// The same for byte strings, kept in one arena so that interning a value read from the database
// costs no allocation. Each slot carries part of its string's hash, so a probe past other
// strings rarely touches their bytes: with hundreds of thousands of remarks the table is far
// larger than the cache.
class StringIndex
{
public:
    static constexpr quint32 Empty = 0xffffffffu;

    StringIndex() { m_slots.assign(1024, Slot{Empty, 0}); }

    quint32 insert(std::string_view s)
    {
        const quint64 h = hashOf(s);
        const auto tag = static_cast<quint32>(h >> 32);
        size_t slot = h & (m_slots.size() - 1);
        while (true) {
            const Slot &sl = m_slots[slot];
            if (sl.id == Empty)
                break;
            if (sl.tag == tag && view(sl.id) == s)
                return sl.id;
            slot = (slot + 1) & (m_slots.size() - 1);
        }
        const auto id = static_cast<quint32>(m_starts.size());
        m_starts.push_back(m_arena.size());
        m_lengths.push_back(static_cast<quint32>(s.size()));
        m_hashes.push_back(h);
        m_arena.insert(m_arena.end(), s.begin(), s.end());
        m_slots[slot] = Slot{id, tag};
        if (m_starts.size() * 2 > m_slots.size())
            rehash(m_slots.size() * 2);
        return id;
    }

    size_t size() const { return m_starts.size(); }
    std::string_view view(quint32 id) const
    {
        return {m_arena.data() + m_starts[id], m_lengths[id]};
    }

private:
    struct Slot
    {
        quint32 id;
        quint32 tag;
    };
    static quint64 hashOf(std::string_view s)
    {
        quint64 h = 0xcbf29ce484222325ULL ^ s.size();
        size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            quint64 w;
            std::memcpy(&w, s.data() + i, 8);
            h = mixHash(h ^ w);
        }
        quint64 tail = 0;
        std::memcpy(&tail, s.data() + i, s.size() - i);
        return mixHash(h ^ tail);
    }
    void rehash(size_t capacity)
    {
        m_slots.assign(capacity, Slot{Empty, 0});
        for (quint32 id = 0; id < m_starts.size(); ++id) {
            size_t slot = m_hashes[id] & (capacity - 1);
            while (m_slots[slot].id != Empty)
                slot = (slot + 1) & (capacity - 1);
            m_slots[slot] = Slot{id, static_cast<quint32>(m_hashes[id] >> 32)};
        }
    }

    std::vector<char> m_arena;
    std::vector<size_t> m_starts;
    std::vector<quint32> m_lengths;
    std::vector<quint64> m_hashes;
    std::vector<Slot> m_slots;
};

} // namespace tessal::cube
