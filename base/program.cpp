#include "base/program.h"

#include <windows.h>

#include <vector>

namespace qm {

std::string ProgramFolder() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      std::string path(buffer.data(), n);
      return path.substr(0, path.find_last_of('\\') + 1);
    }
    // A path longer than the buffer comes back cut off: ask again with more room.
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace qm
