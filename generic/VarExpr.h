// Value expressions of the generic drivers: the variable lookup behind VarEval and the
// expansion of the [comm] brief template. Both read only the driver's store:
//   [flds]      "n" -> value key of point n, "cnt" -> number of points
//   [flds.val]  point name -> point index, point index -> divisor (absent: "1")
//   [vals]      value key -> current value text
#ifndef QVSM_GENERIC_VAREXPR_H
#define QVSM_GENERIC_VAREXPR_H

#include <cstddef>
#include <string>
#include <string_view>

#include "generic/DefIni.h"

// Capacity VarEval of the generic drivers assumes for the host's buffer (NUL included);
// a value text that does not fit is refused (-1), never cut.
enum { DEF_VAR_CAP = 256 };

// buf: one sigil character followed by a point name ("$T1"), NUL-terminated within cap bytes.
// name -> [flds.val] index -> [vals] value. On success buf is overwritten with the value text
// and its length is returned; otherwise (unknown name, empty value, value of cap bytes or
// more, unterminated input) -1 and buf is unchanged.
int DefVarEval(const SimpleIni& store, char* buf, size_t cap);

// Expands a brief template in place, for points n = 1..[flds] cnt in order:
//   "%n%"   -> the value of [vals] <[flds] "n">, scaled by its divisor (ScaleByDivisor);
//              an empty value removes the placeholder
//   "%nst%" -> the state word: state 2 gives 故障, else with alarms and n <= 128 the point's
//              alarm bit gives 告警 or 正常, else nothing; in parentheses when the template
//              holds "%n%" too
// Only the first occurrence of each placeholder is replaced; a point whose [flds] entry is
// empty keeps both. alarms may be null (no alarm bits).
void VarByIni(std::string& text, const SimpleIni& store, int state, const int* alarms);

// Display form of a value with its divisor: for "10", "100", "1000", "10000" an integer text
// is multiplied by 0.1 ... 0.0001 and printed with "%.1f"; any other divisor, or a value that
// is not an integer, leaves the text unchanged.
std::string ScaleByDivisor(const std::string& value, std::string_view divisor);

#endif
