#include "frontend/targetpath.h"

#include <windows.h>

namespace qm {

std::string NormaliseTargetText(const std::string& text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  std::string trimmed = text.substr(begin, end - begin);
  if (!trimmed.empty() && trimmed.back() != '\\') trimmed += '\\';
  return trimmed;
}

bool HasDriveRoot(const std::string& target) {
  if (target.size() < 3) return false;
  const char letter = target[0];
  return ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) &&
         target[1] == ':' && target[2] == '\\';
}

std::string TargetFolderOf(const std::string& target) {
  return target.size() > 3 && target.back() == '\\' ? target.substr(0, target.size() - 1)
                                                   : target;
}

bool VolumePresent(const std::string& root) {
  // For this thread only: the help thread may show its own boxes meanwhile.
  DWORD previous = 0;
  const bool switched = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous) != FALSE;
  const bool present = GetVolumeInformationA(root.substr(0, 3).c_str(), nullptr, 0, nullptr,
                                             nullptr, nullptr, nullptr, 0) != FALSE;
  if (switched) SetThreadErrorMode(previous, nullptr);
  return present;
}

}  // namespace qm
