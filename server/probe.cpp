#include "server/probe.h"

#include "base/handles.h"

#include <windows.h>
#include <winternl.h>

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
    if (FreeBytesThroughHeldRoot(root, bytes)) return true;
    ULARGE_INTEGER freeToCaller{};
    if (!GetDiskFreeSpaceExA(root, &freeToCaller, nullptr, nullptr)) return false;
    bytes = freeToCaller.QuadPart;
    return true;
  }

  void ReleaseHeld() override { held.root.reset(); }

 private:
  // A copy run asks after every file: GetDiskFreeSpaceExA opens and closes the root each time,
  // which costs as much as a small file's copy under Wine. The root stays open on the asking
  // thread instead, and the volume answers through its handle; every answer is read anew.
  struct HeldRoot {
    char drive = '\0';
    UniqueFile root;
  };
  static thread_local HeldRoot held;

  static bool FreeBytesThroughHeldRoot(const char* root, uint64_t& bytes) {
    using QueryVolume = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                         FS_INFORMATION_CLASS);
    static const auto query = reinterpret_cast<QueryVolume>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryVolumeInformationFile")));
    if (query == nullptr) return false;
    if (!held.root || held.drive != root[0]) {
      held.root.reset(CreateFileA(root, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      held.drive = root[0];
      if (!held.root) return false;
    }
    FILE_FS_FULL_SIZE_INFORMATION info{};
    IO_STATUS_BLOCK status{};
    if (query(held.root.get(), &status, &info, sizeof info, FileFsFullSizeInformation) < 0) {
      held.root.reset();  // a volume gone or changed: the next call opens it again
      return false;
    }
    bytes = static_cast<uint64_t>(info.CallerAvailableAllocationUnits.QuadPart) *
            info.SectorsPerAllocationUnit * info.BytesPerSector;
    return true;
  }
};

thread_local SystemProbe::HeldRoot SystemProbe::held;

}  // namespace

VolumeProbe& SystemVolumeProbe() {
  static SystemProbe probe;
  return probe;
}

}  // namespace qm
