// What the main window shows of conf.xml, and how it saves it: the controls filled from the
// document step by step, the rows, the first-load question, the save with its reload notice.
#include "frontend/mainform.h"

#include "base/xmldoc.h"
#include "frontend/screentext.h"
#include "support/frontform.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

using test::FakeServerWindow;
using test::FrontForm;
using test::PumpMessages;

std::string Conf(const std::string& period, const std::string& target,
                 const std::string& lastSync, const std::string& items = "") {
  return "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
         " <lastsyncdate>" + lastSync + "</lastsyncdate>\r\n"
         " <syncperiod>" + period + "</syncperiod>\r\n"
         " <targetdrive>" + target + "</targetdrive>\r\n"
         " <tagslist>" + items + "</tagslist>\r\n</configuration>\r\n";
}

std::string Item(const std::string& inner) { return "<item>" + inner + "</item>"; }

class ConfigView : public ::testing::Test {
 protected:
  TfrMain& Start(const std::string& conf) {
    fx.WriteConf(conf);
    return fx.Create();
  }
  // Loads conf again through "Refresh", as the user would.
  void Reload(const std::string& conf) {
    fx.WriteConf(conf);
    fx.form->Refresh1Click();
  }
  TfrMain& form() { return *fx.form; }

  FrontForm fx;
};

TEST_F(ConfigView, FirstStartWithoutConfAsksThenShowsTheDefaultAndWritesNothing) {
  fx.answer = IDNO;
  TfrMain& f = fx.Create();
  ASSERT_EQ(fx.questions.size(), 1u);
  EXPECT_EQ(fx.questions[0].caption, "Quillmere was unable to open a file!");
  EXPECT_EQ(fx.questions[0].type, static_cast<UINT>(MB_YESNO)) << "Yes and No, no icon";
  EXPECT_EQ(fx.questions[0].owner, f.hwnd());
  EXPECT_NE(fx.questions[0].text.find("application of a configuration by default"),
            std::string::npos);

  EXPECT_EQ(f.FConfPath, fx.ConfPath()) << "no key: beside the program";
  EXPECT_EQ(f.FServerWnd, nullptr);
  EXPECT_EQ(fx.Text(f.lbScanInterval), "1 hour");
  EXPECT_EQ(fx.Text(f.eTarget), fx.folder + "Default Target\\");
  EXPECT_EQ(fx.Text(f.lbLastScan), DateOnScreen(fx.clock.Now()));
  EXPECT_EQ(fx.Rows(), 0);
  EXPECT_FALSE(IsWindowEnabled(f.btTag));
  EXPECT_FALSE(IsWindowEnabled(f.btUnTag));
  EXPECT_EQ(GetFileAttributesA(fx.ConfPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ConfigView, TheIntervalShowsInWholeHoursFromOneHourElseInMinutes) {
  const struct {
    const char* period;
    int value, unit;
    const char* label;
  } cases[] = {{"3600000", 1, 0, "1 hour"},     {"5400000", 1, 0, "1 hour"},
               {"7200000", 2, 0, "2 hours"},    {"1800000", 30, 1, "30 minutes"},
               {"60000", 1, 1, "1 minute"},     {"30000", 1, 1, "1 minute"},
               {"86400000", 24, 0, "24 hours"}, {"2147483647", 596, 0, "596 hours"},
               {"-1", 596, 0, "596 hours"}};  // hours stop where syncperiod ends
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004"));
  for (const auto& c : cases) {
    Reload(Conf(c.period, "C:\\Backup\\", "01-01-2004"));
    EXPECT_EQ(form().ScanIntervalValue(), c.value) << c.period;
    EXPECT_EQ(form().UnitsIndex(), c.unit) << c.period;
    EXPECT_EQ(fx.Text(form().lbScanInterval), c.label) << c.period;
  }
  // Not an integer: the interval controls keep what they showed; the other steps go on.
  Reload(Conf("1h", "D:\\Other\\", "01-01-2004"));
  EXPECT_EQ(fx.Text(form().lbScanInterval), "596 hours");
  EXPECT_EQ(form().ScanIntervalValue(), 596);
  EXPECT_EQ(fx.Text(form().eTarget), "D:\\Other\\");
}

TEST_F(ConfigView, UnitWordsFollowTheValueAndKeepTheSelectedUnit) {
  Start(Conf("60000", "C:\\Backup\\", "01-01-2004"));
  auto item = [&](int i) {
    char text[32] = {};
    SendMessageA(form().cbUnits, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    return std::string(text);
  };
  EXPECT_EQ(item(0), "hour");
  EXPECT_EQ(item(1), "minute");
  EXPECT_EQ(form().UnitsIndex(), 1);
  form().SetScanIntervalValue(2);
  EXPECT_EQ(item(0), "hours");
  EXPECT_EQ(item(1), "minutes");
  EXPECT_EQ(form().UnitsIndex(), 1);
  form().SetUnitsIndex(0);
  form().SetScanIntervalValue(1);
  EXPECT_EQ(item(0), "hour");
  EXPECT_EQ(form().UnitsIndex(), 0);
}

TEST_F(ConfigView, LastScanShowsNeverForTheNeverDateAndKeepsItsTextOnAnUnreadableDate) {
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004"));
  EXPECT_EQ(fx.Text(form().lbLastScan), "Never");
  const DateTime t = test::At(2005, 1, 5, 14, 3, 0);
  Reload(Conf("3600000", "C:\\Backup\\", DateTimeToText(t)));
  EXPECT_EQ(fx.Text(form().lbLastScan), DateOnScreen(t));
  Reload(Conf("3600000", "C:\\Backup\\", "yesterday"));
  EXPECT_EQ(fx.Text(form().lbLastScan), DateOnScreen(t));
}

TEST_F(ConfigView, TargetLabelShowsSeventeenCharactersWholeAndCutsLongerOnes) {
  Start(Conf("3600000", "C:\\0123456789abc\\", "01-01-2004"));  // 17
  EXPECT_EQ(fx.Text(form().lbTarget), "C:\\0123456789abc\\");
  Reload(Conf("3600000", "C:\\0123456789abcd\\", "01-01-2004"));  // 18
  EXPECT_EQ(fx.Text(form().eTarget), "C:\\0123456789abcd\\");
  EXPECT_EQ(fx.Text(form().lbTarget), "C:\\0123456789abcd...");
  EXPECT_EQ(form().HintOf(form().lbTarget), "C:\\0123456789abcd\\");
}

TEST_F(ConfigView, RowsFollowTheItemsAndAFailingValueEndsItsRowQuietly) {
  const std::string full = Item(
      "<caption>a.txt</caption><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync>"
      "<size>1536</size><ftype>2</ftype>");
  const std::string noSize =
      Item("<caption>b.txt</caption><path>C:\\Docs\\</path><lastsync>05-01-2005 14:03:00</lastsync>"
           "<ftype>1</ftype>");
  const std::string emptyCaption =
      Item("<caption/><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync><ftype>0</ftype>");
  const std::string badKind =
      Item("<caption>c.txt</caption><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync>"
           "<size>1</size><ftype>x</ftype>");
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004", full + noSize + emptyCaption + badKind));
  ASSERT_EQ(fx.Rows(), 4);
  const std::string sep(1, UserDecimalSeparator());

  EXPECT_EQ(fx.Cell(0, 0), "");
  EXPECT_EQ(fx.Image(0, 0), 4);
  EXPECT_EQ(fx.Cell(0, 1), "a.txt");
  EXPECT_EQ(fx.Image(0, 1), 2);
  EXPECT_EQ(fx.Cell(0, 2), "C:\\Docs\\");
  EXPECT_EQ(fx.Cell(0, 3), "Never");
  EXPECT_EQ(fx.Cell(0, 4), "1" + sep + "500");

  EXPECT_EQ(fx.Cell(1, 1), "b.txt");
  EXPECT_EQ(fx.Image(1, 1), 1);
  EXPECT_EQ(fx.Cell(1, 3), DateOnScreen(test::At(2005, 1, 5, 14, 3, 0)));
  EXPECT_EQ(fx.Cell(1, 4), "");

  EXPECT_EQ(fx.Image(2, 0), 4);
  EXPECT_EQ(fx.Cell(2, 1), "");
  EXPECT_EQ(fx.Cell(2, 2), "") << "the row ends at its empty caption";

  EXPECT_EQ(fx.Cell(3, 1), "c.txt");
  EXPECT_EQ(fx.Cell(3, 2), "C:\\Docs\\");
  EXPECT_EQ(fx.Cell(3, 3), "");

  // The item without size gained an empty one, and the next save writes it.
  const XmlNode tags = form().ConfXML.Root().ChildByName("tagslist");
  EXPECT_FALSE(tags.Child(1).ChildByName("size").IsNull());
  EXPECT_EQ(tags.Child(1).ChildByName("size").ChildCount(), 0);
  EXPECT_TRUE(tags.Child(2).ChildByName("size").IsNull()) << "no value is read after the failing one";
  form().SaveConfigAndNotify();
  const std::string saved = test::ReadFileOrEmpty(fx.ConfPath());
  EXPECT_NE(saved.find("<caption>b.txt</caption>"), std::string::npos) << saved;
  fx.form.reset();
  FrontForm again;
  again.WriteConf(saved);
  again.Create();
  ASSERT_EQ(again.Rows(), 4);
  EXPECT_EQ(again.Cell(0, 4), "1" + sep + "500");
  EXPECT_EQ(again.Cell(1, 4), "");
  EXPECT_EQ(again.form->ConfXML.Root().ChildByName("tagslist").Child(1).ChildByName("size").ChildCount(), 0);
}

// conf.xml's names are Windows-1251. Where that is the system code page the window shows their
// very bytes; whatever the code page, a save writes them back as they were.
TEST_F(ConfigView, NamesOfTheDeclaredEncodingShowInTheRowsAndASaveKeepsTheirBytes) {
  const std::string caption = "\xD1\xEC\xE5\xF2\xE0.txt";                        // Смета.txt
  const std::string path = "C:\\\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB\\";  // C:\Документы
  const std::string target = "E:\\\xCA\xEE\xEF\xE8\xE8\\";                    // E:\Копии
  const std::wstring captionW = L"\u0421\u043C\u0435\u0442\u0430.txt";
  const std::wstring pathW = L"C:\\\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B\\";
  const std::wstring targetW = L"E:\\\u041A\u043E\u043F\u0438\u0438\\";
  const auto shown = [](const std::wstring& w) { return WideToSystemText(w.data(), static_cast<int>(w.size())); };
  if (GetACP() == 1251) {
    ASSERT_EQ(shown(captionW), caption);
    ASSERT_EQ(shown(pathW), path);
    ASSERT_EQ(shown(targetW), target);
  }
  const std::string items = Item("<caption>" + caption + "</caption><path>" + path +
                                 "</path><lastsync>01-01-2004</lastsync><size>1</size><ftype>0</ftype>");
  Start(Conf("3600000", target, "01-01-2004", items));
  ASSERT_EQ(fx.Rows(), 1);
  EXPECT_EQ(fx.Cell(0, 1), shown(captionW));
  EXPECT_EQ(fx.Cell(0, 2), shown(pathW));
  EXPECT_EQ(fx.Text(form().eTarget), shown(targetW));

  form().SaveConfigAndNotify();
  const std::string saved = test::ReadFileOrEmpty(fx.ConfPath());
  EXPECT_NE(saved.find("<caption>" + caption + "</caption>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<path>" + path + "</path>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<targetdrive>" + target + "</targetdrive>"), std::string::npos) << saved;
}

TEST_F(ConfigView, AReloadReplacesEveryRow) {
  const std::string one = Item("<caption>a</caption><path>C:\\</path>");
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004", one + one + one));
  EXPECT_EQ(fx.Rows(), 3);
  Reload(Conf("3600000", "C:\\Backup\\", "01-01-2004", one));
  EXPECT_EQ(fx.Rows(), 1);
  Reload(Conf("3600000", "C:\\Backup\\", "01-01-2004").substr(0, 60));  // not well-formed
  EXPECT_EQ(fx.Rows(), 0) << "the default configuration has no tags";
}

TEST_F(ConfigView, RefreshDoesNothingWhileSynchronisingAndReloadsOtherwise) {
  const std::string one = Item("<caption>a</caption><path>C:\\</path>");
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004", one));
  TfrMain::SetTextOf(form().lbStatus, "Synchronising");
  Reload(Conf("3600000", "C:\\Backup\\", "01-01-2004", one + one));
  EXPECT_EQ(fx.Rows(), 1);
  std::string items = one;
  for (const char* status : {"Running", "Stopped", "No target", "Synchronising "}) {
    TfrMain::SetTextOf(form().lbStatus, status);
    items += one;
    Reload(Conf("3600000", "C:\\Backup\\", "01-01-2004", items));
    EXPECT_EQ(fx.Rows(), static_cast<int>(items.size() / one.size())) << status;
  }
}

TEST_F(ConfigView, SaveWritesTheDocumentWaitsThenNotifiesTheServer) {
  FakeServerWindow server;
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004"));
  form().FServerWnd = server.hwnd();
  form().ConfXML.Root().ChildByName("targetdrive").SetText("E:\\Copies\\");
  form().SaveConfigAndNotify();
  EXPECT_NE(test::ReadFileOrEmpty(fx.ConfPath()).find("E:\\Copies\\"), std::string::npos);
  const std::vector<unsigned> sleeps = fx.clock.FinishedSleeps();
  EXPECT_EQ(sleeps, std::vector<unsigned>{10});
  PumpMessages();
  ASSERT_EQ(server.commands.size(), 1u);
  EXPECT_EQ(server.commands[0].code, cmdReload);
  EXPECT_EQ(server.commands[0].sender, form().hwnd());
}

// The server writes each run's results into conf.xml; the window keeps what it loaded. A save
// must not put the older values back: an item whose files do not change would stay "Never".
// The window never counts an item already listed, so the size is the file's whatever the
// lastsync: a run renews a folder's size also when it copies nothing (files deleted at the
// source) and keeps its lastsync.
TEST_F(ConfigView, ASaveKeepsTheLaterRunResultsOfTheFileAndShowsThem) {
  const auto item = [](const std::string& caption, const std::string& lastSync,
                       const std::string& size, const std::string& kind) {
    return Item("<caption>" + caption + "</caption><path>C:\\Docs\\</path><lastsync>" +
                lastSync + "</lastsync><size>" + size + "</size><ftype>" + kind + "</ftype>");
  };
  const std::string never = "01-01-2004";
  const DateTime ran = test::At(2005, 1, 5, 14, 3, 0);
  const std::string run = DateTimeToText(ran);
  // Two equal items pair in order; a folder does not pair with a file of its name.
  // The silent flag is the server's alone: the file's value stands.
  const auto withSilentFlag = [](std::string conf, const char* flag) {
    return conf.insert(conf.find(" <tagslist>"), std::string(" <silentflag>") + flag +
                                                     "</silentflag>\r\n");
  };
  Start(withSilentFlag(Conf("3600000", "C:\\Backup\\", never,
                            item("a", never, "1", "0") + item("a", never, "1", "0") +
                                item("b", never, "1", "2") + item("c", run, "5", "0") +
                                item("d", run, "4096", "2") + item("e", never, "3", "0") +
                                item("f", "soon", "2", "0")),
                       "0"));
  fx.WriteConf(withSilentFlag(Conf("3600000", "C:\\Backup\\", run,
                                   item("a", never, "1", "0") + item("a", run, "7", "1") +
                                       item("b", run, "9", "0") + item("c", never, "1", "0") +
                                       item("d", run, "1536", "2") + item("e", never, "x", "0") +
                                       item("f", "soon", "8", "0")),
                              "1"));

  form().SaveConfigAndNotify();
  const XmlNode tags = form().ConfXML.Root().ChildByName("tagslist");
  const struct {
    std::string lastSync, size;
  } expected[] = {{never, "1"}, {run, "7"},    {never, "1"},
                  {run, "1"},   {run, "1536"}, {never, "3"}};  // "x" is no size
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tags.Child(i).ChildByName("lastsync").Text(), expected[i].lastSync);
    EXPECT_EQ(tags.Child(i).ChildByName("size").Text(), expected[i].size);
    EXPECT_EQ(fx.Cell(i, 3), LastSyncText(TextToDateTime(expected[i].lastSync)));
    EXPECT_EQ(fx.Cell(i, 4), SizeColumnText(std::stoi(expected[i].size), UserDecimalSeparator()));
  }
  // A lastsync that is no date leaves its cell empty, and the size taken still shows.
  EXPECT_EQ(tags.Child(6).ChildByName("size").Text(), "8");
  EXPECT_EQ(fx.Cell(6, 3), "");
  EXPECT_EQ(fx.Cell(6, 4), SizeColumnText(8, UserDecimalSeparator()));
  EXPECT_EQ(form().ConfXML.Root().ChildByName("lastsyncdate").Text(), run);
  EXPECT_EQ(fx.Text(form().lbLastScan), DateOnScreen(ran));
  const std::string saved = test::ReadFileOrEmpty(fx.ConfPath());
  EXPECT_NE(saved.find("<lastsyncdate>" + run + "</lastsyncdate>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<lastsync>" + run + "</lastsync>\r\n   <size>7</size>"),
            std::string::npos) << saved;
  EXPECT_NE(saved.find("<size>1536</size>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<silentflag>1</silentflag>"), std::string::npos) << saved;
}

TEST_F(ConfigView, ASaveThatCannotWriteRaisesAndNotifiesNobody) {
  FakeServerWindow server;
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004"));
  form().FServerWnd = server.hwnd();
  form().FConfPath = fx.folder + "missing\\conf.xml";
  EXPECT_ANY_THROW(form().SaveConfigAndNotify());
  PumpMessages();
  EXPECT_TRUE(server.commands.empty());
}

TEST_F(ConfigView, SavingWithoutAServerWritesTheFileOnly) {
  Start(Conf("3600000", "C:\\Backup\\", "01-01-2004"));
  ASSERT_EQ(form().FServerWnd, nullptr);
  DeleteFileA(fx.ConfPath().c_str());
  form().SaveConfigAndNotify();
  EXPECT_NE(test::ReadFileOrEmpty(fx.ConfPath()).find("<targetdrive>C:\\Backup\\</targetdrive>"),
            std::string::npos);
  MSG posted;
  EXPECT_FALSE(PeekMessageA(&posted, reinterpret_cast<HWND>(-1), WM_SYNCCONTROL, WM_SYNCCONTROL,
                            PM_REMOVE))
      << "nothing was posted to the program's own queue";
}

}  // namespace
}  // namespace qm
