// The tool unit shared by the server and the configuration program: the single-instance step,
// the date format record and its date-time texts, conf.xml element lines, folder chains and the
// kilobyte rounding.
#pragma once

#include "base/datetime.h"
#include "base/locale.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// 1 January 2004 00:00: stands for "never synchronised" everywhere.
constexpr DateTime NeverSyncDate = 37987.0;

// The one date format record of a program; filled once at start, then only read.
struct FormatSettings {
  char decimalSeparator = '.';
  char dateSeparator = '-';
  char timeSeparator = ':';
  std::string shortDateFormat = "dd-mm-yyyy";
  std::string shortTimeFormat = "HH:mm:ss";
  LocaleTimeFormat longTime;  // the locale's: the time part of every date-time text
};

extern FormatSettings FmtSettings;

// Fills FmtSettings from the user's locale, then the fixed separators and formats.
void FillFmtSettings(const std::string& shortDateFormat);

// "dd-mm-yyyy", and " " + the locale's long time when h:m:s is not 00:00:00 (milliseconds do
// not count). A 12-hour locale whose AM and PM strings are empty or equal gets the 24-hour
// clock, so that every text reads back to the same time.
std::string DateTimeToText(DateTime t, const FormatSettings& fs = FmtSettings);
// Reads what DateTimeToText writes: day-month-year, then optionally blanks and a time with
// optional seconds and an AM/PM string (the locale's or the English one) before or after it.
bool TryTextToDateTime(const std::string& text, DateTime& out,
                       const FormatSettings& fs = FmtSettings);
DateTime TextToDateTime(const std::string& text,
                        const FormatSettings& fs = FmtSettings);  // throws std::invalid_argument

// The single-instance step; mode 1 server, 2 configuration program, 3 both without asking.
// Other copies are terminated at once (exit code 0, not waited for). Any answer but Yes ends
// the calling process at once with exit code 0.
void CloseRunningCopies(int mode);
// The name rule of that step for one process image name (exposed for tests).
bool ImageMatchesMode(const std::string& imageName, int mode);
// One entry of the system's process list.
struct ProcessEntry {
  uint32_t id = 0;
  std::string image;  // as the list gives it, folder and all
};
// The ids of the copies that the step ends among a process list, in list order: the entries
// that match mode, other than ownId (exposed for tests).
std::vector<uint32_t> RunningCopiesAmong(const std::vector<ProcessEntry>& processes, int mode,
                                         uint32_t ownId);

// " <name>value</name> " with & and < of the value as entity references.
std::string XmlElementLine(const std::string& name, const std::string& value);
std::string XmlEscapeText(const std::string& value);

// Creates the folders of full below root (a leading part of full ending in "\"), top down.
// Whatever already exists on the way is accepted, even a file. True when full ends in "\"
// and its last folder exists, or when the last folder of full was created by this call;
// false when a creation failed or root does not lead full.
bool ForceDirChain(const std::string& root, const std::string& full);

// Bytes to kilobytes, halves to even; a result of 0 becomes 1 (also for small negatives).
int32_t BytesToKB(int32_t n);
// The same for 64-bit byte counts (files of 2 GiB and more); saturates at INT32_MAX.
int32_t BytesToKB64(uint64_t n);

}  // namespace qm
