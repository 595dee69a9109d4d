// The control protocol between the configuration program and the server, and the registry key
// where the two find each other. The server owns the protocol; the configuration program is its
// client. Both programs include this header and nothing of each other.
#pragma once

#include "base/datetime.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace qm {

// Posted by the client with its own window as wParam and a command code as lParam; the server
// answers with the same message (its control window as wParam, lParam 0 done, 1 failed).
constexpr UINT WM_SYNCCONTROL = WM_USER + 18;  // 1042

enum ControlCommand : LPARAM {
  cmdSuspend = 1,
  cmdResume = 2,
  cmdSyncNow = 3,
  cmdStop = 4,
  cmdStatus = 5,
  cmdGuiStarted = 7,
  cmdReload = 8,
};

enum ServerStateCode : uint8_t { ssReady = 0, ssStopped = 1, ssNoTarget = 2, ssSync = 3, ssError = 4 };

// HKEY_LOCAL_MACHINE: InstallDir (string, folder ending in "\") and Handle (integer, the
// server's control window).
constexpr const char* kServerKeyPath = "Software\\Harvo Software\\Quillmere\\Server";
constexpr const char* kInstallDirValue = "InstallDir";
constexpr const char* kHandleValue = "Handle";

// The window class of the server's control window: the client posts commands only to a live
// window of this class.
constexpr const char* kServerControlClass = "TfrQuillmereServControl";

// The status answer, sent by WM_COPYDATA with dwData kStatusDataId: bytes 0-7 the last-sync
// time (little-endian IEEE double), byte 8 the state, bytes 9-15 zero.
constexpr ULONG_PTR kStatusDataId = 1;
constexpr size_t kStatusSize = 16;

#pragma pack(push, 1)
struct TServerStatus {
  double LastSync;
  uint8_t State;
  uint8_t Reserved[7];
};
#pragma pack(pop)
static_assert(sizeof(TServerStatus) == kStatusSize);

// The 16 wire bytes of a status, bytes 9-15 zero.
TServerStatus EncodeServerStatus(DateTime lastSync, uint8_t state);

// Reads a status from a WM_COPYDATA block that comes from any program on the desktop: never
// past size. nullopt for a null block, fewer than 16 bytes, or a last-sync value that is no
// date at all (NaN, an infinity, outside years 1..9999). Bytes 9-15 are ignored.
std::optional<TServerStatus> DecodeServerStatus(const void* data, size_t size);

}  // namespace qm
