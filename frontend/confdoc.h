// The configuration program's conf.xml: one document in memory, read with its two recovery
// questions and written back whole.
//
// A file that a load did not read (missing, held by another program, unreadable, empty, not
// well-formed) may hold the user's whole tag list, while the window
// shows a default or older configuration. Such a file is never replaced unread: its bytes are
// kept first in the first free name of path + ".o0" ... ".o99", and a save that cannot keep
// them writes nothing.
//
// Threads: the window's thread only (the document holds COM for it).
#pragma once

#include "base/datetime.h"
#include "base/xmldoc.h"

#include <functional>
#include <string>
#include <vector>

namespace qm {

// What a save took from the file as it stood: the server's later run results.
struct TakenRunResults {
  bool lastSyncDate = false;
  bool silentFlag = false;
  std::vector<int> items;  // children of tagslist whose size (and later lastsync) were taken
};

class ConfigDocument {
 public:
  // Asks the user a question with Yes and No; returns the button (IDYES, IDNO).
  using AskFunction = std::function<int(const std::string& text, const std::string& caption)>;

  static constexpr int kKeptCopyNames = 100;  // ".o0" .. ".o99"
  static const char* const kQuestionCaption;
  static const char* const kFirstLoadQuestion;
  static const char* const kReloadQuestion;

  // Reads path into the document. A file without lines asks first: at the first load whether
  // to go on with the default; at a reload (the document was active) whether to write the
  // configuration last loaded or saved, moving the file aside first. A text that is not
  // well-formed (of any line count) gives way to the default configuration with
  // the target folder of path + "Default Target\" and now as the last sync. Never throws for
  // anything the file holds; the document is active afterwards.
  void Load(const std::string& path, const AskFunction& ask, DateTime now);

  bool Active() const { return doc_.Active(); }
  XmlNode Root() const;  // XmlError while inactive
  // Drops the tree without writing anything.
  void Deactivate() { doc_.Close(); }

  // Writes the whole document to path in one step (through a temporary file of this
  // program's own). std::runtime_error when nothing could be written; the file is then as it
  // was.
  //
  // The server writes its run results into the file after each run, while the document keeps
  // what was loaded: a save first takes from the file as it stands the later lastsyncdate and,
  // for each item paired with one there as the server pairs tags, the file's size and the later
  // lastsync, so that a save never moves them back. The silent flag, which only the server
  // changes (the user silenced its warning), is taken as the file holds it. A file that cannot
  // be read or parsed gives nothing. What was taken is put in *taken, also when the write then
  // fails. The read, the merge and the swap are one step against the server's saves: both
  // programs take the file's FileWriteLock around them.
  void Save(const std::string& path, TakenRunResults* taken = nullptr);

  // Tests: hold runs inside the FileWriteLock, between the read of the file as it stands and
  // the swap; lockBusy when a save finds the server holding the lock, before it waits.
  void SetSaveHold(std::function<void()> hold) { saveHold_ = std::move(hold); }
  void SetLockBusyHook(std::function<void()> hook) { lockBusy_ = std::move(hook); }

  // The text form: the lines last loaded, written or saved.
  const std::vector<std::string>& Lines() const { return lines_; }

  // The n-th name of the series that keeps files this program did not read.
  static std::string KeptCopyPath(const std::string& path, int n);
  // Where this program's saves put their text before it replaces the file.
  static std::string SaveTemporaryPath(const std::string& path);

 private:
  bool WriteTextForm(const std::string& path);
  TakenRunResults TakeRunResults(const std::string& path, const std::string& ownText);

  XmlDocument doc_;
  std::vector<std::string> lines_;
  // The file that the last load read, or that the last save or reload wrote; a save over any
  // other file keeps that file's bytes first.
  std::string ownFile_;
  std::function<void()> saveHold_;
  std::function<void()> lockBusy_;
};

// Splits at CR LF, CR or LF; a break at the very end starts no further line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace qm
