// The tool unit shared by the server and the configuration program: the single-instance step,
// the date format record and its date-time texts, conf.xml element lines, folder chains and the
// kilobyte rounding.
#pragma once

#include "base/datetime.h"
#include "base/locale.h"

#include <cstdint>
#include <string>

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

// "dd-mm-yyyy", and " " + long time when h:m:s is not 00:00:00 (milliseconds do not count).
std::string DateTimeToText(DateTime t, const FormatSettings& fs = FmtSettings);
// Reads what DateTimeToText writes (time part optional, seconds optional, AM/PM optional).
bool TryTextToDateTime(const std::string& text, DateTime& out,
                       const FormatSettings& fs = FmtSettings);
DateTime TextToDateTime(const std::string& text,
                        const FormatSettings& fs = FmtSettings);  // throws std::invalid_argument

// The single-instance step; mode 1 server, 2 configuration program, 3 both without asking.
// A No answer ends the calling process at once.
void CloseRunningCopies(int mode);
// The name rule of that step for one process image name (exposed for tests).
bool ImageMatchesMode(const std::string& imageName, int mode);

// " <name>value</name> " with & and < of the value as entity references.
std::string XmlElementLine(const std::string& name, const std::string& value);
std::string XmlEscapeText(const std::string& value);

// Creates the folders of full below root, top down (see the tests for the exact results).
bool ForceDirChain(const std::string& root, const std::string& full);

// Bytes to kilobytes, halves to even, never 0 for n >= 0.
int32_t BytesToKB(int32_t n);
// The same for 64-bit byte counts (files of 2 GiB and more); saturates at INT32_MAX.
int32_t BytesToKB64(uint64_t n);

}  // namespace qm
