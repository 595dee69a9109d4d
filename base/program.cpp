#include "base/program.h"

#include "base/codepage.h"

#include <windows.h>

#include <vector>

namespace qm {

std::string ProgramFolder() {
  // In UTF-16: GetModuleFileNameA would hand a folder the code page cannot hold over as its
  // best-fit look-alike, another folder, where conf.xml and the log would then be read and
  // written. With "?" in its place, the path names no folder at all.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      const std::string path = WideToSystemText(buffer.data(), static_cast<int>(n));
      return path.substr(0, path.find_last_of('\\') + 1);
    }
    // A path longer than the buffer comes back cut off: ask again with more room.
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace qm
