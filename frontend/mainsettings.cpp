// The main window's two settings of the server: the target folder (btTargetSet) and the scan
// interval (btScanSet), each applied only by its button, written to conf.xml and announced to
// the server.
#include "frontend/mainform.h"

#include "base/prompt.h"
#include "frontend/screentext.h"
#include "frontend/tagentry.h"
#include "frontend/targetpath.h"
#include "tools/tools.h"

#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>

namespace qm {
namespace {

// syncperiod is read as a signed 32-bit count of milliseconds by both programs: 596 hours is
// the most that fits; every minute value of the field (up to 999) does.
constexpr int kMaxScanHours = 596;
constexpr int kMaxScanMinutes = 999;
constexpr int64_t kHourMs = 3600000;
constexpr int64_t kMinuteMs = 60000;

constexpr const char* kSameTargetCaption = "New target volume is equal to current target volume";
// The dash is the en dash of single-byte Windows text.
constexpr const char* kSameTargetText =
    "New Target Volume is the same as Current Target Volume \x96 No Change Saved!";
constexpr const char* kNoVolumeCaption = "Invalid Target Volume";
constexpr const char* kNoVolumeText =
    "The selected Target Volume is not available on this PC. Please use Browse to view a list of "
    "the curently available Volumes and Directories.";
constexpr const char* kNoFolderCaption = "Invalid Target Volume Directory";
constexpr const char* kNoFolderText =
    "The selected Target Directory does not exist. Do you want Quillmere to create it?";
constexpr const char* kConfirmCaption = "Are You Sure?";
constexpr const char* kConfirmText =
    "When you change the Target Volume the complete list of Tagged Files will be copied to this "
    "new location. Are you sure you wish to Proceed?";
constexpr const char* kCannotCreateText = "Can't create new directiry:";
constexpr const char* kErrorCaption = "Error";

}  // namespace

void TfrMain::btTargetSetClick() {
  try {
    const std::string target = NormaliseTargetText(TextOf(eTarget));
    SetTextOf(eTarget, target);  // kept whatever follows
    if (target.empty()) return;

    // A missing or unreadable stored target counts as different, so that it can be repaired.
    std::optional<std::string> current;
    try {
      const XmlNode stored = ConfXML.Root().ChildByName("targetdrive");
      if (!stored.IsNull()) current = stored.Text();
    } catch (...) {
    }
    if (current == target) {
      ShowMessageBox(hwnd(), kSameTargetText, kSameTargetCaption, MB_OK);
      return;
    }

    if (!HasDriveRoot(target) || !VolumePresent(target)) {
      ShowMessageBox(hwnd(), kNoVolumeText, kNoVolumeCaption, MB_OK);
      return;
    }
    // A search would find "E:\back*" as "E:\backup", and the server cannot copy to the pattern.
    if (HasWildcard(target)) {
      ShowMessageBox(hwnd(), kUnknownEntryText, kUnknownEntryCaption, MB_OK);
      return;
    }

    const std::string folder = TargetFolderOf(target);
    FoundEntry found;
    if (target.size() > 3 && !FindEntry(folder, found)) {
      if (ShowMessageBox(hwnd(), kNoFolderText, kNoFolderCaption, MB_YESNO) != IDYES) return;
      // Folders made before a failure stay.
      if (!ForceDirChain(folder.substr(0, 3), folder)) {
        ShowMessageBox(hwnd(), kCannotCreateText + folder, kErrorCaption, MB_OK | MB_ICONERROR);
        return;
      }
    }

    if (ShowMessageBox(hwnd(), kConfirmText, kConfirmCaption, MB_YESNO) == IDNO) return;
    if (ApplySetting("targetdrive", folder.back() == '\\' ? folder : folder + "\\"))
      ShowTargetLabel();
  } catch (...) {
    // The edit keeps the normalised text.
  }
}

void TfrMain::btScanSetClick() {
  const int64_t factor = UnitsIndex() == kHoursUnit ? kHourMs : kMinuteMs;
  if (!ApplySetting("syncperiod", std::to_string(ScanIntervalValue() * factor))) return;
  SetTextOf(lbScanInterval, TextOf(speScanInterval) + " " + TextOf(cbUnits));
}

void TfrMain::cbUnitsChange() {
  const int high = UnitsIndex() == kHoursUnit ? kMaxScanHours : kMaxScanMinutes;
  SendMessageA(speScanArrows, UDM_SETRANGE32, 1, high);
  if (ScanIntervalValue() > high) SetScanIntervalValue(high);
}

}  // namespace qm
