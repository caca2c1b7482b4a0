#include "generic/VarExpr.h"

#include <cstdio>
#include <cstring>

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A whole text that is an integer: optional sign, then digits only.
bool WholeInt(const std::string& text, long long& out)
{
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i >= text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (!IsDigit(text[k])) return false;
    return SimpleIni::ParseLeadingInt(text, out);
}

// Smallest point number in [from, cnt] that has a value or state placeholder in text, or 0.
long long NextPlaceholder(const std::string& text, long long from, long long cnt)
{
    long long best = 0;
    const size_t n = text.size();
    for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1)) {
        size_t q = p + 1;
        if (q >= n || text[q] < '1' || text[q] > '9') continue;
        long long v = 0;
        bool over = false;
        for (; q < n && IsDigit(text[q]); ++q) {
            if (!over) v = v * 10 + (text[q] - '0');
            if (v > cnt) over = true;
        }
        if (over || v < from) continue;
        if (!(q < n && text[q] == '%') && text.compare(q, 3, "st%") != 0) continue;
        if (best == 0 || v < best) best = v;
    }
    return best;
}

const char* StateWord(int state, const int* alarms, long long n, bool paren)
{
    if (state == 2) return paren ? "(故障)" : "故障";
    if (alarms && n <= 128) {
        if (GetBitState(alarms, 16, static_cast<int>(n - 1))) return paren ? "(告警)" : "告警";
        return paren ? "(正常)" : "正常";
    }
    return "";
}
}  // namespace

int DefVarEval(const SimpleIni& store, char* buf, size_t cap)
{
    if (!buf || cap < 2) return -1;
    size_t len = strnlen(buf, cap);
    if (len == cap || len == 0) return -1;
    std::string_view name(buf + 1, len - 1);
    const IniLine* index = store.Find(SEC_FLDSVAL, name);
    if (!index) return -1;
    const IniLine* value = store.Find(SEC_VALS, index->value);
    if (!value || value->value.empty() || value->value.size() >= cap) return -1;
    std::memcpy(buf, value->value.data(), value->value.size());
    buf[value->value.size()] = 0;
    return static_cast<int>(value->value.size());
}

std::string ScaleByDivisor(const std::string& value, std::string_view divisor)
{
    double factor;
    if (divisor == "10")
        factor = 0.1;
    else if (divisor == "100")
        factor = 0.01;
    else if (divisor == "1000")
        factor = 0.001;
    else if (divisor == "10000")
        factor = 0.0001;
    else
        return value;
    long long v = 0;
    if (!WholeInt(value, v)) return value;
    char out[48];
    std::snprintf(out, sizeof out, "%.1f", static_cast<double>(v) * factor);
    return out;
}

void VarByIni(std::string& text, const SimpleIni& store, int state, const int* alarms)
{
    const long long cnt = store.GetValue<int>(SEC_FLDS, "cnt", 0);
    // Walks the points in order but only visits those the text names, so a large count costs
    // nothing; the text only changes at visited points, so the order of changes is kept.
    for (long long n = NextPlaceholder(text, 1, cnt); n != 0; n = NextPlaceholder(text, n + 1, cnt)) {
        std::string num = std::to_string(n);
        std::string valPh = "%" + num + "%";
        std::string stPh = "%" + num + "st%";
        size_t valPos = text.find(valPh);
        size_t stPos = text.find(stPh);
        if (valPos == std::string::npos && stPos == std::string::npos) continue;
        const IniLine* key = store.Find(SEC_FLDS, num);
        if (!key || key->value.empty()) continue;

        if (valPos != std::string::npos) {
            std::string value = store.GetValue(SEC_VALS, key->value, "");
            if (!value.empty()) {
                const IniLine* divisor = store.Find(SEC_FLDSVAL, num);
                if (divisor && divisor->value != "1") value = ScaleByDivisor(value, divisor->value);
            }
            text.replace(valPos, valPh.size(), value);
        }
        if (stPos != std::string::npos) {
            const char* word = StateWord(state, alarms, n, valPos != std::string::npos);
            stPos = text.find(stPh);
            if (stPos != std::string::npos) text.replace(stPos, stPh.size(), word);
        }
        if (n >= cnt) break;
    }
}
