// The server's hidden main form: the settings and state shared by its threads, the tray icon,
// the control window, conf.xml, the dialog queue, and start-up and shut-down.
//
// Threads: every method runs on the main thread except QueueDialog (sync thread) and the
// engine callbacks, which go through ServerCore's guards. FDlgQueue carries its own guard,
// never held while a dialog is open.
#pragma once

#include "base/clock.h"
#include "base/handles.h"
#include "base/window.h"
#include "server/config.h"
#include "server/dlgqueue.h"
#include "server/engine.h"
#include "server/servercore.h"
#include "tools/protocol.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <shellapi.h>

namespace qm {

class TfrMsgDialog;

constexpr UINT WM_TRAYICON = WM_USER + 16;  // 1040

// Where the server finds its installation folder and what it may override: tests start it in
// any folder with fakes; the program uses the defaults.
struct ServerEnvironment {
  std::string programFolder;  // folder of the running program, ending in "\"
  Clock* clock = &SystemClock();
  VolumeProbe* volumes = nullptr;  // null: the real probe
  bool startThreads = true;
  FileCopy copyFile = nullptr;  // null: SystemFileCopy
  // HKEY_LOCAL_MACHINE key of the rendezvous; tests in one process use a key of their own so
  // that they cannot disturb a server that runs beside them.
  std::string registryKey = kServerKeyPath;
};

class TfrQuillmereServ {
 public:
  explicit TfrQuillmereServ(ServerEnvironment env);
  ~TfrQuillmereServ();  // runs FormDestroy if FormCreate ran
  TfrQuillmereServ(const TfrQuillmereServ&) = delete;
  TfrQuillmereServ& operator=(const TfrQuillmereServ&) = delete;

  void FormCreate();
  void FormDestroy();
  void Exit1Click();  // ends the message loop; the program's end runs FormDestroy
  // The session ends (WM_ENDSESSION): the shut-down runs before the answer, then the loop ends.
  void EndSession();
  // The end could not wait for the sync thread or the log thread: the process must end at once,
  // without freeing what they may still use (main.cpp).
  bool ThreadLeftRunning() const { return threadLeft_; }

  // How long the end waits for the sync thread, and for the log thread's last lines; with the
  // rest of the shut-down they stay well within the 5 seconds that Windows gives a program
  // without a visible window to answer the session's end.
  static constexpr unsigned kSyncEndWaitMs = 750;
  static constexpr unsigned kLogEndWaitMs = 500;
  // How long a save at the end waits for another save and for the other program's lock.
  static constexpr unsigned kEndSaveWaitMs = 250;

  // Tray (tray.cpp)
  void AddTrayIcon();
  void RemoveTrayIcon();
  LRESULT TrayWndProc(UINT msg, WPARAM wp, LPARAM lp);
  void tmrRefreshTimer();

  // Control window (control.cpp)
  LRESULT ControlWndProc(UINT msg, WPARAM wp, LPARAM lp);

  // conf.xml (servform.cpp, through ConfigFile)
  void LoadConfig();
  void SaveConfig();

  // Dialog queue (dlgqueue.cpp)
  void QueueDialog(const std::string& text, int kind);
  void tmrDlgTimer();

  // Data model (servform.cpp)
  std::string FConfPath;
  std::string FInstallDir;
  NOTIFYICONDATAA FTrayData{};
  ServerCore core;  // FLastSync, FState, FSyncPeriod, FNextSync, FTargetPath, FTags, FSilent
  TDialogQueue FDlgQueue;  // entries of QueueDialog, oldest first
  std::string State1Text = "State:";              // the tray menu's first item
  std::string agsquantity1Text = "Tags quantity:";  // its second item

  HWND FCtrlWnd() const;
  HWND FTrayWnd() const;
  HWND FormHandle() const;  // owner of message boxes
  EngineContext& Engine() { return *engine_; }
  const ServerEnvironment& Environment() const { return env_; }
  bool Created() const { return created_; }

  static UINT TaskbarCreatedMessage();
  static DateTime RoundDownTime(bool hourly, DateTime t);
  // The due time that start-up sets: unchanged while now is not past nextSync, else now cut
  // down to the minute (to the hour for periods longer than one hour) plus the period.
  static DateTime FirstDueTime(DateTime now, DateTime nextSync, double periodDays);

 private:
  // --- start-up, shut-down, conf.xml (servform.cpp) ---
  void PublishInRegistry();
  LoadOutcome LoadConfigFile();
  void RunShutDown(bool sessionEnds);
  // Ends and frees the sync thread; a run in progress saves what it finished.
  void EndSyncThread();
  void LeaveSyncThread();
  void EndLogThread();
  ServerEnvironment env_;
  std::unique_ptr<EngineContext> engine_;
  std::unique_ptr<ConfigFile> config_;
  std::unique_ptr<FunctionWindow> formWnd_;
  bool created_ = false;
  bool endingSyncThread_ = false;  // EndSyncThread waits, further down the stack
  // The steps of the shut-down that have run (RunShutDown).
  bool trayGone_ = false;
  bool controlGone_ = false;
  bool stoppedLogged_ = false;
  bool logEnded_ = false;
  bool syncThreadLeft_ = false;
  bool threadLeft_ = false;  // the sync or the log thread
  bool endAsked_ = false;      // Exit1Click has run
  bool trayMenuOpen_ = false;  // PopUpTrayMenu is in TrackPopupMenu

  // --- control window (control.cpp) ---
  void OnSyncControl(HWND sender, LPARAM code);
  void OnCopyData(const COPYDATASTRUCT* block);
  void SendStatus(HWND sender);
  void SendAcknowledgement(HWND sender, LPARAM result);
  std::unique_ptr<FunctionWindow> ctrlWnd_;

  // --- tray (tray.cpp) ---
  void BuildTrayMenu();
  void PopUpTrayMenu();
  std::unique_ptr<FunctionWindow> trayWnd_;
  std::unique_ptr<Timer> tmrRefresh;
  UniqueIcon pTrayIcon;  // the icon whose handle FTrayData carries
  UniqueMenu TrayMenu;

  // --- dialog queue (dlgqueue.cpp) ---
  std::unique_ptr<Timer> tmrDlg;  // 1000 ms; the pump also copes without one
};

// The one server form of the process while it exists.
extern TfrQuillmereServ* frQuillmereServ;

}  // namespace qm
