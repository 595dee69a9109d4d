// The server's run results as a conf.xml text holds them (lastsyncdate, and each item's
// lastsync and size beside what names it), and the server's silent flag, read without the XML library: a save reads the file
// as it stands, and the library takes many times longer than the save itself for a list of
// thousands of tags.
//
// The reader knows elements, attributes, text with XML 1.0's predefined and numeric references,
// CDATA sections, comments and processing instructions, in the encodings this program writes
// (Windows-125x, UTF-8, ISO-8859-1). Anything else (a document type, another encoding, a text
// that is not well-formed) gives no results: a caller then keeps what it has.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

// Texts as the file holds them after decoding (UTF-16), references resolved; turned into the
// system code page only where they are used.
struct ItemRunResult {
  bool named = false;  // caption, path and ftype all read
  std::wstring caption, path;
  bool folder = false;  // ftype 2 or 3
  std::optional<std::wstring> lastSync, size;  // the element's one text, when it has one
};

struct ConfRunResults {
  std::optional<std::wstring> lastSyncDate;
  std::optional<std::wstring> silentFlag;
  std::vector<ItemRunResult> items;  // the element children of tagslist, in order
  bool onlyElements = true;  // tagslist holds nothing else, so items[i] is its child i
};

std::optional<ConfRunResults> ReadRunResults(const std::string& bytes);

// Items pair as the server pairs its tags with a run's: by path, caption and whether a folder,
// the n-th equal one of a list with the n-th of the other. For each of ours, the index of its
// partner in theirs, or -1.
std::vector<int> PairItems(const std::vector<ItemRunResult>& ours,
                           const std::vector<ItemRunResult>& theirs);

}  // namespace qm
