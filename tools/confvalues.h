// Value rules of conf.xml that both programs apply, so that what one writes the other reads
// back the same: signed 32-bit integers, the sync period in milliseconds, and the conversion of
// names into the declared Windows-1251.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qm {

// The code page that conf.xml always declares.
constexpr UINT kDeclaredCodePage = 1251;

// A signed 32-bit decimal integer, blanks around it allowed; throws std::invalid_argument on
// anything else (empty, other characters, out of range).
int32_t ParseInt32(const std::string& text);

// Sync period conversions between milliseconds and days, through extended precision, so that
// every millisecond count a load accepts comes back unchanged from a save.
double MsToPeriod(int32_t ms);
int64_t PeriodToMs(double days);

// Appends one character (a Unicode code point) as its byte in codePage, or, lacking one, as a
// numeric character reference.
void AppendCharacter(std::string& out, unsigned code, UINT codePage);

// System code page text into the declared encoding: byte for byte where the system code page is
// Windows-1251; elsewhere each character as its Windows-1251 byte or a character reference, so
// that every name reads back as it was.
std::string ToDeclaredEncoding(const std::string& systemText);

}  // namespace qm
