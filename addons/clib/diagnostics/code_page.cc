#include "diagnostics/code_page.h"

#include <cstddef>
#include <cstdint>
#include <new>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

namespace VarnNode {

#ifdef _WIN32

namespace {

// Element count to byte count, failing as an allocation would on overflow.
std::size_t checkedBytes(int count, std::size_t unit) {
  if (count <= 0) return 0;
  if (static_cast<std::size_t>(count) > SIZE_MAX / unit) throw std::bad_alloc();
  return static_cast<std::size_t>(count) * unit;
}

}  // namespace

std::string utf8ToAnsi(const char *utf8) {
  if (utf8 == nullptr || *utf8 == '\0') return std::string();

  // Flags 0: ill-formed input becomes U+FFFD instead of failing the call.
  const int wideCount = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (wideCount <= 0) return std::string();
  std::wstring wide(checkedBytes(wideCount, sizeof(wchar_t)) / sizeof(wchar_t),
                    L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], wideCount) <= 0) {
    return std::string();
  }

  // No default character given: the code page's own one replaces what it
  // cannot represent.
  const int ansiCount = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1,
                                            nullptr, 0, nullptr, nullptr);
  if (ansiCount <= 0) return std::string();
  std::string ansi(checkedBytes(ansiCount, 1), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &ansi[0], ansiCount,
                          nullptr, nullptr) <= 0) {
    return std::string();
  }
  ansi.resize(ansi.size() - 1);  // std::string keeps its own terminator.
  return ansi;
}

#else  // !_WIN32

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8.

bool inRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// Length of the UTF-8 sequence at `s` (NUL-terminated), and whether it is
// well-formed. An ill-formed one covers its maximal subpart: the lead byte
// and the continuation bytes that were still acceptable, at least one byte.
std::size_t scanSequence(const unsigned char *s, bool *wellFormed) {
  const unsigned char lead = s[0];
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // Range of the second byte.
  if (lead < 0x80) {
    length = 1;
  } else if (inRange(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (inRange(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // Overlong below U+0800.
    if (lead == 0xED) high = 0x9F;  // Surrogates U+D800..U+DFFF.
  } else if (inRange(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // Overlong below U+10000.
    if (lead == 0xF4) high = 0x8F;  // Above U+10FFFF.
  } else {
    *wellFormed = false;  // Continuation byte, C0/C1 or F5..FF as lead.
    return 1;
  }
  for (std::size_t i = 1; i < length; ++i) {
    // A NUL (end of text) fails the range test, so nothing reads past it.
    const bool ok =
        i == 1 ? inRange(s[i], low, high) : inRange(s[i], 0x80, 0xBF);
    if (!ok) {
      *wellFormed = false;
      return i;
    }
  }
  *wellFormed = true;
  return length;
}

// Well-formed UTF-8 with each ill-formed subpart replaced by U+FFFD.
std::string sanitiseUtf8(const char *utf8) {
  std::string out;
  const auto *s = reinterpret_cast<const unsigned char *>(utf8);
  while (*s != 0) {
    bool wellFormed = false;
    const std::size_t length = scanSequence(s, &wellFormed);
    if (wellFormed) {
      out.append(reinterpret_cast<const char *>(s), length);
    } else {
      out += kReplacement;
    }
    s += length;
  }
  return out;
}

// Owns an iconv descriptor for the duration of one conversion.
class IconvHandle {
 public:
  explicit IconvHandle(const char *toCharset)
      : m_cd(iconv_open(toCharset, "UTF-8")) {}
  ~IconvHandle() {
    if (valid()) iconv_close(m_cd);
  }
  IconvHandle(const IconvHandle &) = delete;
  IconvHandle &operator=(const IconvHandle &) = delete;

  bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Appends the encoding of one well-formed UTF-8 sequence (or, with a null
  // `sequence`, the shift sequence that returns to the initial state).
  bool append(const char *sequence, std::size_t length, std::string *out) {
    char input[4];
    char output[32];  // Far more than any character set needs for one char.
    std::memcpy(input, sequence == nullptr ? "" : sequence, length);
    char *in = input;
    char *outPtr = output;
    std::size_t inLeft = length;
    std::size_t outLeft = sizeof output;
    const std::size_t result = iconv(m_cd, sequence == nullptr ? nullptr : &in,
                                     &inLeft, &outPtr, &outLeft);
    // On failure iconv consumed nothing and kept its shift state.
    if (result == static_cast<std::size_t>(-1)) return false;
    out->append(output, static_cast<std::size_t>(outPtr - output));
    return true;
  }

 private:
  iconv_t m_cd;
};

// Decodes UTF-8 character by character and encodes each one with iconv, so
// that one unrepresentable character becomes one "?" and the rest survives.
std::string encodeWithIconv(IconvHandle *target, const std::string &utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    bool wellFormed = false;
    const auto *s = reinterpret_cast<const unsigned char *>(&utf8[i]);
    const std::size_t length = scanSequence(s, &wellFormed);
    // `utf8` is already sanitised, so every sequence is well-formed here.
    if (!target->append(&utf8[i], length, &out) &&
        !target->append("?", 1, &out)) {
      out += '?';
    }
    i += length;
  }
  target->append(nullptr, 0, &out);
  return out;
}

}  // namespace

std::string utf8ToAnsi(const char *utf8) {
  if (utf8 == nullptr) return std::string();
  std::string text = sanitiseUtf8(utf8);

  // Copied at once: the environment may change while we convert.
  const char *variable = std::getenv("VARN_ANSI_CODEPAGE");
  const std::string charset = variable == nullptr ? "" : variable;
  if (charset.empty() || text.empty()) return text;

  IconvHandle target(charset.c_str());
  if (!target.valid()) return text;  // Unknown to iconv: stay with UTF-8.
  return encodeWithIconv(&target, text);
}

#endif  // _WIN32

}  // namespace VarnNode
