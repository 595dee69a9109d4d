// Windows' WideCharToMultiByte maps a character the code page lacks to a look-alike by
// default (best fit: U+00E9 to "e" in Windows-1251, U+0101 to "a" in Windows-1252), and so do
// the A functions that hand out names (FindFirstFileA, GetLongPathNameA, GetModuleFileNameA,
// Process32First), which convert with the default flags; Wine 8 does the same. Hence
// WC_NO_BEST_FIT_CHARS here, and W functions wherever a name comes from disk.
#include "base/codepage.h"

#include <climits>
#include <cstdint>

namespace qm {
namespace {

// The longest form of one UTF-16 unit in codePage (GetCPInfo's MaxCharSize), asked again only
// when the code page changes: a folder listing converts every name with it. 0 when unknown.
int64_t BytesPerUnit(UINT codePage) {
  thread_local UINT asked = 0;
  thread_local int64_t bytes = 0;
  if (asked != codePage || bytes == 0) {
    CPINFO info;
    bytes = GetCPInfo(codePage, &info) ? info.MaxCharSize : 0;
    asked = codePage;
  }
  return bytes;
}

// One conversion into out with room for the worst case, or, where that is unknown or too
// large, for the length asked first. 0 on failure (GetLastError tells why), out then empty.
int Convert(UINT codePage, DWORD flags, std::wstring_view text, std::string& out,
            BOOL* usedDefault) {
  const int units = static_cast<int>(text.size());
  const int64_t worst = BytesPerUnit(codePage) * units;
  int room = worst > 0 && worst <= INT_MAX ? static_cast<int>(worst) : 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (room == 0)
      room = WideCharToMultiByte(codePage, flags, text.data(), units, nullptr, 0, nullptr,
                                 usedDefault);
    if (room <= 0) break;
    out.resize(static_cast<size_t>(room));
    const int n = WideCharToMultiByte(codePage, flags, text.data(), units, out.data(), room,
                                      nullptr, usedDefault);
    if (n > 0) {
      out.resize(static_cast<size_t>(n));
      return n;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    room = 0;
  }
  out.clear();
  return 0;
}

bool ReadsBackAs(const std::string& bytes, UINT codePage, std::wstring_view text) {
  const int length = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (n != static_cast<int>(text.size())) return false;
  std::wstring back(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, back.data(), n);
  return back == text;
}

bool ConvertsExactly(std::wstring_view text, UINT codePage, std::string& out) {
  if (codePage == CP_UTF8) {
    // Windows refuses WC_NO_BEST_FIT_CHARS for UTF-8 (ERROR_INVALID_FLAGS) and the default
    // character arguments (ERROR_INVALID_PARAMETER); Wine takes both. UTF-8 holds every
    // character; without WC_ERR_INVALID_CHARS an unpaired surrogate would become U+FFFD.
    return Convert(codePage, WC_ERR_INVALID_CHARS, text, out, nullptr) > 0;
  }
  BOOL usedDefault = FALSE;
  if (Convert(codePage, WC_NO_BEST_FIT_CHARS, text, out, &usedDefault) > 0) return !usedDefault;
  // ISO-2022, HZ, GB18030, ISCII and UTF-7 take no flags and no default character arguments
  // on Windows (ERROR_INVALID_FLAGS or ERROR_INVALID_PARAMETER); Wine cannot show it, as it
  // converts to none of them. Without the flag, only reading the bytes back tells a
  // replacement.
  const DWORD error = GetLastError();
  if (error != ERROR_INVALID_FLAGS && error != ERROR_INVALID_PARAMETER) return false;
  return Convert(codePage, 0, text, out, nullptr) > 0 && ReadsBackAs(out, codePage, text);
}

bool IsSurrogatePair(std::wstring_view text, size_t at) {
  return at + 1 < text.size() && text[at] >= 0xD800 && text[at] < 0xDC00 &&
         text[at + 1] >= 0xDC00 && text[at + 1] < 0xE000;
}

}  // namespace

bool WideToCodePage(std::wstring_view text, UINT codePage, std::string& out) {
  if (text.empty()) {
    out.clear();
    return true;
  }
  if (text.size() <= INT_MAX && ConvertsExactly(text, codePage, out)) return true;
  // Character by character, so that only what cannot be converted becomes "?": rare enough
  // (names the code page cannot hold) to pay a call each.
  out.clear();
  std::string piece;
  for (size_t at = 0; at < text.size();) {
    const size_t length = IsSurrogatePair(text, at) ? 2 : 1;
    if (ConvertsExactly(text.substr(at, length), codePage, piece))
      out += piece;
    else
      out += '?';
    at += length;
  }
  return false;
}

std::string WideToSystemText(const wchar_t* text, int length) {
  std::string out;
  if (length > 0)
    WideToCodePage(std::wstring_view(text, static_cast<size_t>(length)), GetACP(), out);
  return out;
}

std::wstring SystemTextToWide(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), n);
  return out;
}

}  // namespace qm
