// DefVals: the current readings of a definition-driven driver, kept as one section of its
// SimpleIni store ([vals]) so that everything reading the store sees them as before, but set
// through slots planned at load instead of by key text.
//
// A slot is one value key. Its map node lives as long as the slot: while the key is out of
// the section the node is kept aside, so setting it again allocates nothing. A poll runs
// between Begin and End; a key not set since Begin leaves the section at End, so after a
// poll the section holds exactly the keys that poll set (in key order, as the map keeps them).
//
// Others may still change the section through the store (SetValue, DeleteKey, Free): the
// slots notice removals through SimpleIni::Removals and re-find their keys; keys set by
// others are removed at the next Begin like every reading of an earlier poll.
#ifndef QVSM_GENERIC_DEFVALS_H
#define QVSM_GENERIC_DEFVALS_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "generic/DefIni.h"

class DefVals {
public:
    DefVals(SimpleIni& ini, const char* section) : m_ini(ini), m_section(section) {}
    DefVals(const DefVals&) = delete;
    DefVals& operator=(const DefVals&) = delete;

    // Forgets every slot; keys of the section stay as they are.
    void Reset();
    // The slot of key, added when new (adding allocates; finding does not).
    int Slot(std::string_view key);
    // The slot of key, -1 when it has none.
    int Find(std::string_view key) const;

    // Start of a poll: keys not set by this driver leave the section now, the others at End
    // unless set again before.
    void Begin();
    // End of a poll: every key not set since Begin leaves the section (an empty section goes).
    void End();

    // The slot's line in the section (added when absent), marked as set in this poll.
    IniLine& Put(int slot)
    {
        Check();
        Entry& e = m_slots[static_cast<size_t>(slot)];
        Mark(e);
        if (e.live) return e.it->second;
        return Insert(e);
    }
    // The value as decimal text; an unchanged value is only marked.
    void SetInt(int slot, long long value)
    {
        Check();
        SetIntSeen(slot, value);
    }
    // Catches up with what others changed in the store; after it, and as long as nobody else
    // writes to the store, SetIntSeen does what SetInt does.
    void Look() { Check(); }
    void SetIntSeen(int slot, long long value)
    {
        Entry& e = m_slots[static_cast<size_t>(slot)];
        if (e.live && e.numOk && e.num == value) {
            Mark(e);
            return;
        }
        SetNum(e, value);
    }
    void SetText(int slot, std::string_view text);
    // The slot's line while the slot's node is in the section; null when the key left it, or
    // when the key's node was made by others (readers then look the key up by its text).
    const IniLine* Line(int slot)
    {
        Check();
        const Entry& e = m_slots[static_cast<size_t>(slot)];
        return e.live ? e.line : nullptr;
    }
    // The slot's value read as GetValue<int> reads it (-1 when it is no int) into out while
    // Line(slot) is not null; false (out unchanged) when it is.
    bool Get(int slot, int& out)
    {
        Check();
        const Entry& e = m_slots[static_cast<size_t>(slot)];
        if (!e.live) return false;
        out = e.intOk ? e.ival : TextInt(e.line->value, -1);
        return true;
    }
    // The slot's value when the store wrote it as a number within the int range; false (out
    // unchanged) for anything else, which the caller then reads from the key's text.
    bool GetInt(int slot, int& out)
    {
        Check();
        const Entry& e = m_slots[static_cast<size_t>(slot)];
        if (!e.live || !e.intOk) return false;
        out = e.ival;
        return true;
    }
    // A value text read as SimpleIni::GetValue<int> reads it.
    static int TextInt(const std::string& text, int def);

private:
    using KeyMap = SimpleIni::KeyMap;
    struct Entry {
        std::string key;
        KeyMap::node_type spare;  // the node while the key is out of the section
        KeyMap::iterator it;      // valid while live
        const IniLine* line = nullptr;
        long long num = 0;        // the value SetInt wrote, while numOk
        int ival = 0;             // num as an int, while intOk
        bool intOk = false;       // numOk and num within the int range
        unsigned mark = 0;        // poll of the last Put
        bool live = false;
        bool numOk = false;       // the line still holds the text of num
    };

    void Mark(Entry& e)
    {
        if (e.mark == m_poll) return;
        e.mark = m_poll;
        ++m_marked;
    }
    void Check()
    {
        if (m_changes != m_ini.m_changes) Sync();
    }
    // Re-finds the live keys after a removal by others; forgets the numbers after a write.
    void Sync();
    IniLine& Insert(Entry& e);
    void SetNum(Entry& e, long long value);
    KeyMap& Keys();
    void Drop(Entry& e);

    SimpleIni& m_ini;
    std::string m_section;
    std::vector<Entry> m_slots;
    std::map<std::string, int, std::less<>> m_index;
    SimpleIni::SectionMap::node_type m_secSpare;
    SimpleIni::SectionMap::iterator m_sec;
    bool m_secLive = false;
    int m_live = 0;
    int m_marked = 0;  // slots set since Begin (while they stay live)
    unsigned m_poll = 1;
    unsigned m_removals = 0;
    unsigned m_changes = ~0u;  // the store's Changes() when last seen (none yet)
    bool m_synced = false;
};

// Decimal text of v into out (at least 21 bytes); returns its length. As "%lld" writes it.
int DefIntText(char* out, long long v);

#endif
