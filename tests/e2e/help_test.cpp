// The built help file QUILLMERE.HLP opened through WinHelp in the system's help viewer: the
// contents and each help context the configuration program passes on F1 reach their topic.
//
// The viewer is a process of its own. WinHelp starts it when none runs and hands it the request
// with a sent message, so a viewer that stops on a question of its own ("Cannot find ...")
// keeps WinHelp waiting: the call runs on a worker thread while the test watches the screen.
#include "base/handles.h"
#include "support/helpviewer.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace qm {
namespace {

using test::EndViewers;
using test::kHelpFileName;

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
  test::ViewerWindows WaitForViewer(const std::string& title) {
    return test::WaitForViewer(title, [] {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    });
  }

 private:
  UniqueWindow window_;
  UniqueKernelHandle worker_;
  HelpRequest request_{};
};

// Runs with the build's bin folder as the current folder: the viewer that WinHelp starts takes
// that folder over and looks for a bare file name there (not beside the calling program).
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
    test::ExpectTopicShown(caller.WaitForViewer(title), title);
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
    {"Contents", HELP_CONTENTS, 0, test::kContentsTitle},
    {"Context2MainWindow", HELP_CONTEXT, 2, test::kMainWindowTitle},
    {"Context3StatusGroupAndScanInterval", HELP_CONTEXT, 3, test::kStatusTitle},
    {"Context4TagListAndTarget", HELP_CONTEXT, 4, test::kTagsTitle},
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
  ExpectTopic(test::BinDir() + kHelpFileName, HELP_CONTEXT, 4, test::kTagsTitle);
}

}  // namespace
}  // namespace qm
