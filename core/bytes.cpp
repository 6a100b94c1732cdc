#include "core/bytes.h"

#include <algorithm>

std::string Mid(const std::string& s, int start, int len) {
  if (start < 1) start = 1;
  const size_t from = static_cast<size_t>(start - 1);
  if (from >= s.size() || len == 0) return std::string();
  if (len < 0) return s.substr(from);
  return s.substr(from, static_cast<size_t>(len));
}

void MidAssign(std::string& s, int start, const std::string& v) {
  if (start < 1) return;
  const size_t from = static_cast<size_t>(start - 1);
  if (from >= s.size()) return;
  const size_t n = std::min(v.size(), s.size() - from);
  s.replace(from, n, v, 0, n);
}

int Asc(const std::string& s, int pos) {
  if (pos < 1 || static_cast<size_t>(pos) > s.size()) return 0;
  return static_cast<unsigned char>(s[static_cast<size_t>(pos - 1)]);
}

std::string Chr(int c) { return std::string(1, static_cast<char>(c & 0xFF)); }

std::string Left(const std::string& s, int n) {
  if (n <= 0) return std::string();
  return s.substr(0, std::min(s.size(), static_cast<size_t>(n)));
}

std::string Right(const std::string& s, int n) {
  if (n <= 0) return std::string();
  const size_t k = std::min(s.size(), static_cast<size_t>(n));
  return s.substr(s.size() - k);
}

std::string Space(int n) { return n > 0 ? std::string(static_cast<size_t>(n), ' ') : std::string(); }
std::string StringOf(int n, char c) {
  return n > 0 ? std::string(static_cast<size_t>(n), c) : std::string();
}
std::string Nuls(int n) { return StringOf(n, '\0'); }

std::string RTrim(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return s.substr(0, e);
}

std::string LTrim(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

std::string Trim(const std::string& s) { return LTrim(RTrim(s)); }

std::string RTrimBlankNul(const std::string& s) {
  size_t e = s.size();
  while (e > 0 && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
  return s.substr(0, e);
}

std::string CutAtNul(const std::string& s) { return s.substr(0, s.find('\0')); }

std::string PadRight(const std::string& s, int n, char fill) {
  if (n <= 0) return std::string();
  std::string r = Left(s, n);
  r.resize(static_cast<size_t>(n), fill);
  return r;
}

int InStr(const std::string& s, const std::string& what, int start) {
  if (start < 1) start = 1;
  if (static_cast<size_t>(start - 1) > s.size()) return 0;
  const size_t p = s.find(what, static_cast<size_t>(start - 1));
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

int InStrRev(const std::string& s, const std::string& what) {
  const size_t p = s.rfind(what);
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

std::string Str(long long n) {
  std::string r(n >= 0 ? 1 : 0, ' ');
  r += std::to_string(n);
  return r;
}
std::string CStr(long long n) { return std::to_string(n); }

std::string Hex2(int byte) {
  static const char digits[] = "0123456789ABCDEF";
  std::string r(2, '0');
  r[0] = digits[(byte >> 4) & 15];
  r[1] = digits[byte & 15];
  return r;
}

int GetU16BE(const std::string& s, int pos) { return Asc(s, pos) * 256 + Asc(s, pos + 1); }
int GetU16LE(const std::string& s, int pos) { return Asc(s, pos) + Asc(s, pos + 1) * 256; }
int16_t GetI16LE(const std::string& s, int pos) { return static_cast<int16_t>(GetU16LE(s, pos)); }

void PutU16BE(std::string& s, int pos, int value) { MidAssign(s, pos, U16BE(value)); }
void PutU16LE(std::string& s, int pos, int value) { MidAssign(s, pos, U16LE(value)); }

uint32_t GetU32LE(const std::string& s, int pos) {
  return static_cast<uint32_t>(Asc(s, pos)) | static_cast<uint32_t>(Asc(s, pos + 1)) << 8 |
         static_cast<uint32_t>(Asc(s, pos + 2)) << 16 | static_cast<uint32_t>(Asc(s, pos + 3)) << 24;
}

void PutU32LE(std::string& s, int pos, uint32_t value) { MidAssign(s, pos, U32LE(value)); }

std::string U16BE(int value) { return Chr((value >> 8) & 0xFF) + Chr(value & 0xFF); }
std::string U16LE(int value) { return Chr(value & 0xFF) + Chr((value >> 8) & 0xFF); }
std::string U32LE(uint32_t value) {
  std::string r(4, '\0');
  for (int i = 0; i < 4; ++i) r[static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return r;
}

// Decodes one UTF-8 sequence at in[i]; returns its length and sets cp, or 0
// when the bytes there are not a well-formed sequence.
static size_t DecodeUtf8(std::string_view in, size_t i, unsigned& cp) {
  const unsigned char c = static_cast<unsigned char>(in[i]);
  size_t extra;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    extra = 1;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3;
  } else {
    return 0;
  }
  if (i + extra >= in.size()) return 0;
  cp = c & (0x3Fu >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    const unsigned char cc = static_cast<unsigned char>(in[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3Fu);
  }
  return extra + 1;
}

std::string Utf8ToLatin1(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    unsigned cp = 0;
    const size_t n = DecodeUtf8(in, i, cp);
    if (n == 0) {
      out += '?';
      ++i;
      continue;
    }
    out += cp < 0x100 ? static_cast<char>(cp) : '?';
    i += n;
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view in) {
  std::string out;
  out.reserve(in.size() * 2);
  for (char ch : in) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string ScreenUtf8(std::string_view bytes) {
  bool multi = false;
  for (size_t i = 0; i < bytes.size();) {
    unsigned cp = 0;
    const size_t n = DecodeUtf8(bytes, i, cp);
    if (n == 0) return Latin1ToUtf8(bytes);
    if (n > 1) multi = true;
    i += n;
  }
  return multi ? std::string(bytes) : Latin1ToUtf8(bytes);
}

std::string LCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string UCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}
