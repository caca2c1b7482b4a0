// CStmtCache: runs the module's INSERT, UPDATE and DELETE texts through prepared statements.
//
// The drivers hand the host complete statement texts with their values written in
// ("insert into tbModbusDat(DID,SID,Fld,Val) values(0,101,'V40001',225)"). Parsing each anew
// costs SQLite more than running it; so the text's literals (integers and quoted strings) are
// taken out and bound to parameters of a statement prepared once per shape
// ("... values(?,?,?,?)"). The result is the one sqlite3_exec would give: the same types and
// values (integers bound as integers, strings as text), the same error codes and messages.
//
// A text is left to the caller (Exec returns false) unless it is one INSERT, UPDATE or DELETE
// made of identifiers, integers that fit 64 bits, quoted strings and punctuation: anything
// else — real numbers, blobs, quoted identifiers, parameters, comments, a second statement,
// ORDER BY / GROUP BY / LIMIT / OFFSET (where a parameter is not the same as a literal), or a
// shape SQLite does not prepare — runs as text.
#ifndef QVSM_HOST_STMTCACHE_H
#define QVSM_HOST_STMTCACHE_H

#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CStmtCache {
public:
    enum { MAX_SHAPES = 64 };  // prepared statements kept; the cache starts over when full

    CStmtCache() = default;
    ~CStmtCache();
    CStmtCache(const CStmtCache&) = delete;
    CStmtCache& operator=(const CStmtCache&) = delete;

    // Runs sql when it is a text of the kind above: true with rc the SQLite result code (and
    // err set when it is not SQLITE_OK); false when the text must run as text.
    bool Exec(sqlite3* db, const char* sql, int& rc, std::string& err);
    // Finalizes every statement (before the database is closed).
    void Clear();
    size_t Shapes() const { return m_stmts.size(); }

    // The shape of sql and its literals; false when it is not of the kind above.
    // Exposed for the tests.
    struct Literal {
        bool text;
        long long num;
        std::string str;
    };
    static bool Split(const char* sql, std::string& shape, std::vector<Literal>& lits, size_t& count);

private:
    std::unordered_map<std::string, sqlite3_stmt*> m_stmts;
    std::string m_shape;
    std::vector<Literal> m_lits;
};

#endif
