#include "support/formfixture.h"

#include "base/registry.h"
#include "server/trayicons.h"
#include "support/testsupport.h"

#include <cstdio>
#include <utility>

namespace qm::test {

std::string Stamp(DateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  char text[40];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d.%03d", p.day, p.month, p.year,
                p.hour, p.minute, p.second, p.millisecond);
  return text;
}

DateTime At(int year, int month, int day, int hour, int minute, int second, int ms) {
  return EncodeDateTime({year, month, day, hour, minute, second, ms});
}

std::string ConfigurationText(int periodMs, bool silent, int itemCount) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
      "<lastsyncdate>01-01-2004</lastsyncdate><silentflag>" +
      std::string(silent ? "1" : "0") + "</silentflag><syncperiod>" + std::to_string(periodMs) +
      "</syncperiod><targetdrive>C:\\Backup\\</targetdrive>\r\n<tagslist>\r\n";
  for (int i = 0; i < itemCount; ++i)
    text += "<item><caption>f" + std::to_string(i) +
            ".txt</caption><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync><size>1</size>"
            "<ftype>0</ftype></item>\r\n";
  return text + "</tagslist>\r\n</configuration>\r\n";
}

std::string UniqueTestKey() {
  static std::atomic<unsigned> counter{0};
  return std::string(kServerKeyPath) + "-test-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(counter++);
}

bool TakeQuitMessage() {
  MSG msg;
  bool found = false;
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) found = true;
  return found;
}

namespace {
BOOL WINAPI AcceptNotifyIcon(DWORD, PNOTIFYICONDATAA) { return TRUE; }
}  // namespace

InProcessServer::InProcessServer(DateTime now)
    : clock(now, FakeClock::Waits::Brief),
      folder(MakeScratchFolder("form")),
      key(UniqueTestKey()),
      realNotifyIcon_(std::exchange(TrayNotifyIcon, &AcceptNotifyIcon)) {}

InProcessServer::~InProcessServer() {
  Destroy();
  TrayNotifyIcon = realNotifyIcon_;
  TakeQuitMessage();
  RegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, key);
  RemoveTree(folder);
}

ServerEnvironment InProcessServer::Environment(bool startThreads) {
  ServerEnvironment env;
  env.programFolder = folder;
  env.clock = &clock;
  env.startThreads = startThreads;
  env.registryKey = key;
  return env;
}

TfrQuillmereServ& InProcessServer::Create(bool startThreads) {
  form = std::make_unique<TfrQuillmereServ>(Environment(startThreads));
  form->FormCreate();
  return *form;
}

void InProcessServer::Destroy() { form.reset(); }

}  // namespace qm::test
