#include "host/IniReader.h"

#define SI_IMPLEMENTATION  // the one SimpleIni translation unit of the host and the simulator
#include <SimpleIni.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ini {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ToInt(const std::string& text, long lo, long hi, int& out)
{
    std::string t = Trim(text);
    if (t.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 0);
    if (errno || !end || *end || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

std::string Message(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& what)
{
    return file + ": [" + section + "]" + (key.empty() ? std::string() : " " + key) + ": " + what;
}

// ---- file --------------------------------------------------------------------------------

struct CFile::Impl {
    CSimpleIniA ini{false, false, false};
};

CFile::CFile() : m_impl(new Impl) {}
CFile::~CFile() = default;

bool CFile::Load(const std::string& path, std::string& err)
{
    m_path = path;
    m_impl->ini.Reset();
    SI_Error rc = m_impl->ini.LoadFile(path.c_str());
    if (rc >= 0) return true;
    err = path + ": cannot read the file" + (rc == SI_FILE ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
}

std::vector<std::string> CFile::Sections() const
{
    CSimpleIniA::TNamesDepend names;
    m_impl->ini.GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& n : names) out.push_back(n.pItem);
    return out;
}

std::vector<std::string> CFile::Keys(const std::string& section) const
{
    CSimpleIniA::TNamesDepend names;
    m_impl->ini.GetAllKeys(section.c_str(), names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& n : names) out.push_back(n.pItem);
    return out;
}

const char* CFile::Value(const std::string& section, const std::string& key) const
{
    return m_impl->ini.GetValue(section.c_str(), key.c_str(), nullptr);
}

// ---- section -----------------------------------------------------------------------------

CSection::CSection(const CFile& file, const std::string& name, std::string& err)
    : m_file(file), m_name(name), m_err(err), m_keys(file.Keys(name))
{
    for (const std::string& k : m_keys) m_unread[Lower(k)] = k;
}

bool CSection::Has(const std::string& key) const { return m_file.Value(m_name, key) != nullptr; }

std::string CSection::Str(const std::string& key, const std::string& def)
{
    m_unread.erase(Lower(key));
    const char* v = m_file.Value(m_name, key);
    return v ? Trim(v) : def;
}

bool CSection::Int(const std::string& key, int& out, long lo, long hi, bool required)
{
    if (!Has(key)) return required ? Fail(key, "missing") : true;
    std::string v = Str(key);
    if (!ToInt(v, lo, hi, out))
        return Fail(key, "'" + v + "' is not an integer in " + std::to_string(lo) + ".." + std::to_string(hi));
    return true;
}

bool CSection::Fail(const std::string& key, const std::string& what)
{
    m_err = Message(m_file.Path(), m_name, key, what);
    return false;
}

bool CSection::Done()
{
    if (m_unread.empty()) return true;
    return Fail(m_unread.begin()->second, "unknown key");
}

}  // namespace ini
