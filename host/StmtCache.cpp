#include "host/StmtCache.h"

#include <sqlite3.h>

#include <cstring>

namespace {

// Character classes of the statement scanner.
enum : unsigned char {
    C_OTHER,   // punctuation and operators: part of the shape
    C_ID,      // starts (and continues) an identifier
    C_DIGIT,
    C_QUOTE,   // '
    C_SEMI,    // ;
    C_REFUSE,  // " ` [ ? : @ $ #: quoted identifiers and parameters
    C_LOOK,    // - / .: a comment or a real depending on the next character
    C_END,     // NUL
};

struct Classes {
    unsigned char cls[256];
    bool idChar[256];
    constexpr Classes() : cls(), idChar()
    {
        for (int c = 0; c < 256; ++c) {
            unsigned char k = C_OTHER;
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80) k = C_ID;
            else if (c >= '0' && c <= '9') k = C_DIGIT;
            else if (c == '\'') k = C_QUOTE;
            else if (c == ';') k = C_SEMI;
            else if (c == '"' || c == '`' || c == '[' || c == '?' || c == ':' || c == '@' || c == '$' || c == '#') k = C_REFUSE;
            else if (c == '-' || c == '/' || c == '.') k = C_LOOK;
            else if (c == 0) k = C_END;
            cls[c] = k;
            idChar[c] = k == C_ID || k == C_DIGIT || c == '$';
        }
    }
};
constexpr Classes kClasses;

bool IdChar(unsigned char c) { return kClasses.idChar[c]; }

bool Digit(unsigned char c) { return c >= '0' && c <= '9'; }

bool Space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool Word(const char* p, size_t n, const char* word)
{
    if (std::strlen(word) != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

}  // namespace

CStmtCache::~CStmtCache() { Clear(); }

void CStmtCache::Clear()
{
    for (auto& s : m_stmts) sqlite3_finalize(s.second);
    m_stmts.clear();
}

bool CStmtCache::Split(const char* sql, std::string& shape, std::vector<Literal>& lits, size_t& count)
{
    shape.clear();
    count = 0;
    if (!sql) return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(sql);
    const unsigned char* run = p;  // text not yet copied into the shape
    auto flush = [&](const unsigned char* to) {
        shape.append(reinterpret_cast<const char*>(run), static_cast<size_t>(to - run));
    };
    while (Space(*p)) ++p;
    {
        const unsigned char* s = p;
        while (IdChar(*p)) ++p;
        const char* w = reinterpret_cast<const char*>(s);
        size_t n = static_cast<size_t>(p - s);
        if (!Word(w, n, "insert") && !Word(w, n, "update") && !Word(w, n, "delete")) return false;
    }
    for (;;) {
        const unsigned char c = *p;
        switch (kClasses.cls[c]) {
        case C_END:
            flush(p);
            return true;
        case C_OTHER:
            ++p;
            continue;
        case C_ID: {
            const unsigned char* s = p;
            while (IdChar(*p)) ++p;
            const char* w = reinterpret_cast<const char*>(s);
            size_t n = static_cast<size_t>(p - s);
            // A parameter is not the same as a literal there; X'..' is a blob.
            if ((n == 1 && (*w == 'x' || *w == 'X') && *p == '\'') ||
                ((n == 5 || n == 6 || n == 9) && (Word(w, n, "order") || Word(w, n, "group") || Word(w, n, "limit") ||
                                                  Word(w, n, "offset") || Word(w, n, "returning"))))
                return false;
            continue;
        }
        case C_QUOTE: {
            flush(p);
            if (lits.size() <= count) lits.emplace_back();
            Literal& l = lits[count++];
            l.text = true;
            l.str.clear();
            const unsigned char* s = ++p;
            for (;; ++p) {
                if (!*p) return false;  // not terminated
                if (*p != '\'') continue;
                l.str.append(reinterpret_cast<const char*>(s), static_cast<size_t>(p - s));
                if (p[1] != '\'') break;
                ++p;
                s = p;  // the second quote of a doubled one starts the next piece
            }
            run = ++p;
            shape += '?';
            continue;
        }
        case C_DIGIT: {
            flush(p);
            unsigned long long v = 0;
            for (; Digit(*p); ++p) {
                unsigned d = *p - '0';
                if (v > (9223372036854775807ULL - d) / 10) return false;  // beyond 64 bits: a real
                v = v * 10 + d;
            }
            if (*p == '.' || *p == 'e' || *p == 'E' || IdChar(*p)) return false;  // real, hex or odd
            if (lits.size() <= count) lits.emplace_back();
            Literal& l = lits[count++];
            l.text = false;
            l.num = static_cast<long long>(v);
            run = p;
            shape += '?';
            continue;
        }
        case C_SEMI:
            flush(p);
            for (++p; *p; ++p)
                if (!Space(*p)) return false;  // a second statement
            return true;
        case C_LOOK:
            // Comments and a real starting with a point.
            if ((c == '-' && p[1] == '-') || (c == '/' && p[1] == '*') || (c == '.' && Digit(p[1]))) return false;
            ++p;
            continue;
        default:  // C_REFUSE
            return false;
        }
    }
}

bool CStmtCache::Exec(sqlite3* db, const char* sql, int& rc, std::string& err)
{
    size_t n = 0;
    if (!db || !Split(sql, m_shape, m_lits, n)) return false;
    sqlite3_stmt* st = nullptr;
    auto it = m_stmts.find(m_shape);
    if (it != m_stmts.end()) {
        st = it->second;
    } else {
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, m_shape.c_str(), static_cast<int>(m_shape.size()) + 1, &st, &tail) != SQLITE_OK ||
            !st || (tail && *tail) || sqlite3_bind_parameter_count(st) != static_cast<int>(n)) {
            sqlite3_finalize(st);
            return false;
        }
        if (m_stmts.size() >= MAX_SHAPES) Clear();
        m_stmts.emplace(m_shape, st);
    }
    for (size_t i = 0; i < n; ++i) {
        const Literal& l = m_lits[i];
        int k = static_cast<int>(i) + 1;
        if (l.text)
            sqlite3_bind_text(st, k, l.str.data(), static_cast<int>(l.str.size()), SQLITE_STATIC);
        else
            sqlite3_bind_int64(st, k, l.num);
    }
    rc = sqlite3_step(st);
    while (rc == SQLITE_ROW) rc = sqlite3_step(st);
    if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
    } else {
        err = sqlite3_errmsg(db);
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return true;
}
