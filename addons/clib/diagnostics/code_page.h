// Conversion of UTF-8 text (paths from JavaScript) to the ANSI code page.
#ifndef VARN_DIAGNOSTICS_CODE_PAGE_H
#define VARN_DIAGNOSTICS_CODE_PAGE_H

#include <string>

namespace VarnNode {

// Converts the NUL-terminated UTF-8 text `utf8` to the ANSI code page and
// returns it; c_str() gives the NUL-terminated form. A null pointer gives an
// empty string.
//
// Ill-formed UTF-8 (stray or missing continuation bytes, overlong forms,
// encoded surrogates, values above U+10FFFF) becomes U+FFFD; outside Windows
// one U+FFFD per maximal ill-formed subpart, as Unicode recommends. A
// character the code page cannot represent becomes its default character
// ("?").
//
// Windows: the system ANSI code page (CP_ACP), through MultiByteToWideChar
// and WideCharToMultiByte.
//
// Elsewhere there is no system ANSI code page. The code page is UTF-8, unless
// the environment variable VARN_ANSI_CODEPAGE names an iconv character set
// (GBK or CP1252, for example); it is read at each call. A name iconv does not
// know falls back to UTF-8. The character set should be a byte-oriented one
// that encodes ASCII as ASCII, since the result is handed on as a C string.
//
// Thread-safe. Throws nothing but std::bad_alloc.
std::string utf8ToAnsi(const char *utf8);

}  // namespace VarnNode

#endif  // VARN_DIAGNOSTICS_CODE_PAGE_H
