#include "support/frontprocess.h"

#include "support/testsupport.h"

#include <commctrl.h>

namespace qm::test {
namespace {

constexpr UINT kAnswerMs = 10000;

}  // namespace

std::string InstallFrontCopy(const std::string& folder, const std::string& exeName) {
  const std::string target = folder + exeName;
  CopyFileA((BinDir() + "Quillmere.exe").c_str(), target.c_str(), FALSE);
  return target;
}

std::string FrontConfText(const std::string& target, const std::string& lastSync, int periodMs,
                          const std::vector<std::string>& taggedFiles) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
      " <lastsyncdate>" + lastSync + "</lastsyncdate>\r\n"
      " <silentflag>0</silentflag>\r\n"
      " <syncperiod>" + std::to_string(periodMs) + "</syncperiod>\r\n"
      " <targetdrive>" + target + "</targetdrive>\r\n <tagslist>\r\n";
  for (const std::string& path : taggedFiles) {
    const size_t slash = path.find_last_of('\\');
    text += "  <item><caption>" + path.substr(slash + 1) + "</caption><path>" +
            path.substr(0, slash + 1) +
            "</path><lastsync>01-01-2004</lastsync><size>1</size><ftype>0</ftype></item>\r\n";
  }
  return text + " </tagslist>\r\n</configuration>\r\n";
}

HWND FrontProcess::WaitForMainWindow(unsigned timeoutMs) {
  main = WaitForProcessWindow(process.Pid(), kFrontCaption, timeoutMs);
  return main;
}

std::string FrontProcess::ControlText(int id) const {
  const HWND control = GetDlgItem(main, id);
  if (!control) return "?";
  char text[1024] = {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                           SMTO_NORMAL, kAnswerMs, &length))
    return "?";
  return std::string(text, length);
}

bool FrontProcess::WaitForControlText(int id, const std::string& text, unsigned timeoutMs) const {
  return WaitUntil([&] { return ControlText(id) == text; }, timeoutMs);
}

bool FrontProcess::ControlEnabled(int id) const {
  const HWND control = GetDlgItem(main, id);
  return control && IsWindowEnabled(control);
}

int FrontProcess::ListRows(int id) const {
  DWORD_PTR rows = 0;
  if (!SendMessageTimeoutA(GetDlgItem(main, id), LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, kAnswerMs,
                           &rows))
    return -1;
  return static_cast<int>(rows);
}

bool FrontProcess::Command(int id) const {
  return PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, 0), 0) != FALSE;
}

bool AnswerBox(HWND box, int button) {
  const HWND item = GetDlgItem(box, button);
  DWORD_PTR result = 0;
  return item && SendMessageTimeoutA(item, BM_CLICK, 0, 0, SMTO_NORMAL, kAnswerMs, &result);
}

}  // namespace qm::test
