// SimpleIni: the reader of the generic drivers' definition files ("/NandFlash/SM/SM%04d.def"),
// and the store the drivers keep their current values in.
//
// The file is line-oriented INI text, GBK bytes passed through unchanged:
//   [section]           header; only when "[" is the first character of the line
//   key = value ; note  key line; ";" and "#" always start a comment, so values hold neither
//   ; text / # text     whole-line comment, kept as the description of the next key/section
// Names compare bytewise (case-sensitive): keys of a section iterate "1", "10", "2", ...
// A later duplicate key replaces the earlier one; a repeated header merges the sections.
// Key lines before the first header belong to the section "".
//
// Sections the drivers fill at run time (never read from a file):
//   [vals]      value key -> current value as decimal text (emptied at the start of a poll)
//   [flds.val]  point name -> point index, and point index -> divisor when it is not "1"
#ifndef QVSM_GENERIC_DEFINI_H
#define QVSM_GENERIC_DEFINI_H

#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>

// Section names used by the generic drivers.
#define SEC_COMM "comm"
#define SEC_FLDS "flds"
#define SEC_FLDSDEF "flds.def"
#define SEC_FLDSVAL "flds.val"
#define SEC_VALS "vals"
#define SEC_VALSSTR "vals.str"
#define SEC_VALSEXT "vals.ext"
#define SEC_OIDS "oids"

// One key line: the trimmed value and the untrimmed text after an inline comment character.
struct IniLine {
    std::string value;
    std::string comment;
    int line = 0;  // line number in the file (from 1) of the line that set it; 0 when set at run time
};

class SimpleIni {
public:
    using KeyMap = std::map<std::string, IniLine, std::less<>>;
    using SectionMap = std::map<std::string, KeyMap, std::less<>>;
    using DescMap = std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>>;
    // *it is the map entry: it->first the name, it->second the keys (sections) or the line (keys).
    using SectionIterator = SectionMap::const_iterator;
    using KeyIterator = KeyMap::const_iterator;

    // Empty store; with a path, loads it and throws std::runtime_error
    // ("Unable to open the file <path> in read mode.") when that fails.
    explicit SimpleIni(const std::string& path = "");

    // Free, remember the path, parse the file. false when it cannot be opened.
    // The path is used as given (callers pass it through SMPath).
    bool Load(const std::string& path);
    // Free and parse text as if it were a file's content (path becomes "").
    void LoadString(std::string_view text);
    // Removes all sections and keys; descriptions stay.
    void Free();
    const std::string& FileName() const { return m_file; }

    // The key's line, or null when the section or the key is absent.
    const IniLine* Find(std::string_view section, std::string_view key) const;
    bool HasKey(std::string_view section, std::string_view key) const { return Find(section, key) != nullptr; }
    bool HasSection(std::string_view section) const { return m_sections.find(section) != m_sections.end(); }

    // The value, or def when the section or the key is absent (a present empty value gives "").
    std::string GetValue(std::string_view section, std::string_view key, std::string_view def = "") const;
    std::string GetValue(std::string_view section, std::string_view key, const char* def) const
    {
        return GetValue(section, key, std::string_view(def ? def : ""));
    }
    std::string GetValue(std::string_view section, std::string_view key, const std::string& def) const
    {
        return GetValue(section, key, std::string_view(def));
    }
    // GetValue<int>(sec, key, def): def when absent; otherwise the leading decimal number of the
    // value (optional sign, leading white space skipped: "10ms" gives 10, "0x10" gives 0).
    // A present value without a leading number, or one out of range, also gives def.
    template <class T, std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>, int> = 0>
    T GetValue(std::string_view section, std::string_view key, T def) const
    {
        const IniLine* l = Find(section, key);
        if (!l) return def;
        if constexpr (std::is_integral_v<T>) {
            long long v = 0;
            if (!ParseLeadingInt(l->value, v) || v < static_cast<long long>(std::numeric_limits<T>::min()) ||
                (v > 0 && static_cast<unsigned long long>(v) > static_cast<unsigned long long>(std::numeric_limits<T>::max())))
                return def;
            return static_cast<T>(v);
        } else {
            double v = 0;
            if (!ParseLeadingDouble(l->value, v)) return def;
            return static_cast<T>(v);
        }
    }

    // Creates section and key as needed and replaces the value; the key's comment stays.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);
    void SetValue(std::string_view section, std::string_view key, const char* value)
    {
        SetValue(section, key, std::string_view(value ? value : ""));
    }
    void SetValue(std::string_view section, std::string_view key, const std::string& value)
    {
        SetValue(section, key, std::string_view(value));
    }
    // Numbers are stored as decimal text (floating values as a stream writes them).
    template <class T, std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>, int> = 0>
    void SetValue(std::string_view section, std::string_view key, T value)
    {
        if constexpr (std::is_integral_v<T>)
            SetValue(section, key, std::string_view(std::to_string(value)));
        else
            SetValue(section, key, std::string_view(FormatDouble(static_cast<double>(value))));
    }

    // Inline comment of a key ("" when absent) / replaces it, keeping the value.
    std::string GetComment(std::string_view section, std::string_view key) const;
    void SetComment(std::string_view section, std::string_view key, std::string_view text);
    // Whole-line comment text kept above a key line (key "" for the section header).
    std::string GetDescription(std::string_view section, std::string_view key) const;

    // key "#all": removes every key of the section (and with them the section); else that key.
    void DeleteKey(std::string_view section, std::string_view key);

    SectionIterator beginSection() const { return m_sections.begin(); }
    SectionIterator endSection() const { return m_sections.end(); }
    // Keys of one section in bytewise order; an absent section gives an empty range.
    KeyIterator beginKey(std::string_view section) const;
    KeyIterator endKey(std::string_view section) const;
    // The keys of a section, or null when absent.
    const KeyMap* Section(std::string_view section) const;

    // Writes the store back in the same syntax (descriptions as "#" lines). Never used by
    // the module itself.
    bool Save() const { return SaveAs(m_file); }
    bool SaveAs(const std::string& path) const;

    // Strips spaces and tabs (only those) from both ends.
    static std::string Trim(std::string_view text);
    // Drops the last character of a non-empty line when its byte value is below 32 (one only:
    // the CR of a CR LF line end). Bytes of 0x80 and above are text, never dropped.
    static void ParasitCar(std::string& line);

    // Number readers behind GetValue<T>: leading white space, optional sign, digits.
    static bool ParseLeadingInt(std::string_view text, long long& out);
    static bool ParseLeadingDouble(const std::string& text, double& out);
    // Optional sign and decimal digits only, nothing around them ("-12", not " 12" or "1.5").
    static bool IsInt(std::string_view text);

private:
    // DefVals keeps map nodes of [vals] between polls and reads the counters below.
    friend class DefVals;

    // The key's line, created (with its section) when absent.
    IniLine& Slot(std::string_view section, std::string_view key);
    void ParseLine(std::string& line, int lineNo, std::string& section, std::string& pending, bool& hasPending);
    static std::string FormatDouble(double v);

    SectionMap m_sections;
    DescMap m_desc;
    std::string m_file;
    unsigned m_removals = 0;  // removals of keys and sections (DeleteKey, Free, Load)
    unsigned m_changes = 0;   // removals and the calls that set a value or a comment
};

// Bit (bit mod 32) of words[bit / 32] as 0 or 1; 0 when bit / 32 is not below count, for a
// negative bit or for null words.
int GetBitState(const int* words, int count, int bit);

// Point indexing done at load for points 1..cnt from [flds.def] "i" (the tbSMDef value list
// from the quoted name on):
//   - without "'," the point gets no entry;
//   - else [flds.val] name = "i", the name being the text from the second character up to the
//     first "'," (a name over 63 bytes is left out and logged, an empty one left out);
//   - the divisor is the text between the fourth and fifth comma (counted without regard to
//     quotes, untrimmed); when there are five commas and it is not exactly "1":
//     [flds.val] "i" = divisor.
// Returns the number of names entered.
int IndexPoints(SimpleIni& ini, int cnt);

enum { DEF_NAME_MAX = 63, DEF_NOTE_MAX = 31 };

#endif
