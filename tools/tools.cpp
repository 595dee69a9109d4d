#include "tools/tools.h"

#include "base/fileio.h"

#include <windows.h>

#include <cctype>
#include <cmath>
#include <stdexcept>

namespace qm {

FormatSettings FmtSettings;

void FillFmtSettings(const std::string& shortDateFormat) {
  FormatSettings fs;
  fs.longTime = UserLocaleTimeFormat();
  fs.decimalSeparator = '.';
  fs.dateSeparator = '-';
  fs.timeSeparator = ':';
  fs.shortDateFormat = shortDateFormat;
  fs.shortTimeFormat = "HH:mm:ss";
  FmtSettings = fs;
}

namespace {

std::string TwoDigits(int n) {
  std::string s = std::to_string(n);
  return s.size() < 2 ? "0" + s : s;
}

std::string LongTimeText(const DateTimeParts& p, const FormatSettings& fs) {
  const LocaleTimeFormat& lt = fs.longTime;
  int hour = p.hour;
  if (lt.twelveHour) {
    hour = p.hour % 12;
    if (hour == 0) hour = 12;
  }
  std::string text = lt.leadingZeroHour ? TwoDigits(hour) : std::to_string(hour);
  text += fs.timeSeparator + TwoDigits(p.minute) + fs.timeSeparator + TwoDigits(p.second);
  if (lt.twelveHour) {
    const std::string& marker = p.hour < 12 ? lt.am : lt.pm;
    if (!marker.empty()) text = lt.markerBefore ? marker + " " + text : text + " " + marker;
  }
  return text;
}

// Reads a run of 1..maxDigits digits at pos.
bool ReadNumber(const std::string& s, size_t& pos, size_t maxDigits, int& value) {
  size_t start = pos;
  value = 0;
  while (pos < s.size() && pos - start < maxDigits && std::isdigit(static_cast<unsigned char>(s[pos]))) {
    value = value * 10 + (s[pos] - '0');
    ++pos;
  }
  return pos > start;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// A marker at pos: the locale's strings first, then the plain AM/PM; 0 none, 1 am, 2 pm.
int ReadMarker(const std::string& s, size_t& pos, const LocaleTimeFormat& lt) {
  const std::string candidates[4] = {lt.am, lt.pm, "AM", "PM"};
  for (int i = 0; i < 4; ++i) {
    const std::string& c = candidates[i];
    if (!c.empty() && s.size() - pos >= c.size() && EqualsNoCase(s.substr(pos, c.size()), c)) {
      pos += c.size();
      return i % 2 == 0 ? 1 : 2;
    }
  }
  return 0;
}

void SkipBlanks(const std::string& s, size_t& pos) {
  while (pos < s.size() && s[pos] == ' ') ++pos;
}

}  // namespace

std::string DateTimeToText(DateTime t, const FormatSettings& fs) {
  const DateTimeParts p = DecodeDateTime(t);
  std::string text = TwoDigits(p.day) + fs.dateSeparator + TwoDigits(p.month) + fs.dateSeparator;
  std::string year = std::to_string(p.year);
  text += std::string(year.size() < 4 ? 4 - year.size() : 0, '0') + year;
  if (p.hour != 0 || p.minute != 0 || p.second != 0) text += " " + LongTimeText(p, fs);
  return text;
}

bool TryTextToDateTime(const std::string& raw, DateTime& out, const FormatSettings& fs) {
  std::string s = raw;
  size_t pos = 0;
  SkipBlanks(s, pos);
  DateTimeParts p;
  if (!ReadNumber(s, pos, 2, p.day) || pos >= s.size() || s[pos++] != fs.dateSeparator) return false;
  if (!ReadNumber(s, pos, 2, p.month) || pos >= s.size() || s[pos++] != fs.dateSeparator) return false;
  size_t yearStart = pos;
  if (!ReadNumber(s, pos, 4, p.year)) return false;
  if (pos - yearStart <= 2) p.year += p.year < 50 ? 2000 : 1900;  // two-digit years
  SkipBlanks(s, pos);
  if (pos < s.size()) {
    int marker = ReadMarker(s, pos, fs.longTime);
    SkipBlanks(s, pos);
    if (!ReadNumber(s, pos, 2, p.hour) || pos >= s.size() || s[pos++] != fs.timeSeparator) return false;
    if (!ReadNumber(s, pos, 2, p.minute)) return false;
    if (pos < s.size() && s[pos] == fs.timeSeparator) {
      ++pos;
      if (!ReadNumber(s, pos, 2, p.second)) return false;
    }
    SkipBlanks(s, pos);
    if (marker == 0 && pos < s.size()) marker = ReadMarker(s, pos, fs.longTime);
    SkipBlanks(s, pos);
    if (pos != s.size()) return false;
    if (marker != 0) {
      if (p.hour < 1 || p.hour > 12) return false;
      if (marker == 1 && p.hour == 12) p.hour = 0;
      if (marker == 2 && p.hour != 12) p.hour += 12;
    }
  }
  return TryEncodeDateTime(p, out);
}

DateTime TextToDateTime(const std::string& text, const FormatSettings& fs) {
  DateTime t = 0;
  if (!TryTextToDateTime(text, t, fs))
    throw std::invalid_argument("'" + text + "' is not a valid date and time");
  return t;
}

std::string XmlEscapeText(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else
      out += c;
  }
  return out;
}

std::string XmlElementLine(const std::string& name, const std::string& value) {
  return " <" + name + ">" + XmlEscapeText(value) + "</" + name + "> ";
}

bool ForceDirChain(const std::string& root, const std::string& full) {
  if (full.size() == root.size()) return true;
  if (full.size() < root.size()) return false;
  const std::string rest = full.substr(root.size());
  const size_t slash = rest.find('\\');
  if (slash == std::string::npos) return CreateDirectoryA(full.c_str(), nullptr) != FALSE;
  const std::string next = root + rest.substr(0, slash);
  if (GetFileAttributesA(next.c_str()) == INVALID_FILE_ATTRIBUTES &&
      !CreateDirectoryA(next.c_str(), nullptr))
    return false;
  return ForceDirChain(next + "\\", full);
}

int32_t BytesToKB(int32_t n) {
  // nearbyint follows the default rounding mode: to nearest, halves to even.
  const int32_t kb = static_cast<int32_t>(std::nearbyint(static_cast<double>(n) / 1024.0));
  return kb == 0 ? 1 : kb;
}

int32_t BytesToKB64(uint64_t n) {
  const double kb = std::nearbyint(static_cast<double>(n) / 1024.0);
  if (kb >= 2147483647.0) return 2147483647;
  return kb == 0 ? 1 : static_cast<int32_t>(kb);
}

// stub: the single-instance step comes with its own file
void CloseRunningCopies(int) {}
bool ImageMatchesMode(const std::string&, int) { return false; }

}  // namespace qm
