// The whole system as a user meets it: both built programs started from one folder whose path
// holds a blank, a file and a folder tagged through the configuration program's window, the
// target set there, "Sync Now", the copies below the target, conf.xml and the log looked at,
// and both programs ended by "Quillmere.exe UNINSTALL".
#include "frontend/mainform.h"

#include "base/fileio.h"
#include "support/frontprocess.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::FrontProcess;
using test::ServerProcess;
using test::WaitUntil;

constexpr unsigned kStartMs = 30000;
constexpr unsigned kAnswerMs = 10000;
// The server checks whether a run is due every 21 seconds; the run itself is short here.
constexpr unsigned kRunMs = 60000;

class WholeSystem : public ::testing::Test {
 protected:
  void SetUp() override { FillFmtSettings("DD-MM-yyyy"); }
  void TearDown() override {
    front.process.Kill();
    server.Kill();
    test::DeleteServerKey();
    for (const std::string& f : {folder, data, target}) test::RemoveTree(f);
  }

  // Types into an edit of the window, which reports the change to the window as typing does.
  void Type(int id, const std::string& text) {
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(GetDlgItem(front.main, id), WM_SETTEXT, 0,
                                    reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                                    kAnswerMs, &result));
  }
  // Clicks a button; posted, so that the boxes it opens can be answered from here.
  void Click(int id) {
    ASSERT_TRUE(front.ControlEnabled(id)) << id;
    ASSERT_TRUE(PostMessageA(GetDlgItem(front.main, id), BM_CLICK, 0, 0));
  }
  void Answer(const std::string& caption, int button) {
    const HWND box = test::WaitForProcessWindow(front.process.Pid(), caption, kAnswerMs);
    ASSERT_NE(box, nullptr) << caption;
    ASSERT_TRUE(test::AnswerBox(box, button)) << caption;
  }
  void TagThroughTheWindow(const std::string& path, int rowsAfter) {
    Type(idTag, path);
    Click(idTagButton);
    ASSERT_TRUE(WaitUntil([&] { return front.ListRows(idTagged) == rowsAfter; }, kAnswerMs))
        << path;
  }

  const std::string folder = test::MakeScratchFolder("system test");
  const std::string data = test::MakeScratchFolder("system data");
  const std::string target = test::MakeScratchFolder("system target");
  ServerProcess server;
  FrontProcess front;
};

TEST_F(WholeSystem, TagSetTheTargetSyncAndUninstall) {
  ASSERT_NE(folder.find(' '), std::string::npos);
  const std::string serverExe = test::InstallServerCopy(folder);
  const std::string frontExe = test::InstallFrontCopy(folder);
  const std::string file = data + "report one.txt", photos = data + "photos";
  const std::string fileBytes(3000, 'r'), photoBytes(5000, 'p');
  ASSERT_TRUE(test::WriteFileBytes(file, fileBytes));
  ASSERT_TRUE(test::MakeFolderChain(photos + "\\sub\\"));
  ASSERT_TRUE(test::WriteFileBytes(photos + "\\a.jpg", photoBytes));
  ASSERT_TRUE(test::WriteFileBytes(photos + "\\sub\\b.jpg", "b"));
  const std::string copies = target + "backup copies\\";

  // The server writes its first conf.xml at start; the window then reads it.
  ASSERT_TRUE(server.Start(serverExe));
  ASSERT_NE(server.WaitForControlWindow(kStartMs), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return FileExists(folder + "conf.xml"); }, kStartMs));
  ASSERT_TRUE(front.Start(frontExe));
  ASSERT_NE(front.WaitForMainWindow(kStartMs), nullptr);
  ASSERT_TRUE(front.WaitForControlText(idLbStatus, "Running", 15000))
      << front.ControlText(idLbStatus);

  TagThroughTheWindow(file, 1);
  TagThroughTheWindow(photos + "\\", 2);
  EXPECT_EQ(front.ControlText(idTag), photos) << "one trailing backslash dropped";

  Type(idTarget, "  " + copies.substr(0, copies.size() - 1));
  Click(idTargetSet);
  Answer("Invalid Target Volume Directory", IDYES);
  Answer("Are You Sure?", IDYES);
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto conf = test::ReadConf(folder + "conf.xml");
        return conf && conf->targetdrive == copies;
      },
      kAnswerMs));
  EXPECT_TRUE(FolderExists(copies));
  EXPECT_EQ(front.ControlText(idTarget), copies);

  ASSERT_TRUE(front.Command(idSyncNow1));
  const std::string fileCopy = test::MirrorOf(copies, file);
  const std::string photoCopy = test::MirrorOf(copies, photos + "\\sub\\b.jpg");
  ASSERT_TRUE(WaitUntil(
      [&] {
        return test::ReadFileOrEmpty(fileCopy) == fileBytes &&
               test::ReadFileOrEmpty(photoCopy) == "b";
      },
      kRunMs))
      << fileCopy;
  EXPECT_EQ(test::ReadFileOrEmpty(test::MirrorOf(copies, photos + "\\a.jpg")), photoBytes);

  // The server records the run in conf.xml: both items with their sizes and kinds, the
  // target set through the window, the run's time.
  const auto conf = test::WaitForConf(
      folder + "conf.xml", [](const test::ConfFile& c) { return c.lastsyncdate != "01-01-2004"; },
      kRunMs);
  ASSERT_TRUE(conf.has_value());
  EXPECT_EQ(conf->targetdrive, copies);
  ASSERT_EQ(conf->items.size(), 2u);
  EXPECT_EQ(conf->items[0].caption, "report one.txt");
  EXPECT_EQ(conf->items[0].path, data);
  EXPECT_EQ(conf->items[0].size, 3);
  EXPECT_EQ(conf->items[0].ftype, 0);
  EXPECT_EQ(conf->items[1].caption, "photos");
  EXPECT_EQ(conf->items[1].path, data);
  EXPECT_EQ(conf->items[1].size, 5 + 1);
  EXPECT_EQ(conf->items[1].ftype, 2);
  for (const auto& item : conf->items) EXPECT_NE(item.lastsync, "01-01-2004") << item.caption;
  EXPECT_TRUE(front.WaitForControlText(idLbStatus, "Running", kRunMs));

  // The log holds the start and no problem.
  const std::vector<std::string> log = test::ReadLines(folder + "quillmere.log");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(test::LogText(log[0]), "QuillmereServer# Started.");
  for (const std::string& line : log) EXPECT_EQ(test::LogText(line).find("not available"),
                                                std::string::npos) << line;

  ServerProcess uninstall;
  ASSERT_TRUE(uninstall.Start(frontExe, "UNINSTALL"));
  EXPECT_TRUE(uninstall.WaitForExit(kStartMs));
  EXPECT_TRUE(server.WaitForExit(kStartMs));
  EXPECT_TRUE(front.process.WaitForExit(kStartMs));
}

}  // namespace
}  // namespace qm
