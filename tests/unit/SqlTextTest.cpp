// The statement builder: pieces as printf writes them (quotes doubled), and the capacity bound.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "base/SqlText.h"

namespace {

// A piece: plain text, an integer, or text to be quoted.
struct Piece {
    enum Kind { TEXT, INT, QUOTED } kind;
    std::string text;
    long long num;
};

// The same text by printf and std::string.
std::string Reference(const std::vector<Piece>& pieces)
{
    std::string out;
    for (const Piece& p : pieces) {
        if (p.kind == Piece::INT) {
            char t[32];
            std::snprintf(t, sizeof t, "%lld", p.num);
            out += t;
        } else if (p.kind == Piece::QUOTED) {
            for (const char* c = p.text.c_str(); *c; ++c) out.append(*c == '\'' ? 2 : 1, *c);
        } else {
            out += p.text.c_str();  // as %s: up to a NUL
        }
    }
    return out;
}

void Write(SMSqlText& s, const std::vector<Piece>& pieces)
{
    for (const Piece& p : pieces) {
        if (p.kind == Piece::INT)
            s.Int(p.num);
        else if (p.kind == Piece::QUOTED)
            s.Quoted(p.text.c_str());
        else
            s.Add(p.text.c_str());
    }
}

Piece T(std::string t) { return {Piece::TEXT, std::move(t), 0}; }
Piece I(long long n) { return {Piece::INT, "", n}; }
Piece Q(std::string t) { return {Piece::QUOTED, std::move(t), 0}; }

const std::vector<std::vector<Piece>> kTexts = {
    {T("insert into tbModbusDat(DID,SID,Fld,Val) values("), I(0), T(","), I(17), T(",'V"), Q("k1"), T("',"), I(2201),
     T(")")},
    {Q("it's"), Q("''"), Q("'"), Q(""), Q("no quote"), Q("a'b'c")},
    {I(LLONG_MIN), T(" "), I(LLONG_MAX), T(" "), I(-1), T(" "), I(9), T(" "), I(10), T(" "), I(-100), T(" "),
     I(2147483648LL)},
    {Q(std::string("cut\0here", 8)), T(std::string("and\0here", 8))},
    {Q("电压 'A'"), T("")},
    {},
};

// Every capacity from 1 to one past the text: the text is written whole, as printf writes it,
// when it and its NUL fit; else it stops at the last piece that fitted, marked over-long, and
// nothing more goes in.
TEST(SqlText, WrittenAsPrintfWritesItUpToTheCapacity)
{
    for (size_t i = 0; i < kTexts.size(); ++i) {
        const std::string whole = Reference(kTexts[i]);
        for (int cap = 1; cap <= static_cast<int>(whole.size()) + 2; ++cap) {
            std::vector<char> buf(static_cast<size_t>(cap) + 8, '#');
            SMSqlText s(buf.data(), cap);
            std::string fitted;  // the pieces that fit, in order
            bool over = false;
            for (const Piece& p : kTexts[i]) {
                std::string next = fitted + Reference({p});
                if (!over && next.size() + 1 <= static_cast<size_t>(cap))
                    fitted = next;
                else
                    over = true;
                Write(s, {p});
            }
            SCOPED_TRACE("text " + std::to_string(i) + " cap " + std::to_string(cap));
            EXPECT_EQ(s.Over(), over);
            EXPECT_EQ(std::string(s.Text()), fitted);
            EXPECT_EQ(s.Len(), static_cast<int>(fitted.size()));
            for (size_t b = static_cast<size_t>(cap); b < buf.size(); ++b) ASSERT_EQ(buf[b], '#') << "written past cap";
        }
    }
}

TEST(SqlText, KeepStartsAgainFromAShorterText)
{
    char buf[16];
    SMSqlText s(buf, sizeof buf);
    s.Add("head:");
    const int head = s.Len();
    s.Quoted("0123456789'");  // 12 more bytes: over
    EXPECT_TRUE(s.Over());
    EXPECT_STREQ(s.Text(), "head:");
    s.Keep(head);
    EXPECT_FALSE(s.Over());
    s.Int(-42).Add("'x'", 3);
    EXPECT_STREQ(s.Text(), "head:-42'x'");
    s.Keep(head);
    s.Quoted("o'k");
    EXPECT_STREQ(s.Text(), "head:o''k");
    EXPECT_EQ(s.Len(), 9);
}

}  // namespace
