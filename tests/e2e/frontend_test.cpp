// The built Quillmere.exe under Wine: its command line, the single-instance question, and the
// first start without a registry key or conf.xml.
#include "frontend/mainform.h"

#include "support/frontprocess.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

using test::AnswerBox;
using test::FrontProcess;
using test::ScratchServer;
using test::WaitForProcessWindow;

constexpr unsigned kStartMs = 30000;
constexpr unsigned kEndMs = 30000;

// A folder holding the configuration program and a conf.xml it reads without a question.
class FrontFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    test::DeleteServerKey();
    folder = test::MakeScratchFolder("front end");
    ASSERT_FALSE(folder.empty());
    exe = test::InstallFrontCopy(folder);
  }
  void TearDown() override {
    test::DeleteServerKey();
    test::RemoveTree(folder);
  }
  void WriteConf(const std::string& inFolder) {
    test::WriteFileBytes(inFolder + "conf.xml",
                         test::FrontConfText(inFolder + "target\\", "01-01-2004", 3600000));
  }
  // Starts a copy that shows its window without a question.
  void StartShown(FrontProcess& front) {
    ASSERT_TRUE(front.Start(exe));
    ASSERT_NE(front.WaitForMainWindow(kStartMs), nullptr);
  }

  std::string folder;
  std::string exe;
};

TEST_F(FrontFolder, UninstallInAnyLetterCaseEndsTheServerAndTheConfigurationProgram) {
  for (const char* argument : {"UNINSTALL", "uNinStall"}) {
    ScratchServer server("uninstall");
    ASSERT_TRUE(server.Start());
    WriteConf(server.folder);  // the front end reads conf.xml from the server's folder
    FrontProcess running;
    StartShown(running);

    FrontProcess uninstall;
    ASSERT_TRUE(uninstall.Start(exe, argument));
    // A question would keep it waiting; it ends on its own.
    EXPECT_TRUE(uninstall.process.WaitForExit(kEndMs)) << argument;
    EXPECT_TRUE(server.process.WaitForExit(kEndMs)) << argument;
    EXPECT_TRUE(running.process.WaitForExit(kEndMs)) << argument;
  }
}

TEST_F(FrontFolder, AnyOtherFirstArgumentEndsAtOnceAndTouchesNothing) {
  WriteConf(folder);
  FrontProcess running;
  StartShown(running);
  for (const char* arguments : {"/s", "install", "other UNINSTALL"}) {
    FrontProcess other;
    ASSERT_TRUE(other.Start(exe, arguments));
    // The single-instance step would ask about the running copy and wait for an answer.
    EXPECT_TRUE(other.process.WaitForExit(kEndMs)) << arguments;
    DWORD code = 1;
    GetExitCodeProcess(other.process.Handle(), &code);
    EXPECT_EQ(code, 0u) << arguments;
    EXPECT_TRUE(running.process.Running()) << arguments;
  }
  EXPECT_TRUE(IsWindow(running.main));
}

TEST_F(FrontFolder, ASecondStartAsksAndNoLeavesTheFirstAlone) {
  WriteConf(folder);
  FrontProcess first;
  StartShown(first);
  FrontProcess second;
  ASSERT_TRUE(second.Start(exe));
  const HWND box =
      WaitForProcessWindow(second.process.Pid(), test::kAlreadyRunningCaption, kStartMs);
  ASSERT_NE(box, nullptr) << "the second copy did not ask";
  ASSERT_TRUE(AnswerBox(box, IDNO));
  EXPECT_TRUE(second.process.WaitForExit(kEndMs));
  EXPECT_TRUE(first.process.Running());
  EXPECT_TRUE(IsWindow(first.main));
}

TEST_F(FrontFolder, FirstStartWithoutKeyOrConfAsksThenShowsTheDefaultBesideTheProgram) {
  FrontProcess front;
  ASSERT_TRUE(front.Start(exe));
  const HWND box = WaitForProcessWindow(front.process.Pid(), test::kUnableToOpenCaption, kStartMs);
  ASSERT_NE(box, nullptr) << "the first-load question";
  ASSERT_TRUE(AnswerBox(box, IDYES));
  ASSERT_NE(front.WaitForMainWindow(kStartMs), nullptr);
  // The first tick finds no server: by then the load is long done.
  EXPECT_TRUE(front.WaitForControlText(idLbStatus, "Stopped", 10000))
      << front.ControlText(idLbStatus);
  EXPECT_EQ(front.ControlText(idLbScanInterval), "1 hour");
  EXPECT_EQ(front.ControlText(idTarget), folder + "Default Target\\");
  EXPECT_EQ(front.ControlText(idLbTarget), (folder + "Default Target\\").substr(0, 17) + "...");
  EXPECT_EQ(front.ListRows(idTagged), 0);
  EXPECT_FALSE(front.ControlEnabled(idTagButton));
  EXPECT_FALSE(front.ControlEnabled(idUnTag));
  EXPECT_EQ(GetFileAttributesA((folder + "conf.xml").c_str()), INVALID_FILE_ATTRIBUTES)
      << "nothing is written before the user changes something";
}

}  // namespace
}  // namespace qm
