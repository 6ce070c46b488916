#include "platform/codec.h"

#include <iconv.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace xls {

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<uint8_t>(s[i]);
    uint32_t c;
    size_t len;
    if (b < 0x80) {
      c = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      len = 4;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    bool ok = i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto cb = static_cast<uint8_t>(s[i + k]);
      if ((cb & 0xC0) != 0x80)
        ok = false;
      else
        c = (c << 6) | (cb & 0x3F);
    }
    static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += len;
  }
  return out;
}

std::u16string Latin1ToUtf16(std::string_view s) {
  std::u16string out(s.size(), u'\0');
  for (size_t i = 0; i < s.size(); ++i) out[i] = static_cast<uint8_t>(s[i]);
  return out;
}

namespace {

std::mutex g_cpMutex;
int g_codePage = 0;

std::string IconvName(int codePage) {
  switch (codePage) {
    case 1200:
      return "UTF-16LE";
    case 1201:
      return "UTF-16BE";
    case 65001:
      return "UTF-8";
    case 367:
    case 20127:
      return "ASCII";
    case 10000:
      return "MACINTOSH";
    case 10007:
      return "MAC-CYRILLIC";
    case 936:
      return "GBK";
    case 950:
      return "BIG5";
    case 932:
      return "CP932";
    case 949:
      return "CP949";
    case 1361:
      return "JOHAB";
    case 28591:
      return "ISO-8859-1";
    case 32768:
      return "MACINTOSH";
    case 32769:
      return "CP1252";
    default:
      return "CP" + std::to_string(codePage);
  }
}

// Converts with iconv; unconvertible input is replaced and the conversion goes on.
bool IconvConvert(const std::string& from, const std::string& to, const char* in, size_t inLen,
                  std::string& out, const char* replacement, size_t replacementLen, size_t inStep) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  std::vector<char> buf(4 * inLen + 16);
  char* inp = const_cast<char*>(in);
  size_t inLeft = inLen;
  while (inLeft > 0) {
    char* outp = buf.data();
    size_t outLeft = buf.size();
    const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    out.append(buf.data(), static_cast<size_t>(outp - buf.data()));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: skip one input unit and emit the replacement.
      out.append(replacement, replacementLen);
      const size_t step = inLeft < inStep ? inLeft : inStep;
      inp += step;
      inLeft -= step;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* outp = buf.data();
  size_t outLeft = buf.size();
  iconv(cd, nullptr, nullptr, &outp, &outLeft);
  out.append(buf.data(), static_cast<size_t>(outp - buf.data()));
  iconv_close(cd);
  return true;
}

}  // namespace

int CodePageFromLocaleName(std::string_view name) {
  auto starts = [&](std::string_view p) { return name.substr(0, p.size()) == p; };
  if (starts("zh_TW") || starts("zh_HK") || starts("zh_MO")) return 950;
  if (starts("zh")) return 936;
  if (starts("ja")) return 932;
  if (starts("ko")) return 949;
  if (starts("ru") || starts("uk") || starts("bg")) return 1251;
  return 1252;
}

int SystemCodePage() {
  std::lock_guard<std::mutex> lock(g_cpMutex);
  if (g_codePage == 0) {
    const char* name = std::getenv("LC_ALL");
    if (!name || !*name) name = std::getenv("LC_CTYPE");
    if (!name || !*name) name = std::getenv("LANG");
    g_codePage = CodePageFromLocaleName(name ? name : "");
  }
  return g_codePage;
}

void SetSystemCodePage(int codePage) {
  std::lock_guard<std::mutex> lock(g_cpMutex);
  g_codePage = codePage;
}

std::u16string CodePageToUtf16(std::string_view s, int codePage) {
  if (s.empty()) return {};
  if (codePage == 65001) return Utf8ToUtf16(s);
  if (codePage == 1200) {
    std::u16string out(s.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<char16_t>(static_cast<uint8_t>(s[2 * i]) |
                                     (static_cast<uint8_t>(s[2 * i + 1]) << 8));
    return out;
  }
  std::string raw;
  static const char kRepl[2] = {'\xFD', '\xFF'};
  if (!IconvConvert(IconvName(codePage), "UTF-16LE", s.data(), s.size(), raw, kRepl, 2, 1))
    return Latin1ToUtf16(s);
  std::u16string out(raw.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                   (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  return out;
}

std::string Utf16ToCodePage(std::u16string_view s, int codePage) {
  if (s.empty()) return {};
  if (codePage == 65001) return Utf16ToUtf8(s);
  std::string in(s.size() * 2, '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    in[2 * i] = static_cast<char>(s[i] & 0xFF);
    in[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  if (codePage == 1200) return in;
  std::string out;
  if (!IconvConvert("UTF-16LE", IconvName(codePage), in.data(), in.size(), out, "?", 1, 2)) {
    out.resize(s.size());
    for (size_t i = 0; i < s.size(); ++i) out[i] = s[i] < 0x100 ? static_cast<char>(s[i]) : '?';
  }
  return out;
}

}  // namespace xls
