#include "tools/tools.h"

#include <cctype>
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

// A 12-hour text can only be read back when its markers tell the halves of the day apart.
bool MarkersTellHalvesApart(const LocaleTimeFormat& lt) {
  return !lt.am.empty() && !lt.pm.empty() && lt.am != lt.pm;
}

std::string LongTimeText(const DateTimeParts& p, const FormatSettings& fs) {
  const LocaleTimeFormat& lt = fs.longTime;
  // Without usable markers "2:07:09" would stand for both 02:07:09 and 14:07:09 and the time
  // would come back twelve hours off; such a locale gets the 24-hour clock instead.
  const bool twelveHour = lt.twelveHour && MarkersTellHalvesApart(lt);
  int hour = p.hour;
  if (twelveHour) {
    hour = p.hour % 12;
    if (hour == 0) hour = 12;
  }
  std::string text = lt.leadingZeroHour ? TwoDigits(hour) : std::to_string(hour);
  text += fs.timeSeparator + TwoDigits(p.minute) + fs.timeSeparator + TwoDigits(p.second);
  if (twelveHour) {
    const std::string& marker = p.hour < 12 ? lt.am : lt.pm;
    text = lt.markerBefore ? marker + " " + text : text + " " + marker;
  }
  return text;
}

class TextReader {
 public:
  explicit TextReader(const std::string& text) : s_(text) {}

  bool AtEnd() const { return pos_ == s_.size(); }

  // One to maxDigits decimal digits.
  bool Number(size_t maxDigits, int& value, size_t* digits = nullptr) {
    const size_t start = pos_;
    value = 0;
    while (pos_ < s_.size() && pos_ - start < maxDigits &&
           std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
      value = value * 10 + (s_[pos_] - '0');
      ++pos_;
    }
    if (digits) *digits = pos_ - start;
    return pos_ > start;
  }

  bool Char(char c) {
    if (pos_ >= s_.size() || s_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  size_t Blanks() {
    const size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
    return pos_ - start;
  }

  enum Marker { kNoMarker, kAm, kPm };

  // The locale's strings or the plain English ones, in any letter case; the longest that
  // fits wins, so that a marker which begins with another one is not cut short.
  Marker ReadMarker(const LocaleTimeFormat& lt) {
    const std::string candidates[4] = {lt.am, lt.pm, "AM", "PM"};
    Marker found = kNoMarker;
    size_t length = 0;
    for (int i = 0; i < 4; ++i) {
      const std::string& c = candidates[i];
      if (c.size() > length && StartsWithNoCase(c)) {
        found = i % 2 == 0 ? kAm : kPm;
        length = c.size();
      }
    }
    pos_ += length;
    return found;
  }

 private:
  bool StartsWithNoCase(const std::string& word) const {
    if (s_.size() - pos_ < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (std::toupper(static_cast<unsigned char>(s_[pos_ + i])) !=
          std::toupper(static_cast<unsigned char>(word[i])))
        return false;
    }
    return true;
  }

  const std::string& s_;
  size_t pos_ = 0;
};

bool ReadDate(TextReader& in, char separator, DateTimeParts& p) {
  size_t yearDigits = 0;
  if (!in.Number(2, p.day) || !in.Char(separator) || !in.Number(2, p.month) ||
      !in.Char(separator) || !in.Number(4, p.year, &yearDigits))
    return false;
  if (yearDigits <= 2) p.year += p.year < 50 ? 2000 : 1900;
  return true;
}

bool ReadTime(TextReader& in, const FormatSettings& fs, DateTimeParts& p) {
  TextReader::Marker marker = in.ReadMarker(fs.longTime);
  if (marker != TextReader::kNoMarker) in.Blanks();
  if (!in.Number(2, p.hour) || !in.Char(fs.timeSeparator) || !in.Number(2, p.minute))
    return false;
  if (in.Char(fs.timeSeparator) && !in.Number(2, p.second)) return false;
  in.Blanks();
  if (marker == TextReader::kNoMarker) {
    marker = in.ReadMarker(fs.longTime);
    in.Blanks();
  }
  if (!in.AtEnd()) return false;
  if (marker == TextReader::kNoMarker) return true;
  if (p.hour < 1 || p.hour > 12) return false;
  if (marker == TextReader::kAm && p.hour == 12) p.hour = 0;
  if (marker == TextReader::kPm && p.hour != 12) p.hour += 12;
  return true;
}

}  // namespace

std::string DateTimeToText(DateTime t, const FormatSettings& fs) {
  const DateTimeParts p = DecodeDateTime(t);
  const std::string year = std::to_string(p.year);
  std::string text = TwoDigits(p.day) + fs.dateSeparator + TwoDigits(p.month) + fs.dateSeparator +
                     std::string(4 - year.size(), '0') + year;
  if (p.hour != 0 || p.minute != 0 || p.second != 0) text += " " + LongTimeText(p, fs);
  return text;
}

bool TryTextToDateTime(const std::string& text, DateTime& out, const FormatSettings& fs) {
  TextReader in(text);
  DateTimeParts p;
  in.Blanks();
  if (!ReadDate(in, fs.dateSeparator, p)) return false;
  const size_t blanks = in.Blanks();
  if (!in.AtEnd() && (blanks == 0 || !ReadTime(in, fs, p))) return false;
  return TryEncodeDateTime(p, out);
}

DateTime TextToDateTime(const std::string& text, const FormatSettings& fs) {
  DateTime t = 0;
  if (!TryTextToDateTime(text, t, fs))
    throw std::invalid_argument("'" + text + "' is not a valid date and time");
  return t;
}

}  // namespace qm
