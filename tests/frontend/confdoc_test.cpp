#include "frontend/confdoc.h"

#include "base/fileio.h"
#include "base/handles.h"
#include "server/config.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";
const std::string kCaption = "Quillmere was unable to open a file!";
const std::string kFirstLoadText =
    "Quillmere was unable to open the file: conf.xml. This was most likely because it was in use "
    "by another application or file corrupt.\r\n\t 1) Press button \" No \" and try to execute "
    "refresh later;\r\n\t 2) For application of a configuration by default press button \"Yes\";";
const std::string kReloadText =
    "Quillmere was unable to open the file: conf.xml. This was most likely because it was in use "
    "by another application or file corrupt.\r\n\t 1) Press button \" No \" and try to execute "
    "refresh later;\r\n\t 2) For save of the current configuration press button \"Yes\";";

std::string Item(const std::string& caption) {
  return "  <item> <caption>" + XmlEscapeText(caption) +
         "</caption> <path>C:\\Docs\\</path> <lastsync>01-01-2004</lastsync> <size>3</size> "
         "<ftype>0</ftype> </item>\r\n";
}

// A file of the server's layout with the given captions as tags.
std::string ConfText(const std::vector<std::string>& captions) {
  std::string text = kDecl +
                     "<configuration>\r\n <lastsyncdate>02-03-2005 10:20:30</lastsyncdate> \r\n"
                     " <syncperiod>5400000</syncperiod> \r\n <targetdrive>E:\\Backup\\</targetdrive> "
                     "\r\n <silentflag>0</silentflag> \r\n <tagslist>\r\n";
  for (const std::string& c : captions) text += Item(c);
  return text + " </tagslist>\r\n</configuration>\r\n";
}

struct Question {
  std::string text, caption;
};

class ConfDoc : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeScratchFolder("confdoc");
    ASSERT_FALSE(folder_.empty());
    path_ = folder_ + "conf.xml";
  }
  void TearDown() override { test::RemoveTree(folder_); }

  void Load(int answer = IDNO) {
    doc_.Load(
        path_,
        [this, answer](const std::string& text, const std::string& caption) {
          questions_.push_back({text, caption});
          return answer;
        },
        kNow);
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    const XmlNode list = doc_.Root().ChildByName("tagslist");
    for (int i = 0; i < list.ChildCount(); ++i)
      captions.push_back(list.Child(i).ChildByName("caption").Text());
    return captions;
  }
  void ExpectDefault() const {
    ASSERT_TRUE(doc_.Active());
    const XmlNode root = doc_.Root();
    EXPECT_EQ(root.ChildByName("targetdrive").Text(), folder_ + "Default Target\\");
    EXPECT_EQ(root.ChildByName("syncperiod").Text(), "3600000");
    EXPECT_EQ(root.ChildByName("lastsyncdate").Text(), DateTimeToText(kNow));
    EXPECT_EQ(root.ChildByName("tagslist").ChildCount(), 0);
  }
  std::string Kept(int n) const { return ConfigDocument::KeptCopyPath(path_, n); }
  std::string OnDisk(const std::string& path) const { return test::ReadFileOrEmpty(path); }

  static constexpr DateTime kNow = 40000.5;
  std::string folder_, path_;
  ConfigDocument doc_;
  std::vector<Question> questions_;
};

TEST(SplitLines, BreaksAtCrLfCrOrLfAndNotAfterTheLast) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("a"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
  EXPECT_EQ(SplitLines("\r\n"), Lines{""});
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\r\nb\r\r"), (Lines{"a", "", "b", ""}));
}

TEST_F(ConfDoc, AMissingFileAsksTheFirstLoadQuestionThenShowsTheDefaultAndWritesNothing) {
  for (int answer : {IDYES, IDNO}) {
    ConfigDocument doc;
    doc.Load(
        path_,
        [&](const std::string& text, const std::string& caption) {
          questions_.push_back({text, caption});
          return answer;
        },
        kNow);
    ASSERT_EQ(questions_.size(), 1u);
    EXPECT_EQ(questions_[0].text, kFirstLoadText);
    EXPECT_EQ(questions_[0].caption, kCaption);
    questions_.clear();
    ASSERT_TRUE(doc.Active());
    EXPECT_EQ(doc.Root().ChildByName("targetdrive").Text(), folder_ + "Default Target\\");
    EXPECT_FALSE(FileExists(path_));
    EXPECT_FALSE(FileExists(Kept(0)));
  }
}

// The server reads a well-formed file whole whatever its line count; the window must not show
// (and later save) a default without the user's tags in its place.
TEST_F(ConfDoc, AWellFormedFileLoadsWhateverItsLineCountAndAnythingElseGivesTheDefault) {
  const std::string item = "<item><caption>a</caption><path>C:\\</path></item>";
  const struct {
    std::string text;
    bool loads;
  } cases[] = {
      {kDecl + "<configuration><syncperiod>60000</syncperiod><tagslist>" + item +
           "</tagslist></configuration>\r\n",
       true},
      {"<configuration><syncperiod>60000</syncperiod><tagslist>" + item +
           "</tagslist></configuration>",
       true},
      {ConfText({"a", "b"}).substr(0, 300), false},
      {kDecl + "<configuration><syncperiod>60000</syncperiod>", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(test::WriteFileBytes(path_, c.text));
    Load();
    EXPECT_TRUE(questions_.empty());
    if (c.loads) {
      EXPECT_EQ(doc_.Root().ChildByName("syncperiod").Text(), "60000");
      EXPECT_EQ(Captions(), std::vector<std::string>{"a"});
    } else {
      ExpectDefault();
    }
    EXPECT_EQ(OnDisk(path_), c.text);
  }
}

TEST_F(ConfDoc, AReloadOfAnEmptyFileAnsweredYesKeepsItAndWritesTheLastConfiguration) {
  ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"one"})));
  Load();
  ASSERT_TRUE(test::WriteFileBytes(Kept(0), "an earlier copy"));
  ASSERT_TRUE(test::WriteFileBytes(path_, ""));

  Load(IDYES);
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(questions_[0].text, kReloadText);
  EXPECT_EQ(questions_[0].caption, kCaption);
  EXPECT_EQ(OnDisk(Kept(0)), "an earlier copy");
  EXPECT_TRUE(FileExists(Kept(1)));
  EXPECT_EQ(OnDisk(Kept(1)), "");
  EXPECT_EQ(OnDisk(path_), ConfText({"one"}));
  EXPECT_EQ(Captions(), std::vector<std::string>{"one"});

  // Without an earlier copy the first name is used.
  DeleteFileA(Kept(0).c_str());
  DeleteFileA(Kept(1).c_str());
  ASSERT_TRUE(test::WriteFileBytes(path_, ""));
  Load(IDYES);
  EXPECT_TRUE(FileExists(Kept(0)));
  EXPECT_EQ(OnDisk(path_), ConfText({"one"}));
}

TEST_F(ConfDoc, AReloadAnsweredNoWritesNothingAndShowsTheLastConfiguration) {
  ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"one"})));
  Load();
  ASSERT_TRUE(test::WriteFileBytes(path_, ""));
  Load(IDNO);
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(OnDisk(path_), "");
  EXPECT_FALSE(FileExists(Kept(0)));
  EXPECT_EQ(Captions(), std::vector<std::string>{"one"});
}

TEST_F(ConfDoc, AReloadAfterTheDefaultWritesAFileThatLoadsAgain) {
  Load();  // no file: the default
  ASSERT_TRUE(test::WriteFileBytes(path_, ""));
  Load(IDYES);
  const std::string written = OnDisk(path_);
  EXPECT_GE(SplitLines(written).size(), 3u);
  ConfigDocument again;
  again.Load(path_, [](const std::string&, const std::string&) -> int { throw 0; }, kNow + 1);
  EXPECT_EQ(again.Root().ChildByName("lastsyncdate").Text(), DateTimeToText(kNow));
}

TEST_F(ConfDoc, ADamagedFileSurvivesTheFirstSaveOverIt) {
  std::string damaged = ConfText({"t1", "t2", "t3", "t4", "t5"});
  damaged.resize(damaged.size() - 20);  // the closing tags are gone
  ASSERT_TRUE(test::WriteFileBytes(path_, damaged));
  ASSERT_TRUE(test::WriteFileBytes(Kept(0), "an earlier copy"));
  Load();
  ExpectDefault();

  doc_.Save(path_);
  EXPECT_EQ(OnDisk(Kept(0)), "an earlier copy");
  EXPECT_EQ(OnDisk(Kept(1)), damaged);
  // Later saves write over the program's own file without keeping it again.
  doc_.Save(path_);
  EXPECT_FALSE(FileExists(Kept(2)));
}

TEST_F(ConfDoc, ASaveThatCannotKeepTheUnreadFileWritesNothing) {
  for (int n = 0; n < ConfigDocument::kKeptCopyNames; ++n)
    ASSERT_TRUE(test::WriteFileBytes(Kept(n), "kept " + std::to_string(n)));
  ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"one"})));
  Load();
  ASSERT_TRUE(test::WriteFileBytes(path_, ""));

  // The reload's Yes finds no free name: nothing is moved, replaced or written.
  Load(IDYES);
  EXPECT_EQ(OnDisk(path_), "");
  EXPECT_FALSE(FileExists(Kept(ConfigDocument::kKeptCopyNames)));

  const std::string damaged = ConfText({"t1", "t2"}).substr(0, 250);
  ASSERT_TRUE(test::WriteFileBytes(path_, damaged));
  Load();
  EXPECT_THROW(doc_.Save(path_), std::runtime_error);
  EXPECT_EQ(OnDisk(path_), damaged);
  for (int n = 0; n < ConfigDocument::kKeptCopyNames; ++n)
    EXPECT_EQ(OnDisk(Kept(n)), "kept " + std::to_string(n));
}

TEST_F(ConfDoc, SavingGoesThroughATemporaryFileOfItsOwn) {
  ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"one"})));
  Load();
  // The server's temporary file, half-written at this moment.
  const std::string serverTemp = TemporaryPathFor(path_);
  ASSERT_TRUE(test::WriteFileBytes(serverTemp, "<?xml"));
  UniqueFile serverWriting(CreateFileA(serverTemp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(serverWriting);

  doc_.Root().ChildByName("syncperiod").SetText("60000");
  ASSERT_NO_THROW(doc_.Save(path_));
  serverWriting.close();
  EXPECT_EQ(OnDisk(serverTemp), "<?xml");
  EXPECT_FALSE(FileExists(ConfigDocument::SaveTemporaryPath(path_)));
  ConfigDocument again;
  again.Load(path_, nullptr, kNow);
  EXPECT_EQ(again.Root().ChildByName("syncperiod").Text(), "60000");
}

TEST_F(ConfDoc, ASaveWhileTheFileIsLockedLeavesItWholeAndThrows) {
  ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"one"})));
  Load();
  {
    UniqueFile lock(
        CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_THROW(doc_.Save(path_), std::runtime_error);
  }
  EXPECT_EQ(OnDisk(path_), ConfText({"one"}));
  EXPECT_FALSE(FileExists(ConfigDocument::SaveTemporaryPath(path_)));
}

TEST_F(ConfDoc, ASavedFileLoadsAgainHereAndInTheServerWithTheSameTags) {
  ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"a.txt", "b&c<d"})));
  Load();
  const XmlNode item = doc_.Root().ChildByName("tagslist").AppendChildElement("item");
  const std::pair<const char*, const char*> elements[] = {
      {"caption", "caf\xe9"}, {"path", "C:\\D\xe9j\xe0\\"}, {"lastsync", "01-01-2004"},
      {"size", "7"}, {"ftype", "2"}};
  for (const auto& [name, value] : elements) item.AppendChildElement(name).SetText(value);
  doc_.Save(path_);
  const std::string saved = OnDisk(path_);
  // Written in the declared Windows-1251: where that is the system code page the bytes go out
  // as they came in; elsewhere what Windows-1251 lacks goes out as a reference.
  if (GetACP() == 1251) {
    EXPECT_NE(saved.find("<caption>caf\xe9</caption>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<path>C:\\D\xe9j\xe0\\</path>"), std::string::npos) << saved;
  } else if (GetACP() == 1252) {
    EXPECT_NE(saved.find("<caption>caf&#233;</caption>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<path>C:\\D&#233;j&#224;\\</path>"), std::string::npos) << saved;
  }

  ConfigDocument again;
  again.Load(path_, nullptr, kNow);
  ASSERT_TRUE(again.Active());
  ASSERT_EQ(again.Root().ChildByName("tagslist").ChildCount(), 3);
  EXPECT_EQ(again.Root().ChildByName("tagslist").Child(2).ChildByName("caption").Text(),
            "caf\xe9");
  again.Save(path_);
  EXPECT_EQ(OnDisk(path_), saved);  // the same tree gives the same text

  ServerCore core;
  ConfigFile server(path_);
  ASSERT_TRUE(server.Load(core, kNow).complete);
  const std::vector<TTagItem> tags = core.Tags();
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[0].Caption, "a.txt");
  EXPECT_EQ(tags[1].Caption, "b&c<d");
  EXPECT_EQ(tags[2].Caption, "caf\xe9");
  EXPECT_EQ(tags[2].Path, "C:\\D\xe9j\xe0\\");
  EXPECT_EQ(tags[2].FType, 2);
  EXPECT_EQ(core.TargetPath(), "E:\\Backup\\");
}

// The window saves a change while the server saves the results of a run, each program holding
// the other at its own save's seam: whichever holds the other, conf.xml ends with both.
TEST_F(ConfDoc, TheTwoProgramsSavesNeverInterleaveAndKeepBothTheChangeAndTheRunsResults) {
  enum Held { kWindowBetweenItsReadAndItsSwap, kServerBeforeItsLook };
  for (const Held held : {kWindowBetweenItsReadAndItsSwap, kServerBeforeItsLook}) {
    SCOPED_TRACE(held == kWindowBetweenItsReadAndItsSwap ? "window held" : "server held");
    ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"a", "b"})));
    ConfigDocument window;
    window.Load(path_, nullptr, kNow);
    ServerCore core;
    ConfigFile server(path_);
    ASSERT_TRUE(server.Load(core, kNow).complete);
    // The run copied a: its results are in the server's memory, not yet in the file.
    const std::vector<TTagItem> before = core.Tags();
    std::vector<TTagItem> after = before;
    after[0].Size = 77;
    after[0].LastSync = EncodeDateTime({2024, 5, 6, 7, 8, 9});
    const DateTime runStart = EncodeDateTime({2024, 5, 6, 7, 0, 0});
    core.FinishRun(before, after, runStart);
    window.Root().ChildByName("syncperiod").SetText("60000");  // the user's change

    // The other save runs on a thread of its own (a lock is one thread's): the held one goes
    // on once the other is seen waiting for the lock, or has finished without waiting.
    UniqueKernelHandle otherWaitsOrIsDone(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const auto signal = [&] { SetEvent(otherWaitsOrIsDone.get()); };
    std::thread other;
    if (held == kWindowBetweenItsReadAndItsSwap) {
      server.SetLockBusyHook(signal);
      window.SetSaveHold([&] {
        other = std::thread([&] {
          server.Save(core);
          signal();
        });
        WaitForSingleObject(otherWaitsOrIsDone.get(), 30000);
      });
      window.Save(path_);
    } else {
      UniqueKernelHandle serverHeld(CreateEventA(nullptr, TRUE, FALSE, nullptr));
      server.SetSaveHold([&] {
        SetEvent(serverHeld.get());
        WaitForSingleObject(otherWaitsOrIsDone.get(), 30000);
      });
      other = std::thread([&] { server.Save(core); });
      ASSERT_EQ(WaitForSingleObject(serverHeld.get(), 30000), WAIT_OBJECT_0);
      window.SetLockBusyHook(signal);
      window.Save(path_);
      signal();
    }
    other.join();

    ServerCore saved;
    ASSERT_TRUE(ConfigFile(path_).Load(saved, kNow).complete) << OnDisk(path_);
    EXPECT_EQ(PeriodToMs(saved.SyncPeriod()), 60000) << "the window's change is lost";
    EXPECT_DOUBLE_EQ(saved.LastSync(), runStart) << "the last scan went back";
    const std::vector<TTagItem> tags = saved.Tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_DOUBLE_EQ(tags[0].LastSync, after[0].LastSync) << "the run's results went back";
    EXPECT_EQ(tags[0].Size, 77u);
  }
}

TEST_F(ConfDoc, DeactivateDropsTheTreeWithoutWriting) {
  ASSERT_TRUE(test::WriteFileBytes(path_, ConfText({"one"})));
  Load();
  doc_.Root().ChildByName("syncperiod").SetText("60000");
  doc_.Deactivate();
  EXPECT_FALSE(doc_.Active());
  EXPECT_THROW(doc_.Root(), XmlError);
  EXPECT_THROW(doc_.Save(path_), std::runtime_error);
  EXPECT_EQ(OnDisk(path_), ConfText({"one"}));
}

}  // namespace
}  // namespace qm
