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
    int Size() const { return static_cast<int>(m_slots.size()); }
    const std::string& Key(int slot) const { return m_slots[static_cast<size_t>(slot)].key; }

    // Start of a poll: keys not set by this driver leave the section now, the others at End
    // unless set again before.
    void Begin();
    // End of a poll: every key not set since Begin leaves the section (an empty section goes).
    void End();

    // The slot's line in the section (added when absent), marked as set in this poll.
    IniLine& Put(int slot);
    void SetInt(int slot, long long value);
    void SetText(int slot, std::string_view text);
    // The slot's line when its key is in the section, else null.
    const IniLine* Line(int slot);

private:
    using KeyMap = SimpleIni::KeyMap;
    struct Entry {
        std::string key;
        KeyMap::node_type spare;  // the node while the key is out of the section
        KeyMap::iterator it;      // valid while live
        const IniLine* line = nullptr;
        unsigned mark = 0;        // poll of the last Put
        bool live = false;
    };

    // Re-finds the live keys after a removal by others.
    void Sync();
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
    unsigned m_poll = 1;
    unsigned m_removals = 0;
    bool m_synced = false;
};

// Decimal text of v into out (at least 21 bytes); returns its length. As "%lld" writes it.
int DefIntText(char* out, long long v);

#endif
