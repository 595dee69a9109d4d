// The configuration program's main window: the tag list, the target folder, the scan interval,
// the server's status and the commands that start, stop and trigger the server.
//
// Threads: the program has one thread; every handler, timer tick and message from the server
// runs on it, also inside modal boxes. Nothing here waits for the server or for help.
//
// Files: mainform.cpp (layout, menus, help, creation and closing), mainconfig.cpp (the conf.xml
// document and what the window shows of it), mainstatus.cpp (the dialogue with the server),
// mainpickers.cpp (the browse buttons).
#pragma once

#include "base/clock.h"
#include "base/datetime.h"
#include "base/handles.h"
#include "base/window.h"
#include "base/xmldoc.h"
#include "frontend/confdoc.h"
#include "tools/protocol.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qm {

class TAboutBox;
struct ScreenLocale;

// What the program takes from its surroundings; tests start the window in any folder with a
// registry key and a clock of their own.
struct FrontEnvironment {
  std::string programFolder;  // folder of the running program, ending in "\"
  Clock* clock = &SystemClock();
  std::string registryKey = kServerKeyPath;  // under HKEY_LOCAL_MACHINE
  bool visible = true;                       // tests may keep the window hidden
  // Starts the server program beside conf.xml and hands out its process, as
  // StartServerProcess does (null: StartServerProcess). Tests stand in for it.
  std::function<bool(const std::string& confPath, UniqueKernelHandle* process)> startServer;
};

// The caption of the box that reports a failure.
constexpr const char* kApplicationTitle = "Harvo Quillmere";

// Help contexts of the help file.
constexpr DWORD kHelpMainWindow = 2;
constexpr DWORD kHelpStatus = 3;
constexpr DWORD kHelpTags = 4;

// Control and menu ids; above IDOK/IDCANCEL, which the dialog keys of the message loop send.
enum FrontId : int {
  idTarget = 100,         // eTarget
  idTargetBrowse,         // btTargetBrowse
  idTargetSet,            // btTargetSet
  idScanInterval,         // speScanInterval's edit
  idScanSpin,             // speScanInterval's arrows
  idUnits,                // cbUnits
  idScanSet,              // btScanSet
  idTagged,               // lvTagged
  idTag,                  // eTag
  idTagBrowse,            // btTagBrowse
  idUnTag,                // btUnTag
  idTagButton,            // btTag
  idStatusBar,            // StatusBar1
  idSyncNow1 = 200,
  idStartSyncProcess1,
  idStopSyncProcess1,
  idExit1,
  idQuillmereHelp1,
  idAboutQuillmere1,
  idRefresh1,
};

// Ids of the labels that show the configuration and the server's state, so that other programs
// (the end-to-end tests) can read them.
enum FrontLabelId : int {
  idLbTarget = 300,
  idLbScanInterval,
  idLbLastScan,
  idLbStatus,
};

class TfrMain : public Window {
 public:
  explicit TfrMain(FrontEnvironment env);
  ~TfrMain() override;

  // Creates the window with its controls, menus and timers; FormCreate runs during it.
  bool CreateForm();
  HACCEL Accelerators() const { return accelerators_; }

  // --- creation, closing, menus, help (mainform.cpp) ---
  void FormCreate();
  void FormClose();
  void EndSession();  // WM_ENDSESSION(TRUE): ends the program as its closing does
  void Exit1Click();
  void QuillmereHelp1Click();
  void AboutQuillmere1Click();
  // The help context of a control: its own, or that of the nearest window around it.
  static DWORD HelpContextOf(HWND control);

  // --- tag list editing (maintags.cpp) ---
  enum class MouseButton { Left, Right, Middle };
  void btTagClick();
  void lvTaggedSelectItem(int row);
  void eTagChange();
  void btUnTagClick();
  void lvTaggedMouseDown(MouseButton button, int x, int y);  // x, y in the list's client area
  XmlNode DeleteSelectedTag();  // the removed item
  // --- target folder and scan interval (mainsettings.cpp) ---
  void btTargetSetClick();
  void btScanSetClick();
  void cbUnitsChange();   // keeps the interval within what syncperiod holds

  // --- the conf.xml document (mainconfig.cpp) ---
  void LoadConfig();
  void ShowConfig();
  void AddTagRow(const XmlNode& item);
  void ShowTargetLabel();
  void SaveConfigAndNotify();  // throws when conf.xml cannot be written
  // Shows in lbLastScan and the rows the run results that a save took from conf.xml.
  void ShowRunResults(const TakenRunResults& taken);
  // Saves a change just made; when conf.xml cannot be written, runs undo, which puts the
  // document and the rows back as they were, and says so. True when saved.
  bool SaveOrUndo(const std::function<void()>& undo);
  // Sets a root element's text and saves; a failed save puts the element back.
  bool ApplySetting(const char* name, const std::string& value);
  void Refresh1Click();
  void speScanIntervalChange();  // keeps the unit words singular or plural

  // --- the server (mainstatus.cpp) ---
  void tmrCheckStatusTimer();
  void ReciveMsg(HWND sender, LPARAM result);
  void ReciveData(const COPYDATASTRUCT& block);
  void EnableServerControls(bool enable);
  void SyncNow1Click();
  void StopSyncProcess1Click();
  void StartSyncProcess1Click();
  void tmrStartTimer();
  void HeardFrom(HWND sender);  // a message from sender has come in

  // --- the browse buttons' pickers (mainpickers.cpp) ---
  void btTagBrowseClick();
  void btTargetBrowseClick();

  // Fields
  DateTime FLastSync = 0;
  int32_t FServerState = 0;
  int32_t FServerSpare = 0;
  DateTime FLastHeard = 0;  // 0: the first status tick finds the server silent
  HWND FServerWnd = nullptr;
  UniqueKernelHandle FServerProcess;  // the process of the server last heard from
  std::string FConfPath;
  std::string FCurrentTag;
  ConfigDocument ConfXML;

  // Controls: child windows owned by the form, borrowed here.
  HWND lbTarget = nullptr;
  HWND lbScanInterval = nullptr;
  HWND lbLastScan = nullptr;
  HWND lbStatus = nullptr;
  HWND eTarget = nullptr;
  HWND btTargetBrowse = nullptr;
  HWND btTargetSet = nullptr;
  HWND speScanInterval = nullptr;  // the edit that shows the number
  HWND speScanArrows = nullptr;    // its up-down control
  HWND cbUnits = nullptr;
  HWND btScanSet = nullptr;
  HWND lvTagged = nullptr;
  HWND eTag = nullptr;
  HWND btTagBrowse = nullptr;
  HWND btUnTag = nullptr;
  HWND btTag = nullptr;
  HWND StatusBar1 = nullptr;
  HMENU MainMenu1 = nullptr;  // owned by the window
  HMENU pmRefresh = nullptr;

  std::unique_ptr<Timer> tmrCheckStatus;  // 1000 ms, from creation on
  std::unique_ptr<Timer> tmrStart;        // 10000 ms, once

  const FrontEnvironment& Environment() const { return env_; }

  // Small control helpers that behave as the form's components do: setting a text that is
  // already there sends no change notification.
  static std::string TextOf(HWND control);
  static void SetTextOf(HWND control, const std::string& text);
  // The hint (tool tip) a control shows while the mouse rests on it.
  void SetHintOf(HWND control, const std::string& text);
  std::string HintOf(HWND control) const;
  int ScanIntervalValue() const;
  void SetScanIntervalValue(int value);  // clamps to the field's range; runs the change handler
  int UnitsIndex() const;
  void SetUnitsIndex(int index);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  bool OnCreate() override;
  void OnCommand(int id, int notifyCode, HWND control) override;
  LRESULT OnNotify(NMHDR& header) override;
  void OnClose() override;
  void OnDestroy() override;
  void OnSize(int clientWidth, int clientHeight) override;
  void OnGetMinMaxInfo(MINMAXINFO& info) override;
  bool OnHelp(const HELPINFO& info) override;
  bool OnContextMenu(HWND window, POINT screen) override;
  bool OnCopyData(HWND sender, const COPYDATASTRUCT& block) override;

 private:
  void CreateControls();
  void LayOut(int clientWidth, int clientHeight);
  int AskYesNo(const std::string& text, const std::string& caption);
  void PaintPictures(HDC dc);
  void DrawButton(const DRAWITEMSTRUCT& item);
  void ScanArrowsMoved();
  // The commands and notifications of the tag list and the settings (maintags.cpp,
  // mainsettings.cpp); true when the command was theirs.
  bool OnEditingCommand(int id, int notifyCode);
  // AddTagRow with the user's locale read once for the whole list (mainconfig.cpp).
  void AddTagRow(const XmlNode& item, const ScreenLocale& locale);
  LRESULT OnTagListNotify(NMHDR& header);
  void HookTagListMouse();
  void UnhookTagListMouse();
  static LRESULT CALLBACK TagListProc(HWND list, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                      DWORD_PTR self);

  void StartServer();

  FrontEnvironment env_;
  // "Start Sync Process" came while the server last heard from still ran (mainstatus.cpp).
  bool startWhenServerEnds_ = false;
  // The server process this window started last, until a server answers (mainstatus.cpp).
  UniqueKernelHandle startedProcess_;
  HACCEL accelerators_ = nullptr;
  std::unique_ptr<TAboutBox> aboutBox_;
  // Fonts, pictures, the labels and group boxes that no handler works with, the tool tips and
  // where everything goes (mainform.cpp).
  struct Look;
  std::unique_ptr<Look> look_;
  // Rows the program removes itself: their selection changes are no user's (maintags.cpp).
  int ownRowRemovals_ = 0;
  // The list's button release that belongs to a press which asked about untagging; the
  // question's own modal loop takes it from a real mouse (maintags.cpp).
  bool dropNextButtonUp_ = false;
};

}  // namespace qm
