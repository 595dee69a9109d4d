// Starting the built Quillmere.exe as a separate process for end-to-end tests, reading what its
// main window shows, and answering its message boxes by caption.
#pragma once

#include "support/serverprocess.h"

#include <windows.h>

#include <string>
#include <vector>

namespace qm::test {

constexpr const char* kFrontCaption = "Harvo Quillmere v1.0";
constexpr const char* kAlreadyRunningCaption = "Application is already running.";
constexpr const char* kUnableToOpenCaption = "Quillmere was unable to open a file!";

// Copies Quillmere.exe into folder (ending in "\"); returns the path.
std::string InstallFrontCopy(const std::string& folder, const std::string& exeName = "Quillmere.exe");

// A conf.xml as the configuration program writes it: the target folder, the last sync and the
// period, and one item per path (a file of kind 0, never synchronised, 1 KB).
std::string FrontConfText(const std::string& target, const std::string& lastSync, int periodMs,
                          const std::vector<std::string>& taggedFiles = {});

class FrontProcess {
 public:
  bool Start(const std::string& exePath, const std::string& arguments = "",
             const std::string& currentFolder = "") {
    return process.Start(exePath, arguments, currentFolder);
  }
  // The main window of this process, once it exists (null after timeoutMs).
  HWND WaitForMainWindow(unsigned timeoutMs = 30000);
  // The text of the main window's control id, asked for by message (edits keep their text to
  // themselves); "?" when the control is missing or does not answer.
  std::string ControlText(int id) const;
  bool WaitForControlText(int id, const std::string& text, unsigned timeoutMs) const;
  bool ControlEnabled(int id) const;
  int ListRows(int id) const;  // LVM_GETITEMCOUNT; -1 when the list does not answer
  // Posts a menu command to the main window, as a click on the item would.
  bool Command(int id) const;

  ServerProcess process;
  HWND main = nullptr;
};

// Clicks button (IDYES, IDNO, IDOK...) of a message box.
bool AnswerBox(HWND box, int button);

}  // namespace qm::test
