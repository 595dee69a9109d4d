// The two pickers, opened as the main window's browse buttons open them, on a stand-in owner
// and a stand-in edit, and worked through messages to their controls from a timer that runs in
// the dialog's own modal loop.
#include "frontend/selectfile.h"
#include "frontend/selectpath.h"

#include "base/prompt.h"
#include "base/window.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

namespace qm {
namespace {

constexpr char kFileCaption[] = "Select File or Folder";
constexpr char kPathCaption[] = "Select Path";

// The main window's edit: its text, and how often an opener set it.
struct Edit {
  std::string text;
  int sets = 0;
  PathField Field() {
    return PathField{[this] { return text; },
                     [this](const std::string& value) {
                       text = value;
                       ++sets;
                     }};
  }
};

struct Shown {
  HWND owner;
  std::string text, caption;
  UINT type;
};

std::string StripSlash(std::string path) {
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

std::string NameOf(const std::string& path) {
  const std::string stripped = StripSlash(path);
  return stripped.substr(stripped.rfind('\\') + 1);
}

bool SamePath(const std::string& a, const std::string& b) {
  return lstrcmpiA(StripSlash(a).c_str(), StripSlash(b).c_str()) == 0;
}

std::string PersonalFolder() {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::string TextOf(HWND dialog, int id) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void SetText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextA(dialog, id, text.c_str());
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// --- the item list ---
std::vector<std::string> ListNames(HWND dialog) {
  HWND list = GetDlgItem(dialog, idPickList);
  std::vector<std::string> names;
  const int count = ListView_GetItemCount(list);
  for (int i = 0; i < count; ++i) {
    char text[MAX_PATH] = {};
    ListView_GetItemText(list, i, 0, text, sizeof text);
    names.push_back(text);
  }
  return names;
}

int ListIndexOf(HWND dialog, const std::string& name) {
  const std::vector<std::string> names = ListNames(dialog);
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int>(i);
  return -1;
}

// What the list tells its parent when the user clicks (or double-clicks) a row.
void ListNotify(HWND dialog, int index, UINT code) {
  HWND list = GetDlgItem(dialog, idPickList);
  if (index >= 0) {
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
  }
  NMITEMACTIVATE activate{};
  activate.hdr.hwndFrom = list;
  activate.hdr.idFrom = idPickList;
  activate.hdr.code = code;
  activate.iItem = index;
  SendMessageA(dialog, WM_NOTIFY, idPickList, reinterpret_cast<LPARAM>(&activate));
}

void ClickRow(HWND dialog, const std::string& name) {
  const int index = ListIndexOf(dialog, name);
  ASSERT_GE(index, 0) << name;
  ListNotify(dialog, index, NM_CLICK);
}

void DoubleClickRow(HWND dialog, const std::string& name) {
  const int index = ListIndexOf(dialog, name);
  ASSERT_GE(index, 0) << name;
  ListNotify(dialog, index, NM_CLICK);
  ListNotify(dialog, index, NM_DBLCLK);
}

// --- the folder combo ---
std::string ComboItem(HWND dialog, int index) {
  char text[MAX_PATH] = {};
  COMBOBOXEXITEMA item{};
  item.mask = CBEIF_TEXT;
  item.iItem = index;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendDlgItemMessageA(dialog, idPickCombo, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return text;
}

std::string ComboCurrent(HWND dialog) {
  return ComboItem(dialog,
                   static_cast<int>(SendDlgItemMessageA(dialog, idPickCombo, CB_GETCURSEL, 0, 0)));
}

// --- the folder tree ---
std::string NodeText(HWND tree, HTREEITEM node) {
  char text[MAX_PATH] = {};
  TVITEMA item{};
  item.mask = TVIF_TEXT;
  item.hItem = node;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  if (!node || !TreeView_GetItem(tree, &item)) return {};
  return text;
}

HTREEITEM ChildNode(HWND tree, HTREEITEM parent, const std::string& part) {
  TreeView_Expand(tree, parent, TVE_EXPAND);
  for (HTREEITEM child = TreeView_GetChild(tree, parent); child;
       child = TreeView_GetNextSibling(tree, child))
    if (NodeText(tree, child).find(part) != std::string::npos) return child;
  return nullptr;
}

std::string SelectedNode(HWND dialog) {
  HWND tree = GetDlgItem(dialog, idPickTree);
  return NodeText(tree, TreeView_GetSelection(tree));
}

// A folder that names its items as some shell folders do: by an offset into the item itself.
class OffsetNamingFolder : public IShellFolder {
 public:
  static constexpr UINT kNameAt = 4;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*,
                                             ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*,
                                          void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET* name) override {
    name->uType = STRRET_OFFSET;
    name->uOffset = kNameAt;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF,
                                      PITEMID_CHILD*) override {
    return E_NOTIMPL;
  }
};

TEST(ShellNames, ANameGivenAsAnOffsetIsReadFromTheItem) {
  // One id of 13 bytes (its size, two bytes of its own, the name) and the closing zero size.
  alignas(4) const unsigned char item[] = {13,  0,   'i', 'd', 'n', 'a', 'm', 'e',
                                           '.', 't', 'x', 't', 0,   0,   0};
  OffsetNamingFolder folder;
  EXPECT_EQ(ItemName(folder, reinterpret_cast<const ITEMIDLIST*>(item), SHGDN_FORPARSING),
            "name.txt");
}

class Pickers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.ok());
    ASSERT_TRUE(owner_.Create("QuillmerePickerTestOwner", HiddenWindow::Kind::TopLevel));
    folder_ = test::MakeScratchFolder("pickers");
    ASSERT_FALSE(folder_.empty());
    ASSERT_TRUE(test::WriteFileBytes(folder_ + "top.txt", "top"));
    ASSERT_TRUE(CreateDirectoryA((folder_ + "inner").c_str(), nullptr));
    ASSERT_TRUE(test::WriteFileBytes(folder_ + "inner\\deep.txt", "deep"));
    previous_ = SetMessageBoxHandler(
        [this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
          shown_.push_back({owner, text, caption, type});
          return IDOK;
        });
  }
  void TearDown() override {
    SetMessageBoxHandler(previous_);
    if (!folder_.empty()) test::RemoveTree(folder_);
  }

  // Runs open() (which shows a picker modally) and, once the dialog with the caption shows,
  // act() on it from inside the modal loop. act must close the dialog.
  void Run(const char* caption, const std::function<void()>& open,
           const std::function<void(HWND)>& act) {
    bool acted = false;
    const ULONGLONG deadline = GetTickCount64() + 60000;
    Timer timer(20, [&] {
      HWND dialog = FindWindowA("#32770", caption);
      if (!acted && dialog && IsWindowVisible(dialog)) {
        acted = true;
        act(dialog);
        if (IsWindow(dialog) && IsWindowVisible(dialog)) {
          ADD_FAILURE() << "the test left the dialog open";
          PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
      } else if (dialog && GetTickCount64() > deadline) {
        ADD_FAILURE() << "the dialog did not close";
        PostMessageA(dialog, WM_CLOSE, 0, 0);
      }
    });
    timer.SetEnabled(true);
    open();
    timer.SetEnabled(false);
    EXPECT_TRUE(acted) << "the dialog never showed";
  }

  void PickTag(Edit& eTag, const std::function<void(HWND)>& act) {
    Run(kFileCaption, [&] { BrowseForTag(owner_.hwnd(), eTag.Field()); }, act);
  }
  void PickTarget(Edit& eTarget, const std::function<void(HWND)>& act) {
    Run(kPathCaption, [&] { BrowseForTarget(owner_.hwnd(), eTarget.Field()); }, act);
  }

  ComApartment com_;
  HiddenWindow owner_;
  std::string folder_;  // ends in "\"; holds top.txt and inner\deep.txt
  std::vector<Shown> shown_;
  MessageBoxHandler previous_;
};

// The dialog's windows are gone once it closes; a control that still held its handle would
// talk to a destroyed window (or another that took its handle) when it is freed.
TEST_F(Pickers, ShellControlsLetGoOfTheirWindowsWhenTheDialogCloses) {
  const auto cancel = [](HWND dialog) { Click(dialog, idPickCancel); };
  TfrSelectFile file;
  Run(kFileCaption, [&] { file.ShowModal(owner_.hwnd()); }, cancel);
  EXPECT_EQ(file.ShellListView1.hwnd(), nullptr);
  EXPECT_EQ(file.ShellComboBox1.hwnd(), nullptr);
  EXPECT_EQ(file.ShellTreeView1.hwnd(), nullptr);
  TfrSelectPath path;
  Run(kPathCaption, [&] { path.ShowModal(owner_.hwnd()); }, cancel);
  EXPECT_EQ(path.ShellTreeView1.hwnd(), nullptr);
}

TEST_F(Pickers, FileOpensInTheFilesFolderAndSelectReturnsThePathUnchanged) {
  Edit eTag{folder_ + "top.txt"};
  PickTag(eTag, [&](HWND dialog) {
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_ + "top.txt");
    EXPECT_GE(ListIndexOf(dialog, "top.txt"), 0);
    EXPECT_GE(ListIndexOf(dialog, "inner"), 0);
    EXPECT_EQ(ComboCurrent(dialog), NameOf(folder_));
    EXPECT_EQ(SelectedNode(dialog), NameOf(folder_));
    Click(dialog, idPickSelect);
  });
  EXPECT_EQ(eTag.text, folder_ + "top.txt");
  EXPECT_TRUE(shown_.empty());
}

TEST_F(Pickers, FileWithAMissingFolderClearsTheTagAndOpensInThePersonalFolder) {
  Edit eTag{"C:\\no such folder here\\x.txt"};
  std::string tagWhileOpen;
  PickTag(eTag, [&](HWND dialog) {
    tagWhileOpen = eTag.text;
    EXPECT_EQ(TextOf(dialog, idPickPath), "");
    EXPECT_EQ(ComboItem(dialog, 0), "My Computer");
    EXPECT_EQ(ComboCurrent(dialog), NameOf(PersonalFolder()));
    Click(dialog, idPickCancel);
  });
  EXPECT_TRUE(SamePath(tagWhileOpen, PersonalFolder())) << tagWhileOpen;
  EXPECT_EQ(eTag.text, tagWhileOpen);
  EXPECT_EQ(eTag.sets, 2);  // cleared, then the personal folder
}

TEST_F(Pickers, FileWithAnEmptyTagKeepsThePersonalFolderAfterCancel) {
  Edit eTag;
  PickTag(eTag, [&](HWND dialog) {
    EXPECT_EQ(TextOf(dialog, idPickPath), "");
    EXPECT_EQ(ComboItem(dialog, 0), "My Computer");
    EXPECT_EQ(SelectedNode(dialog), NameOf(PersonalFolder()));
    Click(dialog, idPickCancel);
  });
  EXPECT_TRUE(SamePath(eTag.text, PersonalFolder())) << eTag.text;
}

TEST_F(Pickers, FileDoubleClickEntersAFolderButOnAFileOnlyChangesThePath) {
  Edit eTag{folder_ + "top.txt"};
  PickTag(eTag, [&](HWND dialog) {
    const std::vector<std::string> before = ListNames(dialog);
    DoubleClickRow(dialog, "top.txt");
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_ + "top.txt");
    EXPECT_EQ(ListNames(dialog), before);

    DoubleClickRow(dialog, "inner");
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_ + "inner");
    EXPECT_EQ(ListNames(dialog), std::vector<std::string>{"deep.txt"});
    EXPECT_EQ(ComboCurrent(dialog), "inner");
    EXPECT_EQ(SelectedNode(dialog), "inner");

    // Moving with the keyboard: a released key puts the selected item into ePath.
    HWND list = GetDlgItem(dialog, idPickList);
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageA(list, WM_KEYUP, VK_DOWN, 0);
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_ + "inner\\deep.txt");
    SetText(dialog, idPickPath, "");
    ClickRow(dialog, "deep.txt");
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_ + "inner\\deep.txt");
    ListNotify(dialog, -1, NM_CLICK);  // beside the rows: nothing is selected, nothing changes
    ListView_SetItemState(GetDlgItem(dialog, idPickList), -1, 0, LVIS_SELECTED);
    ListNotify(dialog, -1, NM_CLICK);
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_ + "inner\\deep.txt");
    Click(dialog, idPickSelect);
  });
  EXPECT_EQ(eTag.text, folder_ + "inner\\deep.txt");
}

TEST_F(Pickers, FileUpLevelShowsTheParentFolder) {
  Edit eTag{folder_ + "inner\\deep.txt"};
  PickTag(eTag, [&](HWND dialog) {
    EXPECT_EQ(ListNames(dialog), std::vector<std::string>{"deep.txt"});
    Click(dialog, idPickUp);
    EXPECT_EQ(ListNames(dialog), (std::vector<std::string>{"inner", "top.txt"}));
    EXPECT_EQ(ComboCurrent(dialog), NameOf(folder_));
    EXPECT_EQ(SelectedNode(dialog), NameOf(folder_));
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_ + "inner\\deep.txt");  // the list moved, not ePath
    Click(dialog, idPickCancel);
  });
  EXPECT_EQ(eTag.text, folder_ + "inner\\deep.txt");
}

TEST_F(Pickers, FileSelectOfATextTheShellCannotParseWarnsAndStaysOpen) {
  Edit eTag{folder_ + "top.txt"};
  PickTag(eTag, [&](HWND dialog) {
    for (const std::string& text : {folder_ + "missing\\x.txt", std::string("\\\\server\\share")}) {
      shown_.clear();
      SetText(dialog, idPickPath, text);
      Click(dialog, idPickSelect);
      ASSERT_EQ(shown_.size(), 1u) << text;
      EXPECT_EQ(shown_[0].owner, dialog);
      EXPECT_EQ(shown_[0].caption, "Unknown File or Directory");
      EXPECT_EQ(shown_[0].text,
                "The File or Directory does not exist or is not available on this PC. Please use "
                "the Browse function to identify the file or directory you wish to tag!");
      EXPECT_EQ(shown_[0].type, static_cast<UINT>(MB_OK));
      EXPECT_EQ(TextOf(dialog, idPickPath), "");
      EXPECT_TRUE(IsWindowVisible(dialog));
    }
    // Enter and Escape stand for neither button; the close box cancels.
    SetText(dialog, idPickPath, folder_ + "inner");
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    SendMessageA(dialog, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(eTag.text, folder_ + "top.txt");
  EXPECT_EQ(eTag.sets, 0);
}

TEST_F(Pickers, FolderOpensAtMyComputerWhenTheTargetIsEmptyOrUnparsable) {
  for (const std::string& start : {std::string(), folder_ + "missing\\"}) {
    Edit eTarget{start};
    PickTarget(eTarget, [&](HWND dialog) {
      HWND tree = GetDlgItem(dialog, idPickTree);
      EXPECT_EQ(NodeText(tree, TreeView_GetRoot(tree)), "My Computer");
      EXPECT_EQ(TreeView_GetSelection(tree), nullptr);
      EXPECT_EQ(TextOf(dialog, idPickPath), "");
      Click(dialog, idPickCancel);
    });
    EXPECT_EQ(eTarget.text, start);
    EXPECT_EQ(eTarget.sets, 0);
  }
}

TEST_F(Pickers, FolderPutsADrivesRootWithItsBackslashAndAFolderWithout) {
  Edit eTarget;
  PickTarget(eTarget, [&](HWND dialog) {
    HWND tree = GetDlgItem(dialog, idPickTree);
    HTREEITEM drive = ChildNode(tree, TreeView_GetRoot(tree), "(C:)");
    ASSERT_NE(drive, nullptr);
    TreeView_SelectItem(tree, drive);
    EXPECT_EQ(TextOf(dialog, idPickPath), "C:\\");
    HTREEITEM windows = ChildNode(tree, drive, "windows");
    ASSERT_NE(windows, nullptr);
    TreeView_SelectItem(tree, windows);
    EXPECT_TRUE(SamePath(TextOf(dialog, idPickPath), "C:\\windows"));
    EXPECT_NE(TextOf(dialog, idPickPath).back(), '\\');
    Click(dialog, idPickSelect);
  });
  EXPECT_TRUE(SamePath(eTarget.text, "C:\\windows")) << eTarget.text;
}

TEST_F(Pickers, FolderStartsAtTheTargetAndClearsAnUnparsableTextSilently) {
  Edit eTarget{folder_};
  PickTarget(eTarget, [&](HWND dialog) {
    EXPECT_EQ(TextOf(dialog, idPickPath), folder_);  // exactly, with its trailing backslash
    EXPECT_EQ(SelectedNode(dialog), NameOf(folder_));
    SetText(dialog, idPickPath, folder_ + "missing\\");
    Click(dialog, idPickSelect);
    EXPECT_EQ(TextOf(dialog, idPickPath), "");
    EXPECT_TRUE(IsWindowVisible(dialog));
    SetText(dialog, idPickPath, folder_ + "inner");
    Click(dialog, idPickSelect);
  });
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(eTarget.text, folder_ + "inner");
}

}  // namespace
}  // namespace qm
