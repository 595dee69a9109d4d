// The main window's side of conf.xml: loading it with its questions, showing it, saving it and
// telling the server to reload it.
//
// Every step that reads a value stands alone: a missing or unreadable value leaves the controls
// it would fill as they were, and the next step goes on.
#include "frontend/mainform.h"

#include "base/prompt.h"
#include "frontend/screentext.h"
#include "frontend/serverlink.h"
#include "tools/confvalues.h"
#include "tools/tools.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace qm {
namespace {

constexpr int kUntagImage = 4;
constexpr int kNameColumn = 1;
constexpr int kPathColumn = 2;
constexpr int kLastSyncColumn = 3;
constexpr int kSizeColumn = 4;

void SetCellText(HWND list, int row, int column, const std::string& text) {
  LVITEMA cell{};
  cell.iSubItem = column;
  cell.pszText = const_cast<char*>(text.c_str());
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
}

void SetCellImage(HWND list, int row, int column, int image) {
  LVITEMA cell{};
  cell.mask = LVIF_IMAGE;
  cell.iItem = row;
  cell.iSubItem = column;
  // Negative numbers are the list's own markers (-1 asks the window for the image each time);
  // a kind the image list lacks shows no picture either way.
  cell.iImage = image >= 0 ? image : I_IMAGENONE;
  SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell));
}

std::string ComboItemText(HWND combo, int index) {
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

int TfrMain::AskYesNo(const std::string& text, const std::string& caption) {
  return ShowMessageBox(hwnd(), text, caption, MB_YESNO);
}

void TfrMain::LoadConfig() {
  try {
    ConfXML.Load(
        FConfPath, [this](const std::string& text, const std::string& caption) {
          return AskYesNo(text, caption);
        },
        env_.clock->Now());
  } catch (...) {
    // The window still shows what it can of whatever the document holds.
  }
  // The session ended while the load's question was open: the window has gone, and the
  // document goes with it, as at every end.
  if (!hwnd()) {
    FormClose();
    return;
  }
  ShowConfig();
}

void TfrMain::ShowConfig() {
  XmlNode root;
  try {
    root = ConfXML.Root();
  } catch (...) {
    // Each step below then fails on its own and leaves its controls alone.
  }

  try {
    SetTextOf(eTarget, root.ChildByNameOrAppend("targetdrive").Text());
    ShowTargetLabel();
  } catch (...) {
  }

  try {
    const IntervalView view =
        IntervalFromPeriod(ParseInt32(root.ChildByNameOrAppend("syncperiod").Text()));
    // The unit first: it sets the range that the value must fit.
    SetUnitsIndex(view.unitIndex);
    SetScanIntervalValue(view.value);
    SetTextOf(lbScanInterval,
              TextOf(speScanInterval) + " " + ComboItemText(cbUnits, UnitsIndex()));
  } catch (...) {
  }

  try {
    const DateTime lastSync = TextToDateTime(root.ChildByNameOrAppend("lastsyncdate").Text());
    SetTextOf(lbLastScan, LastSyncText(lastSync));
  } catch (...) {
  }

  // Row i stands for child i of tagslist; the rows go even when nothing else could be shown.
  ++ownRowRemovals_;  // a reload is no user's selection
  SendMessageA(lvTagged, LVM_DELETEALLITEMS, 0, 0);
  --ownRowRemovals_;
  try {
    // The children in one walk: the rows add no child to tagslist, so this is its count too.
    const std::vector<XmlNode> items = root.ChildByNameOrAppend("tagslist").Children();
    const ScreenLocale locale = UserScreenLocale();
    // The list's mouse hook goes through comctl32's subclass chain, which looks up a window
    // property on every message, under Wine a round trip to the wineserver; the fill sends
    // several messages a row, and no mouse message can come while it runs on this thread.
    UnhookTagListMouse();
    // One repaint for the whole list instead of one per row.
    SendMessageA(lvTagged, WM_SETREDRAW, FALSE, 0);
    SendMessageA(lvTagged, LVM_SETITEMCOUNT, items.size(), 0);
    try {
      for (const XmlNode& item : items) AddTagRow(item, locale);
    } catch (...) {
    }
    SendMessageA(lvTagged, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(lvTagged, nullptr, TRUE);
    HookTagListMouse();
  } catch (...) {
  }
}

void TfrMain::AddTagRow(const XmlNode& item) { AddTagRow(item, UserScreenLocale()); }

void TfrMain::AddTagRow(const XmlNode& item, const ScreenLocale& locale) {
  LVITEMA row{};
  row.mask = LVIF_TEXT | LVIF_IMAGE;
  row.iItem = static_cast<int>(SendMessageA(lvTagged, LVM_GETITEMCOUNT, 0, 0));
  row.pszText = const_cast<char*>("");
  row.iImage = kUntagImage;
  const int index =
      static_cast<int>(SendMessageA(lvTagged, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
  if (index < 0) return;

  // The row stays with whatever columns were filled before a value failed; a value after the
  // failing one is not looked up, so its element is not appended either.
  try {
    XmlChildElements values(item);
    const auto value = [&values](const char* name) { return values.ByNameOrAppend(name).Text(); };
    SetCellText(lvTagged, index, kNameColumn, value("caption"));
    SetCellText(lvTagged, index, kPathColumn, value("path"));
    SetCellImage(lvTagged, index, kNameColumn, ParseInt32(value("ftype")));
    SetCellText(lvTagged, index, kLastSyncColumn,
                LastSyncText(TextToDateTime(value("lastsync")), locale));
    SetCellText(lvTagged, index, kSizeColumn,
                SizeColumnText(ParseInt32(value("size")), locale.decimalSeparator));
  } catch (...) {
  }
}

void TfrMain::ShowTargetLabel() {
  const std::string target = TextOf(eTarget);
  SetHintOf(lbTarget, target);
  SetTextOf(lbTarget, TargetLabelText(target));
}

void TfrMain::SaveConfigAndNotify() {
  TakenRunResults taken;
  try {
    ConfXML.Save(FConfPath, &taken);
  } catch (...) {
    ShowRunResults(taken);  // taken before the write failed
    throw;
  }
  ShowRunResults(taken);
  // The server reads the file as soon as the notice arrives.
  env_.clock->Sleep(10);
  PostToServer(FServerWnd, hwnd(), cmdReload);
}

void TfrMain::ShowRunResults(const TakenRunResults& taken) {
  try {
    const XmlNode root = ConfXML.Root();
    if (taken.lastSyncDate)
      SetTextOf(lbLastScan, LastSyncText(TextToDateTime(root.ChildByName("lastsyncdate").Text())));
    if (taken.items.empty()) return;
    const std::vector<XmlNode> items = root.ChildByName("tagslist").Children();
    const ScreenLocale locale = UserScreenLocale();
    for (int index : taken.items) {
      XmlChildElements values(items.at(static_cast<size_t>(index)));
      SetCellText(lvTagged, index, kSizeColumn,
                  SizeColumnText(ParseInt32(values.ByNameOrAppend("size").Text()),
                                 locale.decimalSeparator));
      // A size comes whatever the lastsync, and an item's own lastsync may not read as a date.
      try {
        SetCellText(lvTagged, index, kLastSyncColumn,
                    LastSyncText(TextToDateTime(values.ByNameOrAppend("lastsync").Text()), locale));
      } catch (...) {
      }
    }
  } catch (...) {
    // Only values that read were taken; the rows keep what they showed.
  }
}

bool TfrMain::SaveOrUndo(const std::function<void()>& undo) {
  try {
    SaveConfigAndNotify();
    return true;
  } catch (const std::exception& failure) {
    try {
      undo();
    } catch (...) {
      // Nothing more can be put back; the message still goes out.
    }
    ShowMessageBox(hwnd(),
                   std::string(failure.what()) +
                       "\r\n\r\nThe change was not saved and has been undone.",
                   kApplicationTitle, MB_OK | MB_ICONERROR);
    return false;
  }
}

bool TfrMain::ApplySetting(const char* name, const std::string& value) {
  const XmlNode root = ConfXML.Root();
  const bool existed = !root.ChildByName(name).IsNull();
  std::string before;  // an element without one text goes back empty
  try {
    if (existed) before = root.ChildByName(name).Text();
  } catch (const XmlError&) {
  }
  root.ChildByNameOrAppend(name).SetText(value);
  return SaveOrUndo([&] {
    if (existed) {
      root.ChildByName(name).SetText(before);
      return;
    }
    // The one just appended is the only one of its name; the save may have appended others
    // after it.
    const std::vector<XmlNode> children = root.Children();
    for (size_t i = 0; i < children.size(); ++i) {
      if (children[i].IsElement() && children[i].Name() == name) {
        root.RemoveChild(static_cast<int>(i));
        return;
      }
    }
  });
}

void TfrMain::Refresh1Click() {
  // The server rewrites conf.xml at the end of a run; a reload now could meet it half-written.
  if (TextOf(lbStatus) == StatusText(ssSync)) return;
  LoadConfig();
}

void TfrMain::speScanIntervalChange() {
  const int selected = UnitsIndex();
  const int value = ScanIntervalValue();
  SendMessageA(cbUnits, CB_RESETCONTENT, 0, 0);
  for (int unit : {kHoursUnit, kMinutesUnit})
    SendMessageA(cbUnits, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(UnitWord(unit, value).c_str()));
  SetUnitsIndex(selected);
}

}  // namespace qm
