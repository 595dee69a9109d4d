#include "server/probe.h"

#include <windows.h>

namespace qm {
namespace {

class SystemProbe final : public VolumeProbe {
 public:
  bool VolumeAnswers(const std::string& root) override {
    // No output buffers: only whether the volume answers matters. A missing removable disk
    // would otherwise raise Windows' own "insert a disk" box on the sync thread.
    // The thread's own mode, so that the main thread's dialogs are not affected.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    const BOOL ok = GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                          nullptr, 0);
    SetThreadErrorMode(oldMode, nullptr);
    return ok != FALSE;
  }

  bool FreeBytes(char driveLetter, uint64_t& bytes) override {
    const char root[4] = {driveLetter, ':', '\\', '\0'};
    ULARGE_INTEGER freeToCaller{};
    if (!GetDiskFreeSpaceExA(root, &freeToCaller, nullptr, nullptr)) return false;
    bytes = freeToCaller.QuadPart;
    return true;
  }
};

}  // namespace

VolumeProbe& SystemVolumeProbe() {
  static SystemProbe probe;
  return probe;
}

}  // namespace qm
