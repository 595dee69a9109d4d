// The one conversion from UTF-16 to a code page, by the code page as a parameter: Wine's system
// code page follows the Unix locale, so a UTF-8 system code page cannot be had under it.
#include "base/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

struct Case {
  UINT codePage;
  std::wstring text;
  std::string bytes;
  bool exact;
};

const wchar_t kLoneHigh[] = {L'a', 0xD800, L'b', 0};
const wchar_t kLoneLow[] = {0xDC00, 0};
const wchar_t kPair[] = {0xD83D, 0xDE00, 0};  // U+1F600, outside the BMP

const std::vector<Case> kCases = {
    // Best fit would make these "cafe", "a" and "Lodz": other files' names.
    {1251, L"caf\u00E9", "caf?", false},
    {1251, L"\u0101", "?", false},
    {1252, L"\u0141\u00F3d\u017A", "?\xF3" "d?", false},
    {1251, L"\u0414\u043E\u043A", "\xC4\xEE\xEA", true},
    {1252, L"caf\u00E9 \u20AC", "caf\xE9 \x80", true},
    {1252, L"a?b", "a?b", true},  // a "?" of the text itself is no replacement
    {1252, L"\u8CC7\u6599", "??", false},
    {1252, L"", "", true},
    // Two bytes a UTF-16 unit do not hold UTF-8 from U+0800 up.
    {CP_UTF8, L"\u8CC7\u6599", "\xE8\xB3\x87\xE6\x96\x99", true},
    {CP_UTF8, L"\u20AC\u20AC", "\xE2\x82\xAC\xE2\x82\xAC", true},
    {CP_UTF8, std::wstring(300, L'\u8CC7'), [] {
       std::string s;
       for (int i = 0; i < 300; ++i) s += "\xE8\xB3\x87";
       return s;
     }(), true},
    {CP_UTF8, kPair, "\xF0\x9F\x98\x80", true},
    // An unpaired surrogate fails instead of becoming U+FFFD.
    {CP_UTF8, kLoneHigh, "a?b", false},
    {CP_UTF8, kLoneLow, "?", false},
    {932, L"\u8CC7\u6599", "\x8E\x91\x97\xBF", true},
    {932, L"\u00E9x", "?x", false},
};

TEST(WideToCodePage, GivesTheBytesAndWhetherEveryCharacterConvertedToItself) {
  for (const Case& c : kCases) {
    std::string out = "left over";
    const bool exact = WideToCodePage(c.text, c.codePage, out);
    EXPECT_EQ(out, c.bytes) << c.codePage << " case of " << c.text.size() << " units";
    EXPECT_EQ(exact, c.exact) << c.codePage << " " << c.bytes;
  }
}

}  // namespace
}  // namespace qm
