// The tray's pictures, texts and menu commands, and the one door to the shell's notification
// area, which tests replace to count and inspect what the server sends.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>

namespace qm {

constexpr int kTrayStateCount = 5;
constexpr int kTrayIconSize = 16;

// Indexed by the server state code.
inline constexpr const char* TrayStateTexts[kTrayStateCount] = {"Ready", "Stopped", "No target", "Sync",
                                                                "Error"};

// A state code outside the table is shown as an error rather than read past the table's end.
constexpr int TrayStateIndex(uint8_t state) { return state < kTrayStateCount ? state : kTrayStateCount - 1; }

// A new 16 x 16 icon with the image of a state (0 ready ... 4 error); the caller owns it.
// Pure white is the transparent background, so the images use no pure white of their own.
// Null only when the system refuses to make the bitmaps.
HICON CreateStateIcon(uint8_t state);

// Command identifiers of the tray menu's items.
enum TrayMenuCommand : UINT {
  kTrayStateItem = 1,
  kTrayTagsItem = 2,
  kTrayExitItem = 3,
};

// Class of the hidden window that receives the icon's mouse messages.
constexpr const char* kTrayWindowClass = "QuillmereServTray";

using ShellNotifyIconFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA data);

// Every NIM_ADD, NIM_MODIFY and NIM_DELETE of the server goes through this pointer;
// Shell_NotifyIconA unless a test has put its own function here.
extern ShellNotifyIconFunction TrayNotifyIcon;

}  // namespace qm
