#include "tools/tools.h"

#include <windows.h>

#include <cctype>
#include <cstdint>

namespace qm {

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

namespace {

// Windows compares paths without regard to letter case.
bool StartsWithPathNoCase(const std::string& full, const std::string& root) {
  if (full.size() < root.size()) return false;
  for (size_t i = 0; i < root.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(full[i])) !=
        std::toupper(static_cast<unsigned char>(root[i])))
      return false;
  }
  return true;
}

}  // namespace

bool ForceDirChain(const std::string& root, const std::string& full) {
  // A root that is not the start of full would make the cut below land in the middle of a
  // name and create folders nobody asked for.
  if (!StartsWithPathNoCase(full, root)) return false;
  if (full.size() == root.size()) return true;
  const std::string rest = full.substr(root.size());
  const size_t slash = rest.find('\\');
  if (slash == std::string::npos) return CreateDirectoryA(full.c_str(), nullptr) != FALSE;
  const std::string next = root + rest.substr(0, slash);
  if (GetFileAttributesA(next.c_str()) == INVALID_FILE_ATTRIBUTES &&
      !CreateDirectoryA(next.c_str(), nullptr))
    return false;
  return ForceDirChain(next + "\\", full);
}

namespace {

// q + r/1024 (0 <= r < 1024) to the nearest integer, halves to the even neighbour; exact in
// integers, so no floating-point rounding mode can change the result.
int64_t RoundKilobytes(int64_t q, int64_t r) {
  if (r > 512 || (r == 512 && (q & 1) != 0)) ++q;
  return q;
}

int32_t AtLeastOneWhereZero(int64_t kb) {
  if (kb == 0) return 1;
  if (kb > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(kb);
}

}  // namespace

int32_t BytesToKB(int32_t n) {
  int64_t q = n / 1024, r = n % 1024;
  if (r < 0) {  // C++ division truncates; the halves rule needs the floor
    r += 1024;
    --q;
  }
  return AtLeastOneWhereZero(RoundKilobytes(q, r));
}

int32_t BytesToKB64(uint64_t n) {
  return AtLeastOneWhereZero(RoundKilobytes(static_cast<int64_t>(n / 1024),
                                            static_cast<int64_t>(n % 1024)));
}

}  // namespace qm
