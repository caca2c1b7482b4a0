// Reading the INI files of qvsm-host and qvsm-sim (SimpleIni underneath): sections and keys
// in file order, integers within a range, and messages naming file, section and key.
#ifndef QVSM_HOST_INIREADER_H
#define QVSM_HOST_INIREADER_H

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ini {

std::string Trim(const std::string& s);
std::string Lower(std::string s);
// Decimal, 0x hex or 0 octal text within lo..hi; blanks around it are ignored.
bool ToInt(const std::string& text, long lo, long hi, int& out);
// "FILE: [SECTION] KEY: WHAT" (no KEY when key is empty).
std::string Message(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& what);

class CFile {
public:
    CFile();
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // false with "PATH: cannot read the file[: reason]" in err.
    bool Load(const std::string& path, std::string& err);
    const std::string& Path() const { return m_path; }
    std::vector<std::string> Sections() const;                        // in file order
    std::vector<std::string> Keys(const std::string& section) const;  // in file order, as written
    const char* Value(const std::string& section, const std::string& key) const;  // null: no such key

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_path;
};

// One section read key by key: every key must be read (Done), values are checked as they are
// read, and every failure leaves "FILE: [SECTION] KEY: WHAT" in err. Keys are case-insensitive.
class CSection {
public:
    CSection(const CFile& file, const std::string& name, std::string& err);

    const std::string& Name() const { return m_name; }
    const std::vector<std::string>& Keys() const { return m_keys; }
    bool Has(const std::string& key) const;
    // The trimmed value (def when missing); the key counts as read.
    std::string Str(const std::string& key, const std::string& def = std::string());
    // Leaves out untouched when the key is missing (an error when required).
    bool Int(const std::string& key, int& out, long lo, long hi, bool required = false);
    // A value out of a fixed list of words (case-insensitive); missing keeps out.
    template <class T>
    bool Word(const std::string& key, const std::map<std::string, T>& words, T& out)
    {
        if (!Has(key)) return true;
        std::string v = Str(key);
        auto it = words.find(Lower(v));
        if (it == words.end()) return Fail(key, "unknown value '" + v + "' (" + List(words) + ")");
        out = it->second;
        return true;
    }
    bool Fail(const std::string& key, const std::string& what);
    // false ("unknown key") when a key was never read.
    bool Done();

private:
    template <class T>
    static std::string List(const std::map<std::string, T>& words)
    {
        std::string s;
        for (const auto& w : words) s += (s.empty() ? "" : ", ") + w.first;
        return s;
    }
    const CFile& m_file;
    std::string m_name;
    std::string& m_err;
    std::vector<std::string> m_keys;
    std::map<std::string, std::string> m_unread;  // lower-case key -> key as written
};

}  // namespace ini

#endif
