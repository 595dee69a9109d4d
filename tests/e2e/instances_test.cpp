// The single-instance step against real processes: copies of a small helper program run under
// the image names of both programs (and names that only look like them), and the step is run
// here or in a helper copy of its own.
#include "tools/tools.h"

#include "base/codepage.h"
#include "base/handles.h"
#include "base/prompt.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <memory>
#include <string>
#include <vector>

namespace qm {
namespace {

constexpr char kCaption[] = "Application is already running.";
constexpr char kServerQuestion[] =
    " The QuillmereServ is already running on this machine! Do you wish to close it and start a "
    "new session?";
constexpr char kFrontEndQuestion[] =
    " The Quillmere GUI is already running on this machine! Do you wish to close it and start a "
    "new session?";
constexpr DWORD kExitWhenLeftAlone = 42;  // the helper's own end, long after every test
constexpr DWORD kExitStepReturned = 3;
constexpr DWORD kExitTornDown = 99;
constexpr unsigned kGenerousMs = 30000;

struct Question {
  std::string text, caption;
  UINT type;
};

struct Copy {
  std::string path;
  UniqueKernelHandle process;
  DWORD pid = 0;
};

bool ListedInSnapshot(DWORD pid) {
  UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid && entry.szExeFile[0] != '\0') return true;
  }
  return false;
}

class RunningCopies : public ::testing::Test {
 protected:
  void SetUp() override {
    helper_ = test::BinDir() + "qm_instance_helper.exe";
    ASSERT_NE(GetFileAttributesA(helper_.c_str()), INVALID_FILE_ATTRIBUTES) << helper_;
    folder_ = test::MakeScratchFolder("instances");
    ASSERT_FALSE(folder_.empty());
    previous_ = SetMessageBoxHandler(
        [this](HWND, const std::string& text, const std::string& caption, UINT type) {
          asked_.push_back({text, caption, type});
          // Always Yes: a No would end this test program in the middle of a test, and a
          // question that should not come is caught through asked_.
          return IDYES;
        });
  }

  void TearDown() override {
    SetMessageBoxHandler(previous_);
    for (const auto& copy : copies_) {
      if (WaitForSingleObject(copy->process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(copy->process.get(), kExitTornDown);
        WaitForSingleObject(copy->process.get(), kGenerousMs);
      }
    }
    test::RemoveTree(folder_);
  }

  // Starts a copy of the helper as folder_ + relative (one sub-folder level at most) and
  // waits until the process list shows it.
  Copy& Start(const std::string& relative, const std::string& arguments = "wait 240") {
    return Start(SystemTextToWide(relative), arguments);
  }
  // The same for a name in UTF-16, which the code page need not hold.
  Copy& Start(const std::wstring& relative, const std::string& arguments = "wait 240") {
    auto copy = std::make_unique<Copy>();
    const std::wstring folder = SystemTextToWide(folder_), path = folder + relative;
    copy->path = WideToSystemText(path.data(), static_cast<int>(path.size()));
    const size_t slash = relative.find(L'\\');
    if (slash != std::wstring::npos)
      CreateDirectoryW((folder + relative.substr(0, slash)).c_str(), nullptr);
    EXPECT_TRUE(CopyFileW(SystemTextToWide(helper_).c_str(), path.c_str(), FALSE)) << copy->path;
    std::wstring commandLine = L"\"" + path + L"\" " + SystemTextToWide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, 0, nullptr, nullptr, &startup, &info);
    EXPECT_TRUE(started) << copy->path << " error " << GetLastError();
    if (started) {
      CloseHandle(info.hThread);
      copy->process.reset(info.hProcess);
      copy->pid = info.dwProcessId;
      const DWORD pid = info.dwProcessId;
      EXPECT_TRUE(test::WaitUntil([pid] { return ListedInSnapshot(pid); }, kGenerousMs));
    }
    copies_.push_back(std::move(copy));
    return *copies_.back();
  }

  static bool Ends(const Copy& copy) {
    return WaitForSingleObject(copy.process.get(), kGenerousMs) == WAIT_OBJECT_0;
  }
  static bool StillRunning(const Copy& copy) {
    return WaitForSingleObject(copy.process.get(), 0) == WAIT_TIMEOUT;
  }
  static DWORD ExitCode(const Copy& copy) {
    DWORD code = 12345;
    GetExitCodeProcess(copy.process.get(), &code);
    return code;
  }

  void ExpectEndedByTheStep(const std::vector<Copy*>& ended) {
    for (const Copy* copy : ended) {
      ASSERT_TRUE(Ends(*copy)) << copy->path << " still runs";
      EXPECT_EQ(ExitCode(*copy), 0u) << copy->path;
    }
  }
  // Called after the ended ones have gone, so that a step that wrongly ended one of these has
  // had every chance to show it.
  void ExpectLeftRunning(const std::vector<Copy*>& left) {
    for (const Copy* copy : left) EXPECT_TRUE(StillRunning(*copy)) << copy->path << " was ended";
  }

  void ExpectOneQuestion(const char* text) {
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].text, text);
    EXPECT_EQ(asked_[0].caption, kCaption);
    EXPECT_EQ(asked_[0].type, static_cast<UINT>(MB_YESNO)) << "Yes and No, no icon";
  }

  std::string helper_, folder_;
  std::vector<std::unique_ptr<Copy>> copies_;
  std::vector<Question> asked_;
  MessageBoxHandler previous_;
};

TEST_F(RunningCopies, ServerModeAsksOnceThenEndsEveryServerCopyAndNothingElse) {
  std::vector<Copy*> servers = {&Start("a\\quillmereserv.exe"), &Start("b\\QuillmereServ.EXE"),
                                &Start("QUILLMERESERV"), &Start("QUILLMERESERV.OLD.EXE")};
  std::vector<Copy*> others = {&Start("Quillmere.exe"), &Start("ABC.QUILLMERESERV"),
                               &Start("QUILLMERESERVX.exe")};
  CloseRunningCopies(1);
  ExpectOneQuestion(kServerQuestion);
  ExpectEndedByTheStep(servers);
  ExpectLeftRunning(others);
}

// Listed in the code page by best fit, "QU" U+012A "LLMERESERV.exe" would read as the server's
// name: a program of another name would be ended.
TEST_F(RunningCopies, ANameOnlyTheCodePageMakesLookLikeTheServersIsNoCopy) {
  Copy& other = Start(std::wstring(L"QU\u012ALLMERESERV.exe"));
  CloseRunningCopies(1);
  EXPECT_TRUE(asked_.empty()) << "taken for a running server";
  ExpectLeftRunning({&other});
}

TEST_F(RunningCopies, FrontEndModeAsksOnceThenEndsEveryFrontEndCopyButNoServer) {
  std::vector<Copy*> frontEnds = {&Start("Quillmere.exe"), &Start("QUILLMERE"),
                                  &Start("c\\quillmere.old.exe")};
  std::vector<Copy*> others = {&Start("QuillmereServ.exe"), &Start("ABC.QUILLMERE"),
                               &Start("QUILLMERESERV")};
  CloseRunningCopies(2);
  ExpectOneQuestion(kFrontEndQuestion);
  ExpectEndedByTheStep(frontEnds);
  ExpectLeftRunning(others);
}

TEST_F(RunningCopies, BothModeEndsEveryCopyOfBothProgramsWithoutAsking) {
  std::vector<Copy*> copies = {&Start("QuillmereServ.exe"), &Start("d\\Quillmere.exe"),
                               &Start("QUILLMERESERV.OLD.EXE"), &Start("QUILLMERE")};
  std::vector<Copy*> others = {&Start("ABC.QUILLMERESERV"), &Start("helper.exe")};
  CloseRunningCopies(3);
  EXPECT_TRUE(asked_.empty());
  ExpectEndedByTheStep(copies);
  ExpectLeftRunning(others);
}

TEST_F(RunningCopies, NothingIsAskedOrEndedWhenNoCopyMatches) {
  std::vector<Copy*> others = {&Start("Quillmere.exe"), &Start("ABC.QUILLMERESERV")};
  CloseRunningCopies(1);
  EXPECT_TRUE(asked_.empty());
  others.push_back(&Start("QuillmereServ.exe"));
  for (int mode : {0, 4}) CloseRunningCopies(mode);
  EXPECT_TRUE(asked_.empty());
  Sleep(500);  // a termination, had there been one, is under way by now
  ExpectLeftRunning(others);
}

TEST_F(RunningCopies, AnyAnswerButYesEndsTheAskingProgramAndLeavesTheRunningCopy) {
  Copy& running = Start("QUILLMERE");
  // "none" stands for a question box that could not be shown at all.
  for (const std::string answer : {"no", "none"}) {
    SCOPED_TRACE(answer);
    const std::string record = folder_ + "asked-" + answer + ".txt";
    Copy& asking = Start("Quillmere.exe", "close 2 " + answer + " \"" + record + "\"");
    ASSERT_TRUE(Ends(asking));
    EXPECT_EQ(ExitCode(asking), 0u) << "the step returned instead of ending the program";
    EXPECT_EQ(test::ReadFileOrEmpty(record),
              std::string(kFrontEndQuestion) + "\n" + kCaption + "\n" + std::to_string(MB_YESNO) +
                  "\n");
  }
  ExpectLeftRunning({&running});
}

TEST_F(RunningCopies, YesEndsTheOtherCopiesButNeverTheAskingOne) {
  Copy& running = Start("a\\quillmereserv.exe");
  const std::string record = folder_ + "asked.txt";
  Copy& asking = Start("QuillmereServ.exe", "close 1 yes \"" + record + "\"");
  ASSERT_TRUE(Ends(asking));
  EXPECT_EQ(ExitCode(asking), kExitStepReturned) << "the asking copy ended itself";
  ExpectEndedByTheStep({&running});
  EXPECT_EQ(test::ReadFileOrEmpty(record),
            std::string(kServerQuestion) + "\n" + kCaption + "\n" + std::to_string(MB_YESNO) +
                "\n");
}

TEST_F(RunningCopies, HelperLeftAloneEndsWithItsOwnCode) {
  // Guards the exit-code checks above: 0 comes from the step, not from the helper.
  Copy& copy = Start("QuillmereServ.exe", "wait 1");
  ASSERT_TRUE(Ends(copy));
  EXPECT_EQ(ExitCode(copy), kExitWhenLeftAlone);
}

}  // namespace
}  // namespace qm
