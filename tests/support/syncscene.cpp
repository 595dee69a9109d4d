#include "support/syncscene.h"

#include "base/fileio.h"
#include "base/handles.h"
#include "base/xmldoc.h"
#include "server/servform.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace qm::test {
namespace {

std::string Element(const std::string& name, const std::string& value) {
  return "<" + name + ">" + XmlEscapeText(value) + "</" + name + ">";
}

std::string ServerLine(const std::string& name, const std::string& value) {
  return " " + Element(name, value) + " ";
}

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n";

std::optional<int64_t> Number(const std::string& text) {
  try {
    size_t used = 0;
    const long long n = std::stoll(text, &used);
    if (used != text.size()) return std::nullopt;
    return n;
  } catch (...) {
    return std::nullopt;
  }
}

std::string Pattern(size_t bytes, unsigned seed) {
  std::string out(bytes, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < bytes; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<char>('a' + (x >> 16) % 26);
  }
  return out;
}

bool MakeFolder(const std::string& folder, bool hidden = false) {
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return false;
  return !hidden || SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
}

}  // namespace

std::string ServerLayout(const ConfFile& conf) {
  std::string text = kDeclaration;
  text += "<configuration>\r\n";
  text += ServerLine("lastsyncdate", conf.lastsyncdate) + "\r\n";
  text += ServerLine("syncperiod", std::to_string(conf.syncperiod)) + "\r\n";
  text += ServerLine("targetdrive", conf.targetdrive) + "\r\n";
  text += ServerLine("silentflag", std::to_string(conf.silentflag)) + "\r\n";
  text += " <tagslist>\r\n";
  for (const ConfItem& item : conf.items)
    text += "  <item> " + ServerLine("caption", item.caption) +
            ServerLine("size", std::to_string(item.size)) + ServerLine("path", item.path) +
            ServerLine("lastsync", item.lastsync) +
            ServerLine("ftype", std::to_string(item.ftype)) + " </item> \r\n";
  text += " </tagslist>\r\n</configuration>\r\n";
  return text;
}

std::string FrontEndLayout(const ConfFile& conf) {
  std::string text = kDeclaration;
  text += "<configuration>\r\n\t" + Element("lastsyncdate", conf.lastsyncdate) + "\r\n\t" +
          Element("silentflag", std::to_string(conf.silentflag)) + "\r\n\t" +
          Element("syncperiod", std::to_string(conf.syncperiod)) + "\r\n\t" +
          Element("targetdrive", conf.targetdrive) + "\r\n\t<tagslist>";
  for (const ConfItem& item : conf.items)
    text += "<item>" + Element("caption", item.caption) + Element("path", item.path) +
            Element("lastsync", item.lastsync) + Element("size", std::to_string(item.size)) +
            Element("ftype", std::to_string(item.ftype)) + "</item>";
  text += "</tagslist>\r\n</configuration>";
  return text;
}

std::optional<ConfFile> ReadConf(const std::string& path) {
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  try {
    XmlDocument doc;
    if (!doc.Parse(*bytes)) return std::nullopt;
    const XmlNode root = doc.DocumentElement();
    ConfFile conf;
    conf.lastsyncdate = root.ChildByName("lastsyncdate").Text();
    const auto period = Number(root.ChildByName("syncperiod").Text());
    const auto silent = Number(root.ChildByName("silentflag").Text());
    if (!period || !silent) return std::nullopt;
    conf.syncperiod = *period;
    conf.silentflag = static_cast<int>(*silent);
    conf.targetdrive = root.ChildByName("targetdrive").Text();
    const XmlNode list = root.ChildByName("tagslist");
    for (int i = 0; i < list.ChildCount(); ++i) {
      const XmlNode node = list.Child(i);
      ConfItem item;
      item.caption = node.ChildByName("caption").Text();
      item.path = node.ChildByName("path").Text();
      item.lastsync = node.ChildByName("lastsync").Text();
      const auto size = Number(node.ChildByName("size").Text());
      const auto ftype = Number(node.ChildByName("ftype").Text());
      if (!size || !ftype) return std::nullopt;
      item.size = *size;
      item.ftype = static_cast<int>(*ftype);
      conf.items.push_back(item);
    }
    return conf;
  } catch (const XmlError&) {
    return std::nullopt;
  }
}

DateTime ParsedTime(const std::string& text) {
  DateTime t = 0;
  return TryTextToDateTime(text, t) ? t : 0;
}

std::optional<ConfFile> WaitForConf(const std::string& path,
                                    const std::function<bool(const ConfFile&)>& pred,
                                    unsigned timeoutMs) {
  std::optional<ConfFile> last;
  WaitUntil(
      [&] {
        last = ReadConf(path);
        return last && pred(*last);
      },
      timeoutMs);
  return last && pred(*last) ? last : std::nullopt;
}

FILETIME LocalFileTime(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(year);
  local.wMonth = static_cast<WORD>(month);
  local.wDay = static_cast<WORD>(day);
  local.wHour = static_cast<WORD>(hour);
  local.wMinute = static_cast<WORD>(minute);
  local.wSecond = static_cast<WORD>(second);
  SYSTEMTIME utc{};
  TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
  FILETIME ft{};
  SystemTimeToFileTime(&utc, &ft);
  return ft;
}

bool MakeFolderChain(const std::string& folder) {
  for (size_t slash = folder.find('\\', 3); slash != std::string::npos;
       slash = folder.find('\\', slash + 1))
    MakeFolder(folder.substr(0, slash));
  return MakeFolder(folder) || FolderExists(folder);
}

std::string MirrorOf(const std::string& target, const std::string& source) {
  return source.size() < 2 ? target : target + source[0] + source.substr(2);
}

std::string UnusedDriveRoot() {
  const DWORD drives = GetLogicalDrives();
  for (char letter = 'Q'; letter <= 'Y'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if (!(drives & (1u << (letter - 'A'))) && GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR)
      return root;
  }
  return {};
}

int32_t KilobytesOf(uint64_t bytes) {
  uint64_t kb = bytes / 1024;
  const uint64_t rest = bytes % 1024;
  if (rest > 512 || (rest == 512 && kb % 2 == 1)) ++kb;
  return static_cast<int32_t>(std::max<uint64_t>(kb, 1));
}

int32_t SourceTree::TotalKb() const {
  int32_t total = 0;
  for (const SourceFile& f : files) total += KilobytesOf(f.bytes.size());
  return total;
}

SourceFile MakeSourceFile(const std::string& path, size_t bytes, const FILETIME& lastWrite) {
  SourceFile f;
  f.path = path;
  f.bytes = Pattern(bytes, static_cast<unsigned>(std::hash<std::string>{}(path)));
  f.lastWrite = lastWrite;
  // A scene that could not be built would only show up later as puzzling copy failures.
  if (!WriteFileWithTime(f.path, f.bytes, f.lastWrite))
    throw std::runtime_error("cannot write " + path);
  return f;
}

SourceTree MakeSourceTree(const std::string& root, int smallFiles, int bigFiles, size_t bigBytes) {
  SourceTree tree;
  tree.root = root;
  const std::vector<std::string> folders = {root, root + "\\sub1", root + "\\sub1\\deeper",
                                            root + "\\sub2"};
  for (const std::string& folder : folders)
    if (!MakeFolder(folder)) throw std::runtime_error("cannot make " + folder);
  if (!MakeFolder(root + "\\sub2\\hidden folder", true))
    throw std::runtime_error("cannot make a hidden folder in " + root);
  auto add = [&](const std::string& path, size_t bytes, int n, bool hidden) {
    SourceFile f = MakeSourceFile(
        path, bytes, LocalFileTime(2021, 1 + n % 12, 1 + n % 28, n % 24, n % 60, (2 * n) % 60));
    if (hidden && !SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN))
      throw std::runtime_error("cannot hide " + path);
    f.hidden = hidden;
    tree.files.push_back(std::move(f));
  };
  for (int i = 0; i < smallFiles; ++i)
    add(folders[i % folders.size()] + "\\f" + std::to_string(i) + ".txt", 100 + (i * 37) % 3000, i,
        false);
  for (int i = 0; i < bigFiles; ++i)
    add(root + "\\big" + std::to_string(i) + ".bin", bigBytes + 100 * i, 1000 + i, false);
  add(root + "\\hidden.dat", 1800, 2000, true);
  add(root + "\\sub1\\deeper\\.dotted", 0, 2001, true);
  add(root + "\\sub2\\hidden folder\\inside.txt", 700, 2002, false);
  return tree;
}

std::string CopyProblem(const std::string& target, const SourceFile& f) {
  const std::string copy = MirrorOf(target, f.path);
  if (!FileExists(copy)) return "no copy at " + copy;
  if (ReadFileOrEmpty(copy) != f.bytes) return "other bytes in " + copy;
  const auto time = LastWriteTime(copy);
  if (!time || !SameFileTime(*time, f.lastWrite)) return "another last-write time on " + copy;
  return {};
}

SyncWorld::SyncWorld(const std::string& installDir, int smallFiles, int bigFiles, size_t bigBytes)
    : source(installDir + "src\\"), target(installDir + "target\\") {
  if (!MakeFolder(source) || !MakeFolder(target))
    throw std::runtime_error("cannot make the folders in " + installDir);
  tree = MakeSourceTree(source + "tree", smallFiles, bigFiles, bigBytes);
  single = MakeSourceFile(source + "notes.txt", 5000, LocalFileTime(2020, 7, 8, 9, 10, 12));
}

ConfFile SyncWorld::Configuration() const {
  ConfFile conf;
  conf.targetdrive = target;
  ConfItem folder;
  folder.caption = "tree";
  folder.path = source;
  folder.ftype = 2;
  ConfItem file;
  file.caption = "notes.txt";
  file.path = source;
  file.ftype = 0;
  conf.items = {folder, file};
  return conf;
}

std::vector<SourceFile> SyncWorld::AllFiles() const {
  std::vector<SourceFile> all = tree.files;
  all.push_back(single);
  return all;
}

bool SyncWorld::WaitForRunUnderWay(unsigned timeoutMs) const {
  const std::string mirror = MirrorOf(target, source);
  return WaitUntil([&] { return FolderExists(mirror); }, timeoutMs);
}

ScopedTree::~ScopedTree() {
  if (!folder_.empty()) RemoveTree(folder_);
}

namespace {

// Waits for the first message that match accepts, among those received since the client was
// last cleared.
std::optional<ReceivedMessage> WaitForMessage(
    ControlClient& client, const std::function<bool(const ReceivedMessage&)>& match,
    unsigned timeoutMs) {
  std::optional<ReceivedMessage> found;
  WaitUntil(
      [&] {
        for (const ReceivedMessage& m : client.Messages())
          if (match(m)) {
            found = m;
            return true;
          }
        return false;
      },
      timeoutMs);
  return found;
}

}  // namespace

std::optional<LPARAM> Acknowledge(ControlClient& client, HWND server, LPARAM code,
                                  unsigned timeoutMs) {
  client.Clear();
  if (!client.Post(server, code)) return std::nullopt;
  const auto m = WaitForMessage(
      client, [](const ReceivedMessage& r) { return r.msg == WM_SYNCCONTROL; }, timeoutMs);
  return m ? std::optional<LPARAM>(m->lParam) : std::nullopt;
}

std::optional<StatusAnswer> AskStatus(ControlClient& client, HWND server, unsigned timeoutMs) {
  client.Clear();
  if (!client.Post(server, cmdStatus)) return std::nullopt;
  const auto m = WaitForMessage(
      client, [](const ReceivedMessage& r) { return r.msg == WM_COPYDATA && r.dwData == 1; },
      timeoutMs);
  return m ? ReadStatus(*m) : std::nullopt;
}

std::optional<StatusAnswer> WaitForStatus(ControlClient& client, HWND server,
                                          const std::function<bool(const StatusAnswer&)>& pred,
                                          unsigned timeoutMs) {
  std::optional<StatusAnswer> status;
  const bool held = WaitUntil(
      [&] {
        status = AskStatus(client, server);
        return status && pred(*status);
      },
      timeoutMs);
  return held ? status : std::nullopt;
}

int CountLogText(const std::string& logPath, const std::string& text) {
  const auto lines = ReadLines(logPath);
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& l) { return LogText(l) == text; }));
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

HWND ChildWithText(HWND parent, const std::string& text) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (WindowText(child) == text) return child;
    if (HWND inner = ChildWithText(child, text)) return inner;
  }
  return nullptr;
}

HWND WaitForProcessWindowOfClass(DWORD pid, const std::string& className, unsigned timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND w = FindWindowExA(nullptr, nullptr, className.c_str(), nullptr); w;
             w = FindWindowExA(nullptr, w, className.c_str(), nullptr)) {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if (owner == pid) {
            found = w;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

HWND WaitForShownDialog(DWORD pid, const std::string& caption, unsigned timeoutMs) {
  const HWND dialog = WaitForProcessWindow(pid, caption, timeoutMs);
  if (!dialog || !WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, timeoutMs))
    return nullptr;
  return dialog;
}

namespace {

// Reads the pixels of a screen rectangle, top row first, as 0x00RRGGBB.
std::vector<uint32_t> ScreenPixels(const RECT& r) {
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return {};
  HDC screen = GetDC(nullptr);
  if (!screen) return {};
  std::vector<uint32_t> pixels;
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdiObject bitmap(CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (memory && bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap.get());
    if (BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY)) {
      GdiFlush();
      const auto* p = static_cast<const uint32_t*>(bits);
      pixels.assign(p, p + static_cast<size_t>(width) * height);
    }
    SelectObject(memory, old);
  }
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

bool StrongRed(uint32_t pixel) {
  const unsigned red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
  return red >= 200 && green <= 80 && blue <= 80;
}

}  // namespace

bool ShowsRed(HWND window, unsigned timeoutMs) {
  return WaitUntil(
      [&] {
        RECT r{};
        if (!GetWindowRect(window, &r)) return false;
        const auto pixels = ScreenPixels(r);
        return std::any_of(pixels.begin(), pixels.end(), StrongRed);
      },
      timeoutMs);
}

bool ClickButton(HWND button) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
}

}  // namespace qm::test
