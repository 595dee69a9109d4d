#include "server/config.h"

#include "base/fileio.h"
#include "base/handles.h"
#include "base/xmldoc.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";

std::string ServerItem(const std::string& caption, int size = 1) {
  return "  <item>  <caption>" + caption + "</caption>  <size>" + std::to_string(size) +
         "</size>  <path>C:\\Docs\\</path>  <lastsync>01-01-2004</lastsync>  <ftype>0</ftype>  </item> \r\n";
}

std::string Root(const std::string& inner) { return kDecl + "<configuration>\r\n" + inner + "</configuration>\r\n"; }

std::string Settings(const std::string& last = "02-03-2005 10:20:30", const std::string& period = "90000",
                     const std::string& target = "E:\\Backup\\", const std::string& silent = "1") {
  return " <lastsyncdate>" + last + "</lastsyncdate> \r\n <syncperiod>" + period +
         "</syncperiod> \r\n <targetdrive>" + target + "</targetdrive> \r\n <silentflag>" + silent +
         "</silentflag> \r\n";
}

class Config : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeScratchFolder("config");
    ASSERT_FALSE(folder_.empty());
    path_ = folder_ + "conf.xml";
    config_ = std::make_unique<ConfigFile>(path_);
    // The start-up values before the first load.
    core_.SetLastSync(NeverSyncDate);
    core_.SetNextSync(NeverSyncDate);
    core_.SetSyncPeriod(1.0 / 24);
    core_.SetTargetPath(folder_ + "Default Target\\");
  }
  void TearDown() override { test::RemoveTree(folder_); }

  LoadOutcome LoadText(const std::string& text, DateTime now = kNow) {
    EXPECT_TRUE(test::WriteFileBytes(path_, text));
    return config_->Load(core_, now);
  }
  std::string OnDisk() const { return test::ReadFileOrEmpty(path_); }

  static constexpr DateTime kNow = 40000.5;  // 06-07-2009 12:00
  std::string folder_;
  std::string path_;
  ServerCore core_;
  std::unique_ptr<ConfigFile> config_;
};

TEST(ConfigText, FirstStartWritesTheNineDefaultLines) {
  ServerSettings s;
  s.LastSync = NeverSyncDate;
  s.SyncPeriod = 1.0 / 24;
  s.TargetPath = "C:\\Program Files\\Quillmere\\Default Target\\";
  EXPECT_EQ(BuildConfigText(s, false, {}),
            "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
            "<configuration>\r\n"
            " <lastsyncdate>01-01-2004</lastsyncdate> \r\n"
            " <syncperiod>3600000</syncperiod> \r\n"
            " <targetdrive>C:\\Program Files\\Quillmere\\Default Target\\</targetdrive> \r\n"
            " <silentflag>0</silentflag> \r\n"
            " <tagslist>\r\n"
            " </tagslist>\r\n"
            "</configuration>\r\n");
  EXPECT_EQ(std::string("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>").size(), 45u);
}

TEST(SyncPeriod, EveryAcceptedValueRoundTrips) {
  EXPECT_EQ(PeriodToMs(1.0 / 24), 3600000);
  EXPECT_DOUBLE_EQ(MsToPeriod(90000), 90000.0 / 86400000.0);
  std::vector<int32_t> values = {1, 2, 59999, 60000, 90000, 3600000, 86400000, 2147483646, 2147483647,
                                 0, -1, -90000, INT32_MIN};
  for (int32_t ms = 1; ms <= 20000; ++ms) values.push_back(ms);
  std::mt19937 random(20240607);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  for (int i = 0; i < 200000; ++i) values.push_back(any(random));
  int mismatches = 0;
  for (int32_t ms : values)
    if (PeriodToMs(MsToPeriod(ms)) != ms && ++mismatches < 5) ADD_FAILURE() << ms;
  EXPECT_EQ(mismatches, 0);
}

TEST_F(Config, FirstStartWithoutAFileSavesTheDefaults) {
  const LoadOutcome outcome = config_->Load(core_, kNow);
  EXPECT_FALSE(outcome.fileRead);
  EXPECT_EQ(core_.TagCount(), 0u);
  core_.FSilent = false;
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_EQ(OnDisk(), BuildConfigText(core_.Settings(), false, {}));
  EXPECT_NE(OnDisk().find("<targetdrive>" + folder_ + "Default Target\\</targetdrive>"), std::string::npos);
  EXPECT_FALSE(FileExists(config_->KeptCopyPath(1)));
}

TEST_F(Config, EitherProgramsElementOrderLoadsTheSameFields) {
  const std::string serverText = Root(Settings() + " <tagslist>\r\n" + ServerItem("a.txt", 12) + " </tagslist>\r\n");
  const std::string frontEndText =
      kDecl + "<configuration><lastsyncdate>02-03-2005 10:20:30</lastsyncdate><silentflag>1</silentflag>"
              "<syncperiod>90000</syncperiod><targetdrive>E:\\Backup\\</targetdrive><tagslist><item>"
              "<caption>a.txt</caption><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync><size>12</size>"
              "<ftype>0</ftype></item></tagslist></configuration>";
  // Whatever the server's writer puts out holds every field it loaded.
  ASSERT_TRUE(LoadText(serverText).complete);
  ASSERT_TRUE(config_->Save(core_));
  const std::string fromServer = OnDisk();
  ServerCore other;
  ConfigFile otherFile(path_);
  ASSERT_TRUE(test::WriteFileBytes(path_, frontEndText));
  ASSERT_TRUE(otherFile.Load(other, kNow).complete);
  ASSERT_TRUE(otherFile.Save(other));
  EXPECT_EQ(OnDisk(), fromServer);
  EXPECT_EQ(fromServer, serverText);
  EXPECT_DOUBLE_EQ(other.LastSync(), EncodeDateTime({2005, 3, 2, 10, 20, 30}));
  EXPECT_TRUE(other.FSilent);
}

TEST_F(Config, TheFirstOfAnElementCountsAndOthersAreIgnored) {
  const std::string text =
      kDecl + "<settings><extra>1</extra><syncperiod>60000</syncperiod><syncperiod>120000</syncperiod>"
              "<lastsyncdate>02-03-2005</lastsyncdate><targetdrive>F:\\</targetdrive><targetdrive>G:\\</targetdrive>"
              "<silentflag>0</silentflag><tagslist><item><caption>x</caption><caption>y</caption><size>1</size>"
              "<path>C:\\</path><ftype>0</ftype><note>n</note></item></tagslist><tagslist>" +
      ServerItem("z") + "</tagslist><!-- comment --></settings>";
  ASSERT_TRUE(LoadText(text).complete);
  EXPECT_EQ(PeriodToMs(core_.SyncPeriod()), 60000);
  EXPECT_EQ(core_.TargetPath(), "F:\\");
  ASSERT_EQ(core_.TagCount(), 1u);
  EXPECT_EQ(core_.Tags()[0].Caption, "x");
}

TEST_F(Config, AnEmptyOrMissingTagListIsACompleteLoad) {
  for (const std::string& list : {std::string(" <tagslist>\r\n </tagslist>\r\n"), std::string("<tagslist/>"),
                                  std::string("<tagslist></tagslist>"), std::string("")}) {
    core_.SetTags({TTagItem{}});
    const LoadOutcome outcome = LoadText(Root(Settings() + list));
    EXPECT_TRUE(outcome.fileRead && outcome.complete) << list;
    EXPECT_EQ(core_.TagCount(), 0u) << list;
  }
}

TEST_F(Config, TargetGainsItsBackslashAndSilentTwoSavesAsOne) {
  ASSERT_TRUE(LoadText(Root(Settings("01-01-2004", "90000", "E:\\Backup", "2"))).complete);
  EXPECT_EQ(core_.TargetPath(), "E:\\Backup\\");
  EXPECT_TRUE(core_.FSilent);
  ASSERT_TRUE(config_->Save(core_));
  const std::string saved = OnDisk();
  EXPECT_NE(saved.find(" <targetdrive>E:\\Backup\\</targetdrive> \r\n"), std::string::npos);
  EXPECT_NE(saved.find(" <silentflag>1</silentflag> \r\n"), std::string::npos);
  EXPECT_NE(saved.find(" <syncperiod>90000</syncperiod> \r\n"), std::string::npos);
  ASSERT_TRUE(LoadText(Root(Settings("01-01-2004", "90000", "E:\\", "0"))).complete);
  EXPECT_FALSE(core_.FSilent);
  EXPECT_EQ(core_.TargetPath(), "E:\\");
}

TEST_F(Config, SavedValuesLoadBackUnchanged) {
  const std::vector<int32_t> periods = {1, 59999, 90000, 3600000, 2147483647, 123456789, 7};
  for (int32_t ms : periods) {
    ASSERT_TRUE(LoadText(Root(Settings("01-01-2004", std::to_string(ms)) + " <tagslist>\r\n" +
                              ServerItem("a") + " </tagslist>\r\n")).complete);
    ASSERT_TRUE(config_->Save(core_));
    EXPECT_NE(OnDisk().find("<syncperiod>" + std::to_string(ms) + "</syncperiod>"), std::string::npos) << ms;
  }
  TTagItem tag;
  tag.Caption = "R&D <1>";
  tag.Path = "C:\\A&B\\<c\\";
  tag.TargetSub = MakeTargetSub(tag.Path);
  tag.Size = 77;
  tag.FType = 2;
  tag.LastSync = EncodeDateTime({2011, 12, 13, 14, 15, 16});
  core_.SetTags({tag});
  core_.SetTargetPath("E:\\Q&A <new>\\");
  core_.SetLastSync(EncodeDateTime({2012, 1, 2, 3, 4, 5}));
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_NE(OnDisk().find("<caption>R&amp;D &lt;1></caption>"), std::string::npos);
  ServerCore back;
  ASSERT_TRUE(config_->Load(back, kNow).complete);
  EXPECT_EQ(back.TargetPath(), "E:\\Q&A <new>\\");
  EXPECT_DOUBLE_EQ(back.LastSync(), EncodeDateTime({2012, 1, 2, 3, 4, 5}));
  ASSERT_EQ(back.TagCount(), 1u);
  const TTagItem got = back.Tags()[0];
  EXPECT_EQ(got.Caption, tag.Caption);
  EXPECT_EQ(got.Path, tag.Path);
  EXPECT_EQ(got.TargetSub, tag.TargetSub);
  EXPECT_EQ(got.Size, 77u);
  EXPECT_EQ(got.FType, 2);
  EXPECT_DOUBLE_EQ(got.LastSync, tag.LastSync);
}

TEST_F(Config, EachFailureEndsTheLoadWhereItStands) {
  core_.SetTags({TTagItem{}, TTagItem{}});
  // An unparsable date keeps the old value and the load goes on.
  LoadOutcome outcome = LoadText(Root(Settings("someday", "60000", "F:\\", "1")));
  EXPECT_TRUE(outcome.complete);
  EXPECT_DOUBLE_EQ(core_.LastSync(), NeverSyncDate);
  EXPECT_EQ(PeriodToMs(core_.SyncPeriod()), 60000);

  // A bad period stops before the target; the tags read last stay empty.
  core_.SetTags({TTagItem{}});
  outcome = LoadText(Root(Settings("02-03-2005", "soon", "G:\\", "0") + "<tagslist>" + ServerItem("a") +
                          "</tagslist>"));
  EXPECT_TRUE(outcome.fileRead);
  EXPECT_FALSE(outcome.complete);
  EXPECT_DOUBLE_EQ(core_.LastSync(), EncodeDateTime({2005, 3, 2}));
  EXPECT_EQ(PeriodToMs(core_.SyncPeriod()), 60000);
  EXPECT_EQ(core_.TargetPath(), "F:\\");
  EXPECT_TRUE(core_.FSilent);
  EXPECT_EQ(core_.TagCount(), 0u);

  // A period beyond 32 bits stops there too; an empty date stops at once.
  outcome = LoadText(Root(Settings("03-03-2005", "2147483648", "G:\\", "0")));
  EXPECT_FALSE(outcome.complete);
  EXPECT_DOUBLE_EQ(core_.LastSync(), EncodeDateTime({2005, 3, 3}));
  outcome = LoadText(Root(Settings("", "1000", "G:\\", "0")));
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(PeriodToMs(core_.SyncPeriod()), 60000);

  // A bad silent flag stops after the target.
  outcome = LoadText(Root(Settings("03-03-2005", "30000", "H:\\", "yes")));
  EXPECT_FALSE(outcome.complete);
  EXPECT_EQ(core_.TargetPath(), "H:\\");
  EXPECT_TRUE(core_.FSilent);

  // A missing target stops before the flag.
  outcome = LoadText(Root(" <lastsyncdate>03-03-2005</lastsyncdate> <syncperiod>30000</syncperiod> "
                          "<silentflag>0</silentflag>"));
  EXPECT_FALSE(outcome.complete);
  EXPECT_TRUE(core_.FSilent);

  // Not well-formed: nothing is read and the tags are gone.
  core_.SetTags({TTagItem{}});
  outcome = LoadText(Root(Settings("04-04-2006", "1000", "J:\\", "0")).substr(0, 120));
  EXPECT_FALSE(outcome.fileRead);
  EXPECT_DOUBLE_EQ(core_.LastSync(), EncodeDateTime({2005, 3, 3}));
  EXPECT_EQ(core_.TargetPath(), "H:\\");
  EXPECT_EQ(core_.TagCount(), 0u);
}

TEST_F(Config, ABadThirdItemLeavesTwoTagsAndTheRestSurviveTheNextSave) {
  const std::string original =
      Root(Settings() + " <tagslist>\r\n" + ServerItem("one") + ServerItem("two") +
           "  <item>  <caption></caption>  <size>1</size>  <path>C:\\</path>  <ftype>0</ftype>  </item> \r\n" +
           ServerItem("four") + ServerItem("five") + " </tagslist>\r\n");
  const LoadOutcome outcome = LoadText(original);
  EXPECT_TRUE(outcome.fileRead);
  EXPECT_FALSE(outcome.complete);
  ASSERT_EQ(core_.TagCount(), 2u);
  EXPECT_EQ("Tags quantity: " + std::to_string(core_.TagCount()), "Tags quantity: 2");
  EXPECT_EQ(core_.Tags()[1].Caption, "two");

  ASSERT_TRUE(config_->Save(core_));
  EXPECT_EQ(test::ReadFileOrEmpty(config_->KeptCopyPath(1)), original);
  EXPECT_EQ(OnDisk().find("four"), std::string::npos);
  EXPECT_NE(OnDisk().find("<caption>two</caption>"), std::string::npos);

  // Saves after that overwrite freely, and keep no further copy.
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_FALSE(FileExists(config_->KeptCopyPath(2)));
  EXPECT_EQ(test::ReadFileOrEmpty(config_->KeptCopyPath(1)), original);
}

TEST_F(Config, KeptCopiesAreNeitherOverwrittenNorRepeated) {
  const std::string first = Root(Settings() + "<tagslist>" + ServerItem("a") + "<item/></tagslist>");
  const std::string second = Root(Settings() + "<tagslist>" + ServerItem("b") + "<item/></tagslist>");
  LoadText(first);
  ASSERT_TRUE(config_->Save(core_));
  LoadText(second);
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_EQ(test::ReadFileOrEmpty(config_->KeptCopyPath(1)), first);
  EXPECT_EQ(test::ReadFileOrEmpty(config_->KeptCopyPath(2)), second);
  LoadText(first);  // the same broken file again: it is kept already
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_FALSE(FileExists(config_->KeptCopyPath(3)));

  // With every name taken, conf.xml itself is left alone.
  for (int n = 3; n <= ConfigFile::kMaxKeptCopies; ++n)
    ASSERT_TRUE(test::WriteFileBytes(config_->KeptCopyPath(n), "other " + std::to_string(n)));
  const std::string third = Root(Settings() + "<tagslist><item/></tagslist>");
  LoadText(third);
  EXPECT_FALSE(config_->Save(core_));
  EXPECT_EQ(OnDisk(), third);
  // A complete load lifts that.
  LoadText(Root(Settings()));
  EXPECT_TRUE(config_->Save(core_));
}

TEST_F(Config, AFileHeldByAWriterIsNotOverwrittenUntilALoadReadsIt) {
  const std::string text = Root(Settings() + "<tagslist>" + ServerItem("a") + ServerItem("b") + "</tagslist>");
  ASSERT_TRUE(test::WriteFileBytes(path_, text));
  {
    UniqueFile writer(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    const LoadOutcome outcome = config_->Load(core_, kNow);
    EXPECT_FALSE(outcome.fileRead);
    EXPECT_EQ(core_.TagCount(), 0u);
  }
  EXPECT_FALSE(config_->Save(core_));  // its tags would be lost, and no copy is needed later
  EXPECT_EQ(OnDisk(), text);
  EXPECT_FALSE(FileExists(config_->KeptCopyPath(1)));
  ASSERT_TRUE(config_->Load(core_, kNow).complete);
  EXPECT_EQ(core_.TagCount(), 2u);
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_NE(OnDisk().find("<caption>b</caption>"), std::string::npos);
}

TEST_F(Config, ARunsResultsOutliveAReloadThatCannotOpenTheFileAndAreSavedByTheNextWholeLoad) {
  const std::string text =
      Root(Settings() + "<tagslist>" + ServerItem("a") + ServerItem("b") + "</tagslist>");
  ASSERT_TRUE(LoadText(text).complete);
  const std::vector<TTagItem> before = core_.Tags();
  std::vector<TTagItem> after = before;
  const DateTime runStart = kNow + 1;
  after[0].Size = 7;
  after[0].LastSync = runStart + kOneMinute;
  after[1].LastSync = runStart + 2 * kOneMinute;
  {
    // The reload that comes while the run copies finds the front end writing the file.
    UniqueFile writer(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_TRUE(config_->Load(core_, kNow).held);
    core_.FinishRun(before, after, runStart);
    EXPECT_FALSE(config_->Save(core_));
  }
  EXPECT_EQ(OnDisk(), text);

  const LoadOutcome outcome = config_->Load(core_, kNow);
  ASSERT_TRUE(outcome.complete);
  EXPECT_TRUE(outcome.tookRunResults);
  const std::vector<TTagItem> tags = core_.Tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].Size, 7u);
  EXPECT_DOUBLE_EQ(tags[0].LastSync, after[0].LastSync);
  EXPECT_EQ(tags[1].Size, 1u);
  EXPECT_DOUBLE_EQ(tags[1].LastSync, after[1].LastSync);
  EXPECT_DOUBLE_EQ(core_.LastSync(), runStart);
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_NE(OnDisk().find("<lastsyncdate>" + DateTimeToText(runStart) + "</lastsyncdate>"),
            std::string::npos)
      << OnDisk();
  // Taken once: the next load has nothing more to merge.
  EXPECT_FALSE(config_->Load(core_, kNow).tookRunResults);
}

// The configuration program rewrites conf.xml whenever the user changes something: a save takes
// the tags and settings of the newer file and brings the run's results into them, also when a
// reload read that file while the save was due, or when the file, written from an older copy,
// lacks results that an earlier save wrote, and a plain reload of such a file after that save
// puts no result back.
TEST_F(Config, ASaveTakesWhatAnotherProgramWroteAndKeepsTheRunsResults) {
  enum When {
    kWhileTheSaveIsHeld,
    kReloadedBeforeTheSave,
    kAfterTheRunsOwnSave,
    kReloadedAfterTheRunsOwnSave
  };
  struct Case {
    const char* name;
    std::vector<std::string> otherTags;  // the tags that the other program's file holds
    When when;
  };
  const Case cases[] = {
      {"a tag added", {"a", "b", "c"}, kWhileTheSaveIsHeld},
      {"a tag removed", {"a"}, kWhileTheSaveIsHeld},
      {"the copied tag removed", {"b"}, kWhileTheSaveIsHeld},
      {"a tag added, then reloaded", {"a", "b", "c"}, kReloadedBeforeTheSave},
      {"a tag removed, then reloaded", {"a"}, kReloadedBeforeTheSave},
      {"a tag added to an older copy", {"a", "b", "c"}, kAfterTheRunsOwnSave},
      {"an older copy reloaded", {"a", "b"}, kReloadedAfterTheRunsOwnSave},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(LoadText(Root(Settings() + "<tagslist>" + ServerItem("a") + ServerItem("b") + "</tagslist>")).complete);
    const std::vector<TTagItem> before = core_.Tags();
    std::vector<TTagItem> after = before;
    const DateTime runStart = kNow + 1;
    after[0].Size = 7;
    after[0].LastSync = runStart + kOneMinute;
    core_.FinishRun(before, after, runStart);
    const bool reloaded = c.when == kReloadedBeforeTheSave || c.when == kReloadedAfterTheRunsOwnSave;
    if (c.when == kAfterTheRunsOwnSave || c.when == kReloadedAfterTheRunsOwnSave) {
      ASSERT_TRUE(config_->Save(core_));
    }

    std::string items;
    for (const std::string& tag : c.otherTags) items += ServerItem(tag);
    const std::string other =
        Root(Settings("02-03-2005 10:20:30", "60000", "F:\\", "1") + "<tagslist>" + items + "</tagslist>");
    bool written = false;
    if (reloaded) {
      ASSERT_TRUE(LoadText(other).complete);
    } else {
      config_->SetSaveHold([&] {
        if (!written) written = test::WriteFileBytes(path_, other);
      });
    }
    ASSERT_TRUE(config_->Save(core_));
    config_->SetSaveHold(nullptr);
    EXPECT_EQ(written, !reloaded);

    ServerCore saved;
    ASSERT_TRUE(ConfigFile(path_).Load(saved, kNow).complete) << OnDisk();
    EXPECT_EQ(PeriodToMs(saved.SyncPeriod()), 60000);
    EXPECT_EQ(saved.TargetPath(), "F:\\");
    EXPECT_DOUBLE_EQ(saved.LastSync(), runStart);
    const std::vector<TTagItem> tags = saved.Tags();
    ASSERT_EQ(tags.size(), c.otherTags.size()) << OnDisk();
    for (size_t i = 0; i < tags.size(); ++i) {
      EXPECT_EQ(tags[i].Caption, c.otherTags[i]);
      const bool copied = tags[i].Caption == "a";
      EXPECT_EQ(tags[i].Size, copied ? 7u : 1u) << tags[i].Caption;
      EXPECT_DOUBLE_EQ(tags[i].LastSync, copied ? after[0].LastSync : NeverSyncDate) << tags[i].Caption;
    }
  }
}

// A file that the other program leaves damaged, or holds open, while a save waits is protected
// as after any load: a damaged one is kept beside itself first, a held one is not overwritten.
TEST_F(Config, AFileDamagedOrHeldDuringASaveIsProtected) {
  const std::string original = Root(Settings() + "<tagslist>" + ServerItem("a") + "</tagslist>");
  const std::string damaged =
      Root(Settings() + "<tagslist>" + ServerItem("a") + "<item/>" + ServerItem("c") + "</tagslist>");
  ASSERT_TRUE(LoadText(original).complete);
  config_->SetSaveHold([&] {
    if (OnDisk() == original) test::WriteFileBytes(path_, damaged);
  });
  EXPECT_TRUE(config_->Save(core_));
  EXPECT_EQ(test::ReadFileOrEmpty(config_->KeptCopyPath(1)), damaged);

  ASSERT_TRUE(LoadText(original).complete);
  UniqueFile writer;
  config_->SetSaveHold([&] {
    if (!writer)
      writer.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
  });
  EXPECT_FALSE(config_->Save(core_));
  config_->SetSaveHold(nullptr);
  ASSERT_TRUE(writer);
  writer.reset();
  EXPECT_EQ(OnDisk(), original);
}

TEST_F(Config, AnInterruptedSaveLeavesTheOldFileWhole) {
  const std::string text = Root(Settings() + "<tagslist>" + ServerItem("a") + "</tagslist>");
  ASSERT_TRUE(LoadText(text).complete);
  core_.SetTargetPath("Z:\\elsewhere\\");
  {
    UniqueFile holder(CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(config_->Save(core_));
  }
  EXPECT_EQ(OnDisk(), text);
  EXPECT_FALSE(FileExists(TemporaryPathFor(path_)));
  EXPECT_TRUE(config_->Save(core_));
  EXPECT_NE(OnDisk().find("Z:\\elsewhere\\"), std::string::npos);
}

TEST_F(Config, ConcurrentSavesNeverLeaveAHalfFile) {
  std::vector<TTagItem> many(300);
  for (size_t i = 0; i < many.size(); ++i) {
    many[i].Caption = "file" + std::to_string(i);
    many[i].Path = "C:\\Docs\\";
  }
  core_.SetTags(many);
  std::atomic<int> saved{0};
  auto saver = [&] {
    for (int i = 0; i < 15; ++i)
      if (config_->Save(core_)) ++saved;
  };
  std::thread a(saver), b(saver);
  int readable = 0;
  for (int i = 0; i < 30; ++i) {
    ServerCore reader;
    if (config_->Load(reader, kNow).complete) {
      ++readable;
      EXPECT_EQ(reader.TagCount(), many.size());
    }
  }
  a.join();
  b.join();
  EXPECT_GT(saved.load(), 0);
  EXPECT_GT(readable, 0);
  ServerCore last;
  EXPECT_TRUE(config_->Load(last, kNow).complete);
  EXPECT_EQ(last.TagCount(), many.size());
}

TEST_F(Config, ALoadMovesTheNextDueTimeOnlyEarlier) {
  const DateTime hour = 1.0 / 24;
  // Never synchronised: at most one period from now.
  core_.SetNextSync(kNow + 10);
  LoadText(Root(Settings("01-01-2004", "3600000", "E:\\", "0")));
  EXPECT_DOUBLE_EQ(core_.NextSync(), kNow + hour);
  LoadText(Root(Settings("05-05-2003", "1800000", "E:\\", "0")));
  EXPECT_NEAR(core_.NextSync(), kNow + hour / 2, 1e-9);
  // A longer period never moves it later.
  LoadText(Root(Settings("01-01-2004", "7200000", "E:\\", "0")));
  EXPECT_NEAR(core_.NextSync(), kNow + hour / 2, 1e-9);
  // A last sync one hour back with a 30 minute period: due 30 minutes ago.
  const DateTime lastSync = EncodeDateTime({2009, 7, 6, 11, 0, 0});
  ASSERT_DOUBLE_EQ(lastSync, kNow - hour);
  LoadText(Root(Settings("06-07-2009 11:00:00", "1800000", "E:\\", "0")));
  EXPECT_NEAR(core_.NextSync(), kNow - hour / 2, 1e-9);
  // Unless it already was earlier.
  core_.SetNextSync(kNow - 5);
  LoadText(Root(Settings("06-07-2009 11:00:00", "1800000", "E:\\", "0")));
  EXPECT_DOUBLE_EQ(core_.NextSync(), kNow - 5);
  // A failed load applies the rule with the values it left.
  core_.SetNextSync(kNow + 10);
  core_.SetLastSync(NeverSyncDate);
  DeleteFileA(path_.c_str());
  EXPECT_FALSE(config_->Load(core_, kNow).fileRead);
  EXPECT_NEAR(core_.NextSync(), kNow + hour / 2, 1e-9);
}

// The declared encoding is Windows-1251 while the texts are the system code page's. On a
// Windows-1251 system the bytes are written unchanged; on others each character is written so
// that the reader decodes it back to the same character.
TEST_F(Config, NamesOutsideAsciiComeBackAsTheyWere) {
  const std::string text = "caf\xE9 \xA9";
  if (GetACP() == 1251) {
    EXPECT_EQ(ToDeclaredEncoding(text), text);
  } else if (GetACP() == 1252) {
    EXPECT_EQ(ToDeclaredEncoding(text), "caf&#233; \xA9");
  }
  EXPECT_EQ(ToDeclaredEncoding("plain <&amp;>\r\n"), "plain <&amp;>\r\n");
  TTagItem tag;
  tag.Caption = text;
  tag.Path = "C:\\\xE9t\xE9\\";
  core_.SetTags({tag});
  core_.SetTargetPath("E:\\\xC0\\");
  ASSERT_TRUE(config_->Save(core_));
  const std::string saved = OnDisk();
  if (GetACP() == 1251) {
    EXPECT_NE(saved.find("<caption>caf\xE9 \xA9</caption>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<path>C:\\\xE9t\xE9\\</path>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<targetdrive>E:\\\xC0\\</targetdrive>"), std::string::npos) << saved;
  } else if (GetACP() == 1252) {
    EXPECT_NE(saved.find("<caption>caf&#233; \xA9</caption>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<path>C:\\&#233;t&#233;\\</path>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<targetdrive>E:\\&#192;\\</targetdrive>"), std::string::npos) << saved;
  }
  ServerCore back;
  ASSERT_TRUE(config_->Load(back, kNow).complete);
  ASSERT_EQ(back.TagCount(), 1u);
  EXPECT_EQ(back.Tags()[0].Caption, text);
  EXPECT_EQ(back.Tags()[0].Path, tag.Path);
  EXPECT_EQ(back.TargetPath(), "E:\\\xC0\\");
}

// A name the system code page cannot hold is read with "?" in its place, never as the
// look-alike that best fit makes of it: "cafā.txt" must not become "cafa.txt", another file,
// which the run would copy for this tag and the next save would name.
TEST_F(Config, ANameTheCodePageCannotHoldComesBackWithAQuestionMarkNotALookAlike) {
  if (GetACP() != 1251 && GetACP() != 1252)
    GTEST_SKIP() << "U+0101 has a byte of its own in code page " << GetACP();
  // U+0101 is in neither Windows-1251 nor Windows-1252; best fit makes it "a" in both.
  ASSERT_TRUE(LoadText(Root(Settings() + " <tagslist>\r\n" + ServerItem("caf&#257;.txt") +
                            " </tagslist>\r\n")).complete);
  ASSERT_EQ(core_.TagCount(), 1u);
  EXPECT_EQ(core_.Tags()[0].Caption, "caf?.txt");
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_NE(OnDisk().find("<caption>caf?.txt</caption>"), std::string::npos) << OnDisk();
}

// Where the system code page is the declared Windows-1251, a file's names pass a load and the
// next save with their bytes unchanged: every letter, and the ones outside the letters' block.
TEST_F(Config, UnderWindows1251ASaveWritesBackTheVeryBytesOfTheNamesALoadRead) {
  if (GetACP() != 1251)
    GTEST_SKIP() << "names keep their bytes only where the ANSI code page is Windows-1251 "
                    "(server_config_test_cp1251 runs this)";
  std::string letters;
  for (int c = 0xC0; c <= 0xFF; ++c) letters += static_cast<char>(c);
  const auto item = [](const std::string& caption, const std::string& path) {
    return "  <item>  <caption>" + caption + "</caption>  <size>1</size>  <path>" + path +
           "</path>  <lastsync>01-01-2004</lastsync>  <ftype>2</ftype>  </item> \r\n";
  };
  const std::string documents = "C:\\\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB\\";  // C:\Документы
  const std::string text =
      Root(Settings("02-03-2005 10:20:30", "90000", "E:\\\xCA\xEE\xEF\xE8\xE8\\", "0") + " <tagslist>\r\n" +
           item(letters, documents) + item("\xA8\xB8 \xB9 \xAB\xBB", documents) +  // Ё ё № « »
           item("\xD1\xEC\xE5\xF2\xE0 &amp; \xEE\xF2\xF7\xB8\xF2", documents + letters + "\\") +
           " </tagslist>\r\n");
  ASSERT_TRUE(LoadText(text).complete);
  ASSERT_EQ(core_.TagCount(), 3u);
  EXPECT_EQ(core_.Tags()[0].Caption, letters);
  EXPECT_EQ(core_.Tags()[2].Caption, "\xD1\xEC\xE5\xF2\xE0 & \xEE\xF2\xF7\xB8\xF2");
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_EQ(OnDisk(), text);
}

// The configuration program edits its document and writes it through the document's
// serialiser; the server must read that file whole, names outside ASCII included.
TEST_F(Config, LoadsWhatTheDocumentSerialiserWrites) {
  XmlDocument doc;
  ASSERT_TRUE(doc.Parse(kDecl + "<configuration> <lastsyncdate>01-01-2004</lastsyncdate> <silentflag>0</silentflag> "
                                "<syncperiod>3600000</syncperiod> <targetdrive>C:\\Default Target\\</targetdrive> "
                                "<tagslist/> </configuration>"));
  const XmlNode root = doc.DocumentElement();
  root.ChildByNameOrAppend("targetdrive").SetText("E:\\A&B \xE9\\");
  root.ChildByNameOrAppend("syncperiod").SetText("1800000");
  const XmlNode list = root.ChildByNameOrAppend("tagslist");
  const char* captions[] = {"a<b>&c.txt", "caf\xE9"};
  for (const char* caption : captions) {
    const XmlNode item = list.AppendChildElement("item");
    item.AppendChildElement("caption").SetText(caption);
    item.AppendChildElement("path").SetText("C:\\Docs\\");
    item.AppendChildElement("lastsync").SetText("01-01-2004");
    item.AppendChildElement("size").SetText("7");
    item.AppendChildElement("ftype").SetText("2");
  }
  ASSERT_TRUE(test::WriteFileBytes(path_, doc.Serialise()));

  ASSERT_TRUE(config_->Load(core_, kNow).complete);
  EXPECT_EQ(core_.TargetPath(), "E:\\A&B \xE9\\");
  EXPECT_EQ(PeriodToMs(core_.SyncPeriod()), 1800000);
  const std::vector<TTagItem> tags = core_.Tags();
  ASSERT_EQ(tags.size(), 2u);
  for (size_t i = 0; i < tags.size(); ++i) {
    EXPECT_EQ(tags[i].Caption, captions[i]);
    EXPECT_EQ(tags[i].Path, "C:\\Docs\\");
    EXPECT_EQ(tags[i].Size, 7u);
    EXPECT_TRUE(tags[i].IsFolder());
  }
}

// Long enough for a load to parse a small file many times over on a loaded machine.
constexpr unsigned kLoadPatienceMs = 3000;

TEST_F(Config, ALoadThatStopsEarlyWaitsForTheSaveInHandAndItsTagsAreKeptBeforeTheNext) {
  const auto withItems = [](const std::string& items) {
    return Root(Settings() + " <tagslist>\r\n" + items + " </tagslist>\r\n");
  };
  ASSERT_TRUE(LoadText(withItems(ServerItem("a") + ServerItem("b") + ServerItem("c"))).complete);
  ASSERT_EQ(core_.TagCount(), 3u);

  // The front end's file breaks at its second item: a load reads one tag of four.
  const std::string damaged =
      withItems(ServerItem("a") + "<item/>" + ServerItem("c") + ServerItem("d"));
  ASSERT_TRUE(test::WriteFileBytes(path_, damaged));

  std::atomic<bool> loaded{false};
  std::thread reload;
  {
    // Stands for a save that has read the load mark and not yet the tag list.
    std::unique_lock saving(core_.SaveLock());
    reload = std::thread([&] {
      config_->Load(core_, kNow);
      loaded = true;
    });
    for (unsigned waited = 0; waited < kLoadPatienceMs && !loaded; waited += 10) Sleep(10);
    EXPECT_FALSE(loaded) << "the load changed the tag list under a save in progress";
    EXPECT_EQ(core_.TagCount(), 3u);
  }
  reload.join();
  EXPECT_EQ(core_.TagCount(), 1u);

  // The next save keeps the damaged file, with the tags the load did not reach, first.
  ASSERT_TRUE(config_->Save(core_));
  EXPECT_EQ(test::ReadFileOrEmpty(config_->KeptCopyPath(1)), damaged);
}

}  // namespace
}  // namespace qm
