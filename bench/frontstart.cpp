// Times the configuration program with a conf.xml of many tags beside a floor: a bare program of
// this bench's own that parses the same file with MSXML 6, visits the items one after another and
// puts five cells a row into a report list view. Run by hand through bench/run-front-bench, or:
//   frontstart FOLDER\ [tags] [rounds]   FOLDER holds Quillmere.exe; a conf.xml is written there
//   frontstart floor FILE                the floor program: shows FILE's items and waits
// Prints a table of medians over the rounds, floor beside the program, rounds taken in turn so
// that both meet the same load on the machine.
#include "base/registry.h"
#include "frontend/mainform.h"
#include "tools/protocol.h"

#include <windows.h>
#include <commctrl.h>
#include <msxml2.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kFrontCaption = "Harvo Quillmere v1.0";
constexpr const char* kFloorCaption = "frontstart floor";

double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> ms) {
  if (ms.empty()) return -1;
  std::sort(ms.begin(), ms.end());
  const size_t n = ms.size();
  return n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
}

std::string ConfWithTags(const std::string& folder, int tags) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
      " <lastsyncdate>01-01-2004</lastsyncdate>\r\n <silentflag>0</silentflag>\r\n"
      " <syncperiod>3600000</syncperiod>\r\n <targetdrive>" + folder +
      "target\\</targetdrive>\r\n <tagslist>\r\n";
  for (int i = 0; i < tags; ++i)
    text += "  <item>\r\n   <caption>file" + std::to_string(i) +
            ".txt</caption>\r\n   <path>C:\\Documents\\Folder " + std::to_string(i % 37) +
            "\\</path>\r\n   <lastsync>05-01-2005 14:03:00</lastsync>\r\n   <size>" +
            std::to_string(i * 17) + "</size>\r\n   <ftype>" + std::to_string(i % 4) +
            "</ftype>\r\n  </item>\r\n";
  return text + " </tagslist>\r\n</configuration>\r\n";
}

std::string BareRead(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  std::string out;
  if (f == INVALID_HANDLE_VALUE) return out;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  CloseHandle(f);
  return out;
}

bool BareWrite(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
                  FlushFileBuffers(f);
  CloseHandle(f);
  return ok;
}

// ---- The floor program ----

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
  T** put() {
    if (p) p->Release();
    p = nullptr;
    return &p;
  }
};

std::wstring NameOf(IXMLDOMNode* node) {
  BSTR name = nullptr;
  std::wstring out;
  if (node->get_nodeName(&name) == S_OK && name) out.assign(name, SysStringLen(name));
  SysFreeString(name);
  return out;
}

std::string TextOf(IXMLDOMNode* node) {
  BSTR text = nullptr;
  std::string out;
  if (node->get_text(&text) == S_OK && text) {
    const int length = static_cast<int>(SysStringLen(text));
    const int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr);
  }
  SysFreeString(text);
  return out;
}

// Calls visit for each child of parent, in order.
void EachChild(IXMLDOMNode* parent, const std::function<void(IXMLDOMNode*)>& visit) {
  Released<IXMLDOMNode> child;
  if (parent->get_firstChild(child.put()) != S_OK) return;
  while (child.p) {
    visit(child.p);
    Released<IXMLDOMNode> next;
    if (child.p->get_nextSibling(next.put()) != S_OK) break;
    std::swap(child.p, next.p);
  }
}

class FloorWindow {
 public:
  FloorWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "frontstart-floor";
    RegisterClassA(&wc);
    frame_ = CreateWindowExA(0, wc.lpszClassName, kFloorCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             192, 210, 770, 425, nullptr, nullptr, wc.hInstance, nullptr);
    list_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT,
                            0, 0, 750, 380, frame_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(qm::idTagged)),
                            wc.hInstance, nullptr);
    const char* titles[] = {"UnTag", "File name", "Full Path ", "Last Synchronised", "Size, Mb   "};
    for (int i = 0; i < 5; ++i) {
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.cx = 100;
      column.pszText = const_cast<char*>(titles[i]);
      SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
  }
  ~FloorWindow() { DestroyWindow(frame_); }
  FloorWindow(const FloorWindow&) = delete;
  FloorWindow& operator=(const FloorWindow&) = delete;

  HWND frame() const { return frame_; }

  // Parses the file's bytes and shows one row per item; the number of rows.
  int Show(const std::string& bytes) {
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    Released<IXMLDOMDocument> doc;
    if (Parse(bytes, doc)) {
      Released<IXMLDOMElement> root;
      if (doc.p->get_documentElement(root.put()) == S_OK && root.p)
        EachChild(root.p, [&](IXMLDOMNode* child) {
          if (NameOf(child) == L"tagslist") EachChild(child, [&](IXMLDOMNode* item) { AddRow(item); });
        });
    }
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
  }

 private:
  static bool Parse(const std::string& bytes, Released<IXMLDOMDocument>& doc) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(doc.put()))))
      return false;
    doc.p->put_async(VARIANT_FALSE);
    doc.p->put_preserveWhiteSpace(VARIANT_FALSE);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(source.parray, &data);
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(source.parray);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const bool ok = doc.p->load(source, &loaded) == S_OK && loaded == VARIANT_TRUE;
    VariantClear(&source);
    return ok;
  }

  void AddRow(IXMLDOMNode* item) {
    static const wchar_t* const kNames[] = {L"caption", L"path", L"lastsync", L"size"};
    std::string cells[4];
    EachChild(item, [&](IXMLDOMNode* value) {
      const std::wstring name = NameOf(value);
      for (int i = 0; i < 4; ++i)
        if (name == kNames[i]) cells[i] = TextOf(value);
    });
    LVITEMA row{};
    row.mask = LVIF_TEXT;
    row.iItem = INT_MAX;
    row.pszText = const_cast<char*>("");
    const int index = static_cast<int>(SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
    for (int i = 0; i < 4; ++i) {
      LVITEMA cell{};
      cell.iSubItem = i + 1;
      cell.pszText = cells[i].data();
      SendMessageA(list_, LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&cell));
    }
  }

  HWND frame_ = nullptr;
  HWND list_ = nullptr;
};

int RunFloor(const std::string& file) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  InitCommonControls();
  FloorWindow window;
  window.Show(BareRead(file));
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

// ---- Timing from outside ----

struct Started {
  HANDLE process = nullptr;
  DWORD pid = 0;
};

Started StartProgram(const std::string& exe, const std::string& arguments) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string commandLine = "\"" + exe + "\" " + arguments;
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &si, &pi))
    return {};
  CloseHandle(pi.hThread);
  return {pi.hProcess, pi.dwProcessId};
}

HWND MainWindowOf(DWORD pid, const char* caption) {
  struct Search {
    DWORD pid;
    const char* caption;
    HWND found;
  } search{pid, caption, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        char text[64] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        if (owner != s->pid || std::string(text) != s->caption) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// From the program's start until its list holds every row and answers a message.
double ProgramUntilRows(const std::string& exe, const std::string& arguments, const char* caption,
                        int rows) {
  const double start = NowMs();
  const Started program = StartProgram(exe, arguments);
  if (!program.process) return -1;
  double shown = -1;
  while (NowMs() - start < 120000) {
    const HWND main = MainWindowOf(program.pid, caption);
    const HWND list = main ? GetDlgItem(main, qm::idTagged) : nullptr;
    DWORD_PTR count = 0;
    if (list && SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 1000, &count) &&
        static_cast<int>(count) == rows) {
      shown = NowMs() - start;
      break;
    }
    Sleep(1);
  }
  TerminateProcess(program.process, 0);
  WaitForSingleObject(program.process, 5000);
  CloseHandle(program.process);
  return shown;
}

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

struct Pair {
  std::vector<double> floor, program;
};

void PrintRow(const char* what, const Pair& pair) {
  std::printf("| %-34s | %9.0f | %9.0f |\n", what, Median(pair.floor), Median(pair.program));
}

// Both programs from their start, the empty list and then every row, rounds in turn.
void TimeStarts(const std::string& folder, const std::string& bytes, int tags, int rounds,
                Pair& empty, Pair& rows) {
  const std::string conf = folder + "conf.xml";
  const std::string exe = folder + "Quillmere.exe";
  const std::string floorArguments = "floor \"" + conf + "\"";
  const std::string emptyBytes = ConfWithTags(folder, 0);
  for (int i = 0; i < rounds; ++i) {
    BareWrite(conf, emptyBytes);
    empty.floor.push_back(ProgramUntilRows(OwnPath(), floorArguments, kFloorCaption, 0));
    empty.program.push_back(ProgramUntilRows(exe, "", kFrontCaption, 0));
    BareWrite(conf, bytes);
    rows.floor.push_back(ProgramUntilRows(OwnPath(), floorArguments, kFloorCaption, tags));
    rows.program.push_back(ProgramUntilRows(exe, "", kFrontCaption, tags));
  }
}

// In this process: the list shown again from the file ("Refresh", F5), and a save of the whole
// document beside a bare write of the same bytes.
void TimeRefreshAndSave(const std::string& folder, const std::string& bytes, int tags, int rounds,
                        Pair& refresh, Pair& save) {
  BareWrite(folder + "conf.xml", bytes);
  qm::FrontEnvironment env;
  env.programFolder = folder;
  env.registryKey = std::string(qm::kServerKeyPath) + "-bench-absent";
  env.visible = true;
  auto form = std::make_unique<qm::TfrMain>(env);
  form->CreateForm();
  FloorWindow floor;
  for (int i = 0; i < rounds; ++i) {
    double t = NowMs();
    const int floorRows = floor.Show(BareRead(folder + "conf.xml"));
    UpdateWindow(floor.frame());
    refresh.floor.push_back(NowMs() - t);

    t = NowMs();
    form->Refresh1Click();
    const int rows = static_cast<int>(SendMessageA(form->lvTagged, LVM_GETITEMCOUNT, 0, 0));
    UpdateWindow(form->hwnd());
    refresh.program.push_back(NowMs() - t);
    if (rows != tags || floorRows != tags)
      std::printf("rows %d, floor rows %d, of %d\n", rows, floorRows, tags);

    t = NowMs();
    BareWrite(folder + "bare.xml", bytes);
    save.floor.push_back(NowMs() - t);
    t = NowMs();
    form->SaveConfigAndNotify();
    save.program.push_back(NowMs() - t);
  }
}

int Run(const std::string& folder, int tags, int rounds) {
  if (qm::RegistryKey::Open(HKEY_LOCAL_MACHINE, qm::kServerKeyPath, KEY_READ)) {
    std::printf("the server's registry key exists: the program would not read %sconf.xml\n",
                folder.c_str());
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  InitCommonControls();
  const std::string bytes = ConfWithTags(folder, tags);
  Pair empty, rows, refresh, save;
  TimeRefreshAndSave(folder, bytes, tags, rounds, refresh, save);
  TimeStarts(folder, bytes, tags, rounds, empty, rows);
  Pair beyond;
  beyond.floor = {Median(rows.floor) - Median(empty.floor)};
  beyond.program = {Median(rows.program) - Median(empty.program)};

  std::printf("tags %d, conf.xml %zu bytes, medians of %d rounds, milliseconds\n", tags,
              bytes.size(), rounds);
  std::printf("| %-34s | %9s | %9s |\n", "", "floor", "Quillmere");
  std::printf("|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(11, '-').c_str(),
              std::string(11, '-').c_str());
  PrintRow("start, empty list", empty);
  PrintRow("start until every row shows", rows);
  PrintRow("  beyond the empty start", beyond);
  PrintRow("refresh (F5) in the running window", refresh);
  PrintRow("save (floor: bare write)", save);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "floor") return RunFloor(argv[2]);
  if (argc < 2) {
    std::printf("usage: frontstart FOLDER\\ [tags] [rounds] | frontstart floor FILE\n");
    return 2;
  }
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  return Run(argv[1], argc > 2 ? std::atoi(argv[2]) : 1000, rounds < 1 ? 1 : rounds);
}
