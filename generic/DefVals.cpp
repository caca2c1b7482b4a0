#include "generic/DefVals.h"

#include <cstring>

#include "base/SqlText.h"

int DefIntText(char* out, long long v) { return SMIntText(out, v); }

int DefVals::TextInt(const std::string& text, int def)
{
    // The usual text: an optional minus and up to nine digits.
    size_t n = text.size(), i = (n && text[0] == '-') ? 1 : 0;
    if (n > i && n - i <= 9) {
        int v = 0;
        size_t k = i;
        for (; k < n && text[k] >= '0' && text[k] <= '9'; ++k) v = v * 10 + (text[k] - '0');
        if (k == n) return i ? -v : v;
    }
    long long v = 0;
    if (!SimpleIni::ParseLeadingInt(text, v) || v < -2147483647LL - 1 || v > 2147483647LL) return def;
    return static_cast<int>(v);
}

void DefVals::Reset()
{
    Sync();
    m_slots.clear();
    m_index.clear();
    m_live = 0;
    m_marked = 0;
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
    m_changes = m_ini.m_changes;
    for (Entry& e : m_slots) e.numOk = e.intOk = false;
    // The section may have been made by a write of someone else.
    auto s = m_ini.m_sections.find(m_section);
    m_secLive = s != m_ini.m_sections.end();
    if (m_secLive) m_sec = s;
    if (m_synced && m_removals == m_ini.m_removals) return;
    m_synced = true;
    m_removals = m_ini.m_removals;
    m_live = 0;
    m_marked = 0;
    for (Entry& e : m_slots) {
        e.numOk = e.intOk = false;
        if (!e.live) continue;
        e.live = false;
        if (!m_secLive) continue;
        auto k = s->second.find(e.key);
        // A node of the same key at the same place is the slot's own (or one that serves as well).
        if (k == s->second.end() || &k->second != e.line) continue;
        e.it = k;
        e.live = true;
        ++m_live;
        if (e.mark == m_poll) ++m_marked;
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
    if (e.mark == m_poll) --m_marked;
}

void DefVals::Begin()
{
    Check();
    ++m_poll;
    m_marked = 0;
    if (!m_secLive || m_sec->second.size() == static_cast<size_t>(m_live)) return;
    // Keys of others: keep this driver's nodes aside and let the rest go.
    for (Entry& e : m_slots)
        if (e.live) Drop(e);
    m_sec->second.clear();
}

void DefVals::End()
{
    Check();
    if (!m_secLive) return;
    if (m_marked != m_live)  // some reading of an earlier poll was not set again
        for (Entry& e : m_slots)
            if (e.live && e.mark != m_poll) Drop(e);
    if (!m_sec->second.empty()) return;
    if (m_secSpare.empty())
        m_secSpare = m_ini.m_sections.extract(m_sec);
    else
        m_ini.m_sections.erase(m_sec);
    m_secLive = false;
}

IniLine& DefVals::Insert(Entry& e)
{
    KeyMap& keys = Keys();
    if (!e.spare.empty())
        e.it = keys.insert(keys.end(), std::move(e.spare));  // an existing key keeps its node
    else
        e.it = keys.try_emplace(e.key).first;
    e.line = &e.it->second;
    e.live = true;
    e.numOk = e.intOk = false;
    ++m_live;
    return e.it->second;
}

void DefVals::SetNum(Entry& e, long long value)
{
    char text[24];
    size_t n = static_cast<size_t>(DefIntText(text, value));
    Mark(e);
    std::string& v = e.live ? e.it->second.value : Insert(e).value;
    if (v.size() == n)
        std::memcpy(&v[0], text, n);
    else
        v.assign(text, n);
    e.num = value;
    e.numOk = true;
    e.intOk = value >= -2147483647LL - 1 && value <= 2147483647LL;
    e.ival = static_cast<int>(value);
}

void DefVals::SetText(int slot, std::string_view text)
{
    Entry& e = m_slots[static_cast<size_t>(slot)];
    Put(slot).value.assign(text.data(), text.size());
    e.numOk = e.intOk = false;
}

