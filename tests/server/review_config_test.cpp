// A reload on the main thread and a save on the sync thread at the same moment.
#include "server/config.h"

#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qm {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";

std::string Item(const std::string& caption) {
  return "<item><caption>" + caption +
         "</caption><size>1</size><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync>"
         "<ftype>0</ftype></item>";
}

std::string FileWith(const std::string& items) {
  return kDecl +
         "<configuration><lastsyncdate>01-01-2004</lastsyncdate><syncperiod>3600000</syncperiod>"
         "<targetdrive>E:\\Backup\\</targetdrive><silentflag>0</silentflag><tagslist>" +
         items + "</tagslist></configuration>\r\n";
}

// Long enough for a load to parse a small file many times over on a loaded machine.
constexpr unsigned kLoadPatienceMs = 3000;

TEST(ReloadDuringSave, ALoadThatStopsEarlyWaitsForTheSaveInHandAndItsTagsAreKeptBeforeTheNext) {
  const std::string folder = test::MakeScratchFolder("reviewconfig");
  ASSERT_FALSE(folder.empty());
  const std::string path = folder + "conf.xml";
  ConfigFile config(path);
  ServerCore core;
  core.SetNextSync(NeverSyncDate);

  ASSERT_TRUE(test::WriteFileBytes(path, FileWith(Item("a") + Item("b") + Item("c"))));
  ASSERT_TRUE(config.Load(core, 40000.5).complete);
  ASSERT_EQ(core.TagCount(), 3u);

  // The front end's file breaks at its second item: a load reads one tag of four.
  const std::string damaged = FileWith(Item("a") + "<item/>" + Item("c") + Item("d"));
  ASSERT_TRUE(test::WriteFileBytes(path, damaged));

  std::atomic<bool> loaded{false};
  std::thread reload;
  {
    // Stands for a save that has read the load mark and not yet the tag list.
    std::unique_lock<std::mutex> saving(core.SaveLock());
    reload = std::thread([&] {
      config.Load(core, 40000.5);
      loaded = true;
    });
    for (unsigned waited = 0; waited < kLoadPatienceMs && !loaded; waited += 10) Sleep(10);
    EXPECT_FALSE(loaded) << "the load changed the tag list under a save in progress";
    EXPECT_EQ(core.TagCount(), 3u);
  }
  reload.join();
  EXPECT_EQ(core.TagCount(), 1u);

  // The next save keeps the damaged file, with the tags the load did not reach, first.
  ASSERT_TRUE(config.Save(core));
  EXPECT_EQ(test::ReadFileOrEmpty(config.KeptCopyPath(1)), damaged);
  test::RemoveTree(folder);
}

}  // namespace
}  // namespace qm
