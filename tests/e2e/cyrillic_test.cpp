// Names outside ASCII where conf.xml's declared encoding is the system's own: under Windows-1251
// the built server, given a hand-written conf.xml that tags a Cyrillic folder and file, copies
// them under their names, writes conf.xml back with every name byte for byte, and stamps its
// log in the Russian locale's date format. Registered only as e2e_cyrillic_test_cp1251, whose
// prefix runs under that locale.
#include "base/datetime.h"
#include "base/fileio.h"
#include "tools/protocol.h"
#include "support/controlclient.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::ConfFile;
using test::ConfItem;
using test::SourceFile;
using test::StatusAnswer;

// A run starts at the sync thread's next check, up to 21 s after cmdSyncNow; more under load.
constexpr unsigned kRunMs = 90000;
constexpr unsigned kAnswerMs = 15000;

// Windows-1251 bytes (the sources are narrow text) and the names they stand for.
const std::string kDocuments = "\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB";  // Документы
const std::wstring kDocumentsW = L"\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B";
const std::string kEstimate = "\xD1\xEC\xE5\xF2\xE0.txt";  // Смета.txt
const std::wstring kEstimateW = L"\u0421\u043C\u0435\u0442\u0430.txt";
const std::string kArchive = "\xC0\xF0\xF5\xE8\xE2";  // Архив
const std::wstring kArchiveW = L"\u0410\u0440\u0445\u0438\u0432";
// ё and № lie outside the block of the other letters, in either encoding.
const std::string kReport = "\xCE\xF2\xF7\xB8\xF2 \xB9" "1.txt";  // Отчёт №1.txt
const std::wstring kReportW = L"\u041E\u0442\u0447\u0451\u0442 \u2116" L"1.txt";
const std::string kCopies = "\xCA\xEE\xEF\xE8\xE8";  // Копии
const std::wstring kCopiesW = L"\u041A\u043E\u043F\u0438\u0438";

// The scratch folders are ASCII paths.
std::wstring Widened(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool ExistsWide(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class CyrillicNames : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 1251)
      GTEST_SKIP() << "the ANSI code page is " << GetACP()
                   << ", not Windows-1251: this test runs as e2e_cyrillic_test_cp1251, in the "
                      "prefix that scripts/test starts under ru_RU.UTF-8";
    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultLangID()), LANG_RUSSIAN)
        << "the user locale is not Russian: the prefix's locale is not ru_RU";
    FillFmtSettings("DD-MM-yyyy");
  }

  std::string ConfPath() const { return server.folder + "conf.xml"; }

  test::ScratchServer server{"cyrillic"};
  test::ControlClient client;
};

TEST_F(CyrillicNames, AreCopiedUnderTheirNamesAndWrittenBackByteForByteWithLocaleTimeStamps) {
  const DateTime started = NowLocal();

  // src\Документы\{Смета.txt, Архив\Отчёт №1.txt} tagged as a folder, src\Смета.txt as a file.
  const std::string source = server.folder + "src\\";
  const std::string folder = source + kDocuments;
  ASSERT_TRUE(test::MakeFolderChain(folder + "\\" + kArchive + "\\"));
  const std::vector<SourceFile> files = {
      test::MakeSourceFile(folder + "\\" + kEstimate, 3000, test::LocalFileTime(2021, 3, 4, 5, 6, 8)),
      test::MakeSourceFile(folder + "\\" + kArchive + "\\" + kReport, 700,
                           test::LocalFileTime(2020, 1, 2, 3, 4, 6)),
      test::MakeSourceFile(source + kEstimate, 1500, test::LocalFileTime(2022, 5, 6, 7, 8, 10)),
  };
  // The bytes name the Cyrillic letters on disk, not their look-alikes of another code page.
  const std::wstring sourceW = Widened(source);
  ASSERT_TRUE(ExistsWide(sourceW + kDocumentsW + L"\\" + kArchiveW + L"\\" + kReportW));
  ASSERT_TRUE(ExistsWide(sourceW + kEstimateW));

  ConfFile conf;
  conf.targetdrive = server.folder + kCopies + "\\";
  ConfItem tree;
  tree.caption = kDocuments;
  tree.path = source;
  tree.ftype = 2;
  ConfItem single;
  single.caption = kEstimate;
  single.path = source;
  conf.items = {tree, single};
  // Written before the server starts: its start-up loads the file and saves it again, and a file
  // written between those two steps would be overwritten by what the load found before it.
  ASSERT_TRUE(test::WriteFileBytes(ConfPath(), test::ServerLayout(conf)));
  ASSERT_TRUE(server.Start());

  EXPECT_EQ(test::Acknowledge(client, server.control, cmdReload), LPARAM{0});
  EXPECT_EQ(test::Acknowledge(client, server.control, cmdSyncNow), LPARAM{0});
  const auto after = test::WaitForStatus(
      client, server.control,
      [](const StatusAnswer& s) { return s.lastSync > NeverSyncDate && s.state == ssReady; }, kRunMs);
  ASSERT_TRUE(after.has_value()) << "no run ended within " << kRunMs / 1000 << " s of cmdSyncNow";

  // The copies, under their names below the Cyrillic target.
  for (const SourceFile& f : files) EXPECT_EQ(test::CopyProblem(conf.targetdrive, f), "") << f.path;
  const std::wstring mirrorW = Widened(server.folder) + kCopiesW + L"\\" +
                               Widened(test::MirrorOf("", source));
  EXPECT_TRUE(ExistsWide(mirrorW + kDocumentsW + L"\\" + kEstimateW));
  EXPECT_TRUE(ExistsWide(mirrorW + kDocumentsW + L"\\" + kArchiveW + L"\\" + kReportW));
  EXPECT_TRUE(ExistsWide(mirrorW + kEstimateW));

  // conf.xml after the run's save: the hand-written file with the run's results, and every
  // name in the very bytes it was written with.
  const auto saved = test::WaitForConf(
      ConfPath(),
      [&](const ConfFile& c) { return test::ParsedTime(c.lastsyncdate) > NeverSyncDate; }, kAnswerMs);
  ASSERT_TRUE(saved.has_value()) << test::ReadFileOrEmpty(ConfPath());
  ASSERT_EQ(saved->items.size(), 2u) << test::ReadFileOrEmpty(ConfPath());
  ConfFile expected = conf;
  expected.lastsyncdate = DateTimeToText(after->lastSync);
  expected.items[0].size = test::KilobytesOf(3000) + test::KilobytesOf(700);
  expected.items[1].size = test::KilobytesOf(1500);
  for (size_t i = 0; i < expected.items.size(); ++i) {
    // Each tag's time is its own moment of the run: in the run, and in the locale's form.
    const std::string& text = saved->items[i].lastsync;
    const DateTime t = test::ParsedTime(text);
    EXPECT_GE(t, after->lastSync - kOneSecond) << text;
    EXPECT_LE(t, NowLocal() + kOneSecond) << text;
    EXPECT_EQ(DateTimeToText(t), text);
    expected.items[i].lastsync = text;
  }
  const std::string bytes = test::ReadFileOrEmpty(ConfPath());
  EXPECT_EQ(bytes, test::ServerLayout(expected));
  EXPECT_EQ(bytes.find("&#"), std::string::npos) << "a name was written as character references";

  // The log: every line stamped in the locale's form at a moment of this test, and nothing
  // went wrong on the way.
  const std::vector<std::string> lines = test::ReadLines(server.LogPath());
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    const size_t end = line.find(": ");
    ASSERT_NE(end, std::string::npos) << line;
    const std::string stamp = line.substr(0, end);
    DateTime t = 0;
    ASSERT_TRUE(TryTextToDateTime(stamp, t)) << line;
    EXPECT_EQ(DateTimeToText(t), stamp) << "not the locale's date-time form: " << line;
    EXPECT_GE(t, started - kOneSecond) << line;
    EXPECT_LE(t, NowLocal() + kOneSecond) << line;
    EXPECT_EQ(test::LogText(line), "QuillmereServer# Started.");
  }
}

}  // namespace
}  // namespace qm
