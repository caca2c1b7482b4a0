#include "generic/DefVals.h"

int DefIntText(char* out, long long v)
{
    char tmp[24];
    char* e = tmp + sizeof tmp;
    char* p = e;
    unsigned long long u = v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
        *--p = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0) *--p = '-';
    int n = static_cast<int>(e - p);
    for (int i = 0; i < n; ++i) out[i] = p[i];
    out[n] = 0;
    return n;
}

void DefVals::Reset()
{
    Sync();
    m_slots.clear();
    m_index.clear();
    m_live = 0;
}

int DefVals::Slot(std::string_view key)
{
    auto it = m_index.find(key);
    if (it != m_index.end()) return it->second;
    int n = static_cast<int>(m_slots.size());
    m_slots.emplace_back();
    m_slots.back().key.assign(key.data(), key.size());
    m_index.emplace(std::string(key), n);
    return n;
}

int DefVals::Find(std::string_view key) const
{
    auto it = m_index.find(key);
    return it == m_index.end() ? -1 : it->second;
}

void DefVals::Sync()
{
    if (m_synced && m_removals == m_ini.m_removals) return;
    m_synced = true;
    m_removals = m_ini.m_removals;
    auto s = m_ini.m_sections.find(m_section);
    m_secLive = s != m_ini.m_sections.end();
    if (m_secLive) m_sec = s;
    m_live = 0;
    for (Entry& e : m_slots) {
        if (!e.live) continue;
        e.live = false;
        if (!m_secLive) continue;
        auto k = s->second.find(e.key);
        // A node of the same key at the same place is the slot's own (or one that serves as well).
        if (k == s->second.end() || &k->second != e.line) continue;
        e.it = k;
        e.live = true;
        ++m_live;
    }
}

SimpleIni::KeyMap& DefVals::Keys()
{
    if (!m_secLive) {
        auto& secs = m_ini.m_sections;
        auto s = secs.find(m_section);
        if (s == secs.end()) {
            if (!m_secSpare.empty())
                s = secs.insert(std::move(m_secSpare)).position;
            else
                s = secs.try_emplace(m_section).first;
        }
        m_sec = s;
        m_secLive = true;
    }
    return m_sec->second;
}

void DefVals::Drop(Entry& e)
{
    e.spare = m_sec->second.extract(e.it);
    e.live = false;
    --m_live;
}

void DefVals::Begin()
{
    Sync();
    ++m_poll;
    if (!m_secLive || m_sec->second.size() == static_cast<size_t>(m_live)) return;
    // Keys of others: keep this driver's nodes aside and let the rest go.
    for (Entry& e : m_slots)
        if (e.live) Drop(e);
    m_sec->second.clear();
}

void DefVals::End()
{
    Sync();
    if (!m_secLive) return;
    for (Entry& e : m_slots)
        if (e.live && e.mark != m_poll) Drop(e);
    if (!m_sec->second.empty()) return;
    if (m_secSpare.empty())
        m_secSpare = m_ini.m_sections.extract(m_sec);
    else
        m_ini.m_sections.erase(m_sec);
    m_secLive = false;
}

IniLine& DefVals::Put(int slot)
{
    Sync();
    Entry& e = m_slots[static_cast<size_t>(slot)];
    e.mark = m_poll;
    if (e.live) return e.it->second;
    KeyMap& keys = Keys();
    if (!e.spare.empty())
        e.it = keys.insert(keys.end(), std::move(e.spare));  // an existing key keeps its node
    else
        e.it = keys.try_emplace(e.key).first;
    e.line = &e.it->second;
    e.live = true;
    ++m_live;
    return e.it->second;
}

void DefVals::SetInt(int slot, long long value)
{
    char text[24];
    int n = DefIntText(text, value);
    Put(slot).value.assign(text, static_cast<size_t>(n));
}

void DefVals::SetText(int slot, std::string_view text) { Put(slot).value.assign(text.data(), text.size()); }

const IniLine* DefVals::Line(int slot)
{
    Sync();
    const Entry& e = m_slots[static_cast<size_t>(slot)];
    return e.live ? e.line : nullptr;
}
