#include "tools/confvalues.h"

#include "base/xmldoc.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace qm {

// The period conversions are defined on the x87 80-bit format; a 64-bit long double would
// round differently.
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be 80-bit extended");

namespace {

// 1/86400000 rounded once to extended precision; load and save both use this same value, which
// makes every millisecond count a load accepts come back unchanged.
const long double kDaysPerMs = 1.0L / 86400000.0L;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

int32_t ParseInt32(const std::string& text) {
  size_t pos = 0, end = text.size();
  while (pos < end && IsBlank(text[pos])) ++pos;
  while (end > pos && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (pos < end && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  if (pos == end) throw std::invalid_argument("'" + text + "' is not a valid integer value");
  int64_t value = 0;
  for (; pos < end; ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') throw std::invalid_argument("'" + text + "' is not a valid integer value");
    value = value * 10 + (c - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1)
      throw std::invalid_argument("'" + text + "' is not a valid integer value");
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max())
    throw std::invalid_argument("'" + text + "' is not a valid integer value");
  return static_cast<int32_t>(value);
}

void AppendCharacter(std::string& out, unsigned code, UINT codePage) {
  if (!AppendCodePageByte(out, code, codePage)) out += "&#" + std::to_string(code) + ";";
}

double MsToPeriod(int32_t ms) {
  return static_cast<double>(static_cast<long double>(ms) * kDaysPerMs);
}

int64_t PeriodToMs(double days) {
  const long double ms = static_cast<long double>(days) / kDaysPerMs;
  // Out of range only for a period no load can give; llrintl would be undefined there.
  if (!(std::fabs(ms) < 9.0e18L)) return 0;
  return llrintl(ms);  // the default rounding mode: to nearest, halves to even
}

std::string ToDeclaredEncoding(const std::string& systemText) {
  if (GetACP() == kDeclaredCodePage) return systemText;
  bool plain = true;
  for (char c : systemText) plain = plain && static_cast<unsigned char>(c) < 0x80;
  if (plain) return systemText;
  const std::wstring wide = SystemTextToWide(systemText);
  std::string out;
  out.reserve(systemText.size() + 16);
  for (size_t i = 0; i < wide.size(); ++i) {
    unsigned code = wide[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
    AppendCharacter(out, code, kDeclaredCodePage);
  }
  return out;
}

}  // namespace qm
