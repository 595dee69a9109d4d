#include "frontend/confdoc.h"

#include "base/errortext.h"
#include "base/fileio.h"
#include "base/filelock.h"
#include "frontend/runresults.h"
#include "frontend/screentext.h"
#include "tools/confvalues.h"
#include "tools/tools.h"

#include <windows.h>

#include <stdexcept>

namespace qm {

const char* const ConfigDocument::kQuestionCaption = "Quillmere was unable to open a file!";
const char* const ConfigDocument::kFirstLoadQuestion =
    "Quillmere was unable to open the file: conf.xml. This was most likely because it was in use "
    "by another application or file corrupt.\r\n\t 1) Press button \" No \" and try to execute "
    "refresh later;\r\n\t 2) For application of a configuration by default press button "
    "\"Yes\";";
const char* const ConfigDocument::kReloadQuestion =
    "Quillmere was unable to open the file: conf.xml. This was most likely because it was in use "
    "by another application or file corrupt.\r\n\t 1) Press button \" No \" and try to execute "
    "refresh later;\r\n\t 2) For save of the current configuration press button \"Yes\";";

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) text.append(line).append("\r\n");
  return text;
}

bool IsNameInUse(DWORD error) {
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

// Moves path to the first name of the kept series that is not in use; true when it moved or
// when there was no file to move. A name in use is never replaced.
bool MoveAside(const std::string& path) {
  if (!FileExists(path)) return true;
  for (int n = 0; n < ConfigDocument::kKeptCopyNames; ++n) {
    const std::string kept = ConfigDocument::KeptCopyPath(path, n);
    if (FileExists(kept)) continue;
    if (MoveFileExA(path.c_str(), kept.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    // Anything but a name taken meanwhile (the file is held, the folder is read-only) fails
    // the same way under every name.
    if (!IsNameInUse(GetLastError())) return false;
  }
  return false;
}

// Copies the bytes of a file that this program did not read to the first free name of the
// kept series; throws when they cannot be kept.
void KeepUnreadFile(const std::string& path) {
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) {
    if (!FileExists(path)) return;  // nothing there to lose
    throw std::runtime_error("The configuration was not saved: " + path +
                             " is in use by another program and could not be kept.");
  }
  if (bytes->empty()) return;
  for (int n = 0; n < ConfigDocument::kKeptCopyNames; ++n) {
    const std::string kept = ConfigDocument::KeptCopyPath(path, n);
    if (FileExists(kept)) continue;
    if (WriteNewFile(kept, *bytes)) return;
    const DWORD error = GetLastError();
    if (!IsNameInUse(error))
      throw std::runtime_error("The configuration was not saved: a copy of " + path +
                               " could not be kept as " + kept + ": " + ErrorText(error));
  }
  throw std::runtime_error("The configuration was not saved: no free name to keep a copy of " +
                           path + ".");
}

}  // namespace

std::string ConfigDocument::KeptCopyPath(const std::string& path, int n) {
  return path + ".o" + std::to_string(n);
}

// Not the server's temporary name: two programs writing one temporary file could move each
// other's half-written text into place.
std::string ConfigDocument::SaveTemporaryPath(const std::string& path) {
  return path + ".front.tmp";
}

void ConfigDocument::Load(const std::string& path, const AskFunction& ask, DateTime now) {
  const bool reload = doc_.Active();
  doc_.Close();
  ownFile_.clear();

  std::vector<std::string> fileLines = SplitLines(ReadWholeFile(path).value_or(std::string()));
  const bool fromFile = !fileLines.empty();
  if (fromFile) {
    lines_ = std::move(fileLines);
  } else {
    try {
      if (!reload) {
        lines_.clear();  // whatever the answer, the default follows
        ask(kFirstLoadQuestion, kQuestionCaption);
      } else if (ask(kReloadQuestion, kQuestionCaption) == IDYES && MoveAside(path) &&
                 WriteTextForm(path)) {
        ownFile_ = path;
      }
    } catch (...) {
      // The question or the write failed: the load goes on with what it has.
    }
  }

  // Whatever its line count: the server reads a well-formed file of one line whole, and a
  // default shown in its place would reach the file with the next save, without the tags.
  if (!lines_.empty() && doc_.Parse(JoinLines(lines_))) {
    if (fromFile) ownFile_ = path;
    return;
  }
  doc_.Close();
  const std::string fallback = DefaultConfigXml(FolderOf(path) + "Default Target\\", now);
  lines_ = {fallback};
  if (!doc_.Parse(fallback)) return;
  // The text form is what a reload's "Yes" writes: in the serialiser's layout, as every save.
  try {
    lines_ = SplitLines(doc_.Serialise());
  } catch (const XmlError&) {
  }
}

XmlNode ConfigDocument::Root() const {
  if (!doc_.Active()) throw XmlError("The configuration is not loaded.");
  return doc_.DocumentElement();
}

bool ConfigDocument::WriteTextForm(const std::string& path) {
  return ReplaceFileAtomically(path, JoinLines(lines_), SystemClock(), SaveTemporaryPath(path));
}

namespace {

std::optional<std::string> Narrow(const std::optional<std::wstring>& wide) {
  if (!wide) return std::nullopt;
  return WideToSystemText(wide->data(), static_cast<int>(wide->size()));
}

// A date-time text that reads; none otherwise.
std::optional<DateTime> DateOf(const std::optional<std::string>& text) {
  DateTime value = 0;
  if (!text || !TryTextToDateTime(*text, value)) return std::nullopt;
  return value;
}

std::optional<std::string> TextOf(const XmlNode& element) {
  try {
    return element.Text();
  } catch (const XmlError&) {
    return std::nullopt;
  }
}

bool IsCount(const std::optional<std::string>& text) {
  try {
    return text && ParseInt32(*text) >= 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsLater(const std::optional<DateTime>& theirs, const std::optional<DateTime>& ours) {
  return theirs && (!ours || *theirs > *ours);
}

}  // namespace

// Both lists are read from text, not from the tree: walking thousands of items through the
// library costs more than the whole save. Only the items taken are looked up in the tree.
//
// The window counts a size only when it tags an item; from then on the server's is the one to
// keep, whatever the lastsync: a run renews a folder's size also when it copies nothing (files
// deleted at the source) and leaves its lastsync as it was.
TakenRunResults ConfigDocument::TakeRunResults(const std::string& path,
                                               const std::string& ownText) {
  TakenRunResults taken;
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return taken;
  const std::optional<ConfRunResults> file = ReadRunResults(*bytes);
  if (!file) return taken;
  const XmlNode root = doc_.DocumentElement();

  const std::optional<std::string> lastSyncDate = Narrow(file->lastSyncDate);
  if (IsLater(DateOf(lastSyncDate), DateOf(TextOf(root.ChildByName("lastsyncdate"))))) {
    root.ChildByNameOrAppend("lastsyncdate").SetText(*lastSyncDate);
    taken.lastSyncDate = true;
  }
  // Only the server sets the flag, when the user silences its warning; the document's copy is
  // whatever was loaded, and writing it back would bring the silenced warning back.
  const std::optional<std::string> silent = Narrow(file->silentFlag);
  if (silent && (*silent == "0" || *silent == "1") &&
      TextOf(root.ChildByName("silentflag")) != silent) {
    root.ChildByNameOrAppend("silentflag").SetText(*silent);
    taken.silentFlag = true;
  }

  const std::optional<ConfRunResults> own = ReadRunResults(ownText);
  if (!own || !own->onlyElements) return taken;
  const std::vector<int> partners = PairItems(own->items, file->items);
  std::vector<XmlNode> items;  // walked once, on the first item taken
  for (size_t i = 0; i < partners.size(); ++i) {
    if (partners[i] < 0) continue;
    const ItemRunResult& ours = own->items[i];
    const ItemRunResult& theirs = file->items[static_cast<size_t>(partners[i])];
    const bool sameSize = theirs.size == ours.size;
    if (sameSize && theirs.lastSync == ours.lastSync) continue;  // most items, at most saves
    const std::optional<std::string> lastSync = Narrow(theirs.lastSync), size = Narrow(theirs.size);
    if (!IsCount(size)) continue;
    const bool later = IsLater(DateOf(lastSync), DateOf(Narrow(ours.lastSync)));
    if (!later && sameSize) continue;
    if (items.empty()) items = root.ChildByName("tagslist").Children();
    if (i >= items.size()) break;
    const XmlNode& item = items[i];
    // The text and the tree come from one document; this only guards against a reading that
    // differs from the library's.
    if (TextOf(item.ChildByName("caption")) != Narrow(ours.caption) ||
        TextOf(item.ChildByName("path")) != Narrow(ours.path))
      continue;
    if (later) item.ChildByNameOrAppend("lastsync").SetText(*lastSync);
    item.ChildByNameOrAppend("size").SetText(*size);
    taken.items.push_back(static_cast<int>(i));
  }
  return taken;
}

void ConfigDocument::Save(const std::string& path, TakenRunResults* taken) {
  if (!doc_.Active()) throw std::runtime_error("The configuration is not loaded; nothing was saved.");
  std::string text = doc_.Serialise();
  // The read of the file as it stands, the merge and the swap are one step against the
  // server's look and swap: otherwise its post-run save could land between them and this
  // text would put the run's results back. A holder that does not let go within the wait (a
  // hung server) only delays the save.
  FileWriteLock lock(path);
  lock.Acquire(FileWriteLock::kWaitMs, lockBusy_);
  const TakenRunResults got = TakeRunResults(path, text);
  if (taken) *taken = got;
  if (saveHold_) saveHold_();
  if (got.lastSyncDate || got.silentFlag || !got.items.empty()) text = doc_.Serialise();
  if (path != ownFile_) KeepUnreadFile(path);
  if (!ReplaceFileAtomically(path, text, SystemClock(), SaveTemporaryPath(path)))
    throw std::runtime_error("The configuration could not be written to " + path + ".");
  lock.Release();
  lines_ = SplitLines(text);
  ownFile_ = path;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

}  // namespace qm
