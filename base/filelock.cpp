#include "base/filelock.h"

#include "base/codepage.h"
#include "base/fileio.h"

#include <windows.h>

#include <cstdint>

namespace qm {
namespace {

// The full path with the folders' long names; the file itself need not exist yet.
std::wstring CanonicalPath(const std::wstring& path) {
  std::wstring full = FullPathOf(path);
  if (full.empty()) full = path;
  const size_t slash = full.find_last_of(L'\\');
  if (slash == std::wstring::npos) return full;
  const std::wstring folder = LongPathOf(full.substr(0, slash + 1));
  return folder.empty() ? full : folder + full.substr(slash + 1);
}

std::wstring UpperCase(const std::wstring& text) {
  if (text.empty()) return text;
  std::wstring upper(text.size(), L'\0');
  // The invariant mapping: both programs get the same name whatever the user's locale.
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(),
                              static_cast<int>(text.size()), upper.data(),
                              static_cast<int>(upper.size()), nullptr, nullptr, 0);
  return n == static_cast<int>(text.size()) ? upper : text;
}

}  // namespace

std::string FileWriteLock::NameFor(const std::string& path) {
  // FNV-1a over the UTF-16 units: a name never seen in the file system, so a collision would
  // only make two files share one lock.
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t unit : UpperCase(CanonicalPath(SystemTextToWide(path)))) {
    hash ^= static_cast<uint16_t>(unit);
    hash *= 1099511628211ull;
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string name = "Local\\Quillmere.FileWriteLock.";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return name;
}

FileWriteLock::FileWriteLock(const std::string& path)
    : mutex_(CreateMutexA(nullptr, FALSE, NameFor(path).c_str())) {}

FileWriteLock::~FileWriteLock() { Release(); }

bool FileWriteLock::Acquire(unsigned waitMs, const std::function<void()>& onBusy) {
  if (held_) return true;
  if (!mutex_) return false;
  DWORD result = WaitForSingleObject(mutex_.get(), 0);
  if (result == WAIT_TIMEOUT) {
    if (onBusy) onBusy();
    result = WaitForSingleObject(mutex_.get(), waitMs);
  }
  held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  return held_;
}

void FileWriteLock::Release() {
  if (!held_) return;
  ReleaseMutex(mutex_.get());
  held_ = false;
}

}  // namespace qm
