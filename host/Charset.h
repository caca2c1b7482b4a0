// GBK <-> UTF-8 for the host: the module and its database speak GBK, the site file and
// the terminal UTF-8.
#ifndef QVSM_HOST_CHARSET_H
#define QVSM_HOST_CHARSET_H

#include <string>

namespace host {

// false when the text cannot be converted (out is then unspecified).
bool Utf8ToGbk(const std::string& in, std::string& out);
bool GbkToUtf8(const std::string& in, std::string& out);
// For display: bytes that do not convert are shown as "\xNN".
std::string GbkForTerminal(const std::string& in);

}  // namespace host

#endif
