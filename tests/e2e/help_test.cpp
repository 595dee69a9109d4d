// The built help file QUILLMERE.HLP opened through WinHelp in the system's help viewer: the
// contents and each help context the configuration program passes on F1 reach their topic.
//
// The viewer is a process of its own. WinHelp starts it when none runs and hands it the request
// with a sent message, so a viewer that stops on a question of its own ("Cannot find ...")
// keeps WinHelp waiting: the call runs on a worker thread while the test watches the screen.
#include "base/handles.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::WaitUntil;

constexpr const char* kViewerImage = "winhlp32.exe";
constexpr const char* kViewerClass = "MS_WINHELP";
constexpr const char* kHelpFileName = "QUILLMERE.HLP";
constexpr unsigned kOpenMs = 30000;

// Text of a window of another process; WM_GETTEXT reaches the control's own text, which
// GetWindowText does not for a rich edit of another process.
std::string TextOf(HWND window) {
  std::vector<char> text(8192, '\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &got)) {
    return {};
  }
  return std::string(text.data(), std::min<size_t>(got, text.size() - 1));
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

struct ViewerWindows {
  std::vector<HWND> mains;      // the viewer's own windows
  std::vector<HWND> questions;  // message boxes and dialogs of the viewer process
};

// The viewer's processes, by image name: while it asks a question it may have no window of its
// own class yet.
std::vector<DWORD> ViewerPids() {
  std::vector<DWORD> pids;
  UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return pids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (_stricmp(entry.szExeFile, kViewerImage) == 0) pids.push_back(entry.th32ProcessID);
  }
  return pids;
}

struct Collect {
  const std::vector<DWORD>* pids;
  ViewerWindows* found;
};

BOOL CALLBACK CollectTopLevel(HWND w, LPARAM param) {
  auto* c = reinterpret_cast<Collect*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (std::find(c->pids->begin(), c->pids->end(), pid) == c->pids->end() || !IsWindowVisible(w)) {
    return TRUE;
  }
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (std::string(cls) == kViewerClass) c->found->mains.push_back(w);
  if (std::string(cls) == "#32770") c->found->questions.push_back(w);
  return TRUE;
}

// The visible windows of the viewer's processes.
ViewerWindows FindViewerWindows() {
  ViewerWindows found;
  const std::vector<DWORD> pids = ViewerPids();
  Collect c{&pids, &found};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&c));
  return found;
}

// The first line of the topic pane: the viewer shows the topic in a rich edit control, its title
// first.
std::string ShownTitle(HWND viewer) {
  for (HWND child = GetWindow(viewer, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_strnicmp(cls, "RichEdit", 8) == 0) return FirstLine(TextOf(child));
  }
  return {};
}

std::string QuestionText(HWND dialog) {
  std::string all = TextOf(dialog);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    all += " | " + TextOf(child);
  }
  return all;
}

// Ends every viewer process: the tests started them through WinHelp.
void EndViewers() {
  for (DWORD pid : ViewerPids()) {
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process) continue;
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 10000);
  }
}

struct HelpRequest {
  HWND owner;
  std::string file;
  UINT command;
  ULONG_PTR data;
};

DWORD WINAPI CallWinHelp(void* param) {
  auto* request = static_cast<HelpRequest*>(param);
  WinHelpA(request->owner, request->file.c_str(), request->command, request->data);
  return 0;
}

// A window of the test's own that asks for help, as the program's main window does.
class HelpCaller {
 public:
  HelpCaller()
      : window_(CreateWindowExA(0, "STATIC", "Help caller", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  ~HelpCaller() {
    EndViewers();
    if (worker_) WaitForSingleObject(worker_.get(), 10000);
  }
  HelpCaller(const HelpCaller&) = delete;
  HelpCaller& operator=(const HelpCaller&) = delete;

  bool Ask(const std::string& file, UINT command, ULONG_PTR data) {
    request_ = {window_.get(), file, command, data};
    worker_.reset(CreateThread(nullptr, 0, CallWinHelp, &request_, 0, nullptr));
    return window_ && worker_;
  }

  // Waits, taking this thread's messages, until the viewer shows a topic or a question.
  ViewerWindows WaitForViewer(const std::string& title) {
    ViewerWindows seen;
    WaitUntil(
        [&] {
          MSG msg;
          while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
          seen = FindViewerWindows();
          if (!seen.questions.empty()) return true;
          for (HWND w : seen.mains) {
            if (ShownTitle(w) == title) return true;
          }
          return false;
        },
        kOpenMs);
    return seen;
  }

 private:
  UniqueWindow window_;
  UniqueKernelHandle worker_;
  HelpRequest request_{};
};

// Runs from the program's folder, as the installed program does when started there: the viewer
// resolves a bare file name against the folder of the program that started it.
class HelpFile : public ::testing::Test {
 protected:
  void SetUp() override {
    EndViewers();
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    previous_ = previous;
    ASSERT_NE(GetFileAttributesA((test::BinDir() + kHelpFileName).c_str()), INVALID_FILE_ATTRIBUTES)
        << "the build writes " << kHelpFileName << " into " << test::BinDir();
    ASSERT_TRUE(SetCurrentDirectoryA(test::BinDir().c_str()));
  }
  void TearDown() override {
    EndViewers();
    SetCurrentDirectoryA(previous_.c_str());
  }

  // Opens help and expects the topic with this title, with no question from the viewer.
  void ExpectTopic(const std::string& file, UINT command, ULONG_PTR data, const std::string& title) {
    HelpCaller caller;
    ASSERT_TRUE(caller.Ask(file, command, data));
    const ViewerWindows seen = caller.WaitForViewer(title);
    for (HWND question : seen.questions) ADD_FAILURE() << "viewer asks: " << QuestionText(question);
    ASSERT_FALSE(seen.mains.empty()) << "no help window opened";
    std::vector<std::string> shown;
    for (HWND w : seen.mains) shown.push_back(ShownTitle(w));
    EXPECT_NE(std::find(shown.begin(), shown.end(), title), shown.end())
        << "shown: " << (shown.empty() ? "" : shown.front());
  }

 private:
  std::string previous_;
};

struct TopicCase {
  const char* name;
  UINT command;
  ULONG_PTR data;
  const char* title;
};

void PrintTo(const TopicCase& topic, std::ostream* os) { *os << topic.name; }

const TopicCase kTopics[] = {
    {"Contents", HELP_CONTENTS, 0, "Quillmere Help"},
    {"Context2MainWindow", HELP_CONTEXT, 2, "The Quillmere window"},
    {"Context3StatusGroupAndScanInterval", HELP_CONTEXT, 3, "Status, target volume and scan interval"},
    {"Context4TagListAndTarget", HELP_CONTEXT, 4, "Tagging files and folders, and the target volume"},
};

class HelpTopic : public HelpFile, public ::testing::WithParamInterface<TopicCase> {};

TEST_P(HelpTopic, BareFileNameOpensTheTopic) {
  ExpectTopic(kHelpFileName, GetParam().command, GetParam().data, GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(HelpFile, HelpTopic, ::testing::ValuesIn(kTopics),
                         [](const auto& info) { return std::string(info.param.name); });

// The full path reaches the file whatever the current folder is.
TEST_F(HelpFile, FullPathOpensTheTopicFromAnyFolder) {
  const std::string elsewhere = test::MakeScratchFolder("help-elsewhere");
  ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.c_str()));
  ExpectTopic(test::BinDir() + kHelpFileName, HELP_CONTEXT, 4,
              "Tagging files and folders, and the target volume");
}

}  // namespace
}  // namespace qm
