#include "frontend/runresults.h"

#include "base/xmldoc.h"
#include "tools/confvalues.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <unordered_map>

namespace qm {
namespace {

struct NotReadable {};

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// The code page the declaration names; none for one this program does not write.
std::optional<UINT> DeclaredCodePage(const std::string& bytes, size_t& start) {
  start = 0;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  if (bytes.compare(start, 5, "<?xml") != 0) return CP_UTF8;
  const size_t end = bytes.find("?>", start);
  if (end == std::string::npos) return std::nullopt;
  const std::string declaration = bytes.substr(start, end - start);
  const size_t at = declaration.find("encoding");
  if (at == std::string::npos) return CP_UTF8;
  const size_t quote = declaration.find_first_of("\"'", at);
  if (quote == std::string::npos) return std::nullopt;
  const size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == std::string::npos) return std::nullopt;
  const std::string name = Lower(declaration.substr(quote + 1, close - quote - 1));
  if (name == "utf-8") return CP_UTF8;
  if (name == "iso-8859-1") return 28591;
  if (name.size() == 12 && name.compare(0, 11, "windows-125") == 0 && name[11] >= '0' &&
      name[11] <= '8')
    return 1250 + (name[11] - '0');
  return std::nullopt;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool AllBlank(const std::wstring& text, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (!IsBlank(text[i])) return false;
  return true;
}

// Character data with its references resolved.
std::wstring Resolve(const std::wstring& text, size_t from, size_t to) {
  if (std::find(text.begin() + from, text.begin() + to, L'&') == text.begin() + to)
    return text.substr(from, to - from);
  std::wstring out;
  out.reserve(to - from);
  for (size_t i = from; i < to; ++i) {
    if (text[i] != L'&') {
      out += text[i];
      continue;
    }
    const size_t end = std::find(text.begin() + i, text.begin() + to, L';') - text.begin();
    if (end >= to) throw NotReadable{};
    const std::wstring name = text.substr(i + 1, end - i - 1);
    if (name == L"lt") out += L'<';
    else if (name == L"gt") out += L'>';
    else if (name == L"amp") out += L'&';
    else if (name == L"quot") out += L'"';
    else if (name == L"apos") out += L'\'';
    else if (name.size() > 1 && name[0] == L'#') {
      const bool hex = name[1] == L'x';
      const std::wstring digits = name.substr(hex ? 2 : 1);
      if (digits.empty() || digits.size() > 8) throw NotReadable{};
      unsigned long code = 0;
      for (wchar_t d : digits) {
        int v = -1;
        if (d >= L'0' && d <= L'9') v = d - L'0';
        else if (hex && d >= L'a' && d <= L'f') v = d - L'a' + 10;
        else if (hex && d >= L'A' && d <= L'F') v = d - L'A' + 10;
        if (v < 0) throw NotReadable{};
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(v);
      }
      if (code == 0 || code > 0x10FFFF) throw NotReadable{};
      if (code >= 0x10000) {
        code -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (code >> 10));
        out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
      } else {
        out += static_cast<wchar_t>(code);
      }
    } else {
      throw NotReadable{};
    }
    i = end;
  }
  return out;
}

std::string SystemText(const std::wstring& wide) {
  return WideToSystemText(wide.data(), static_cast<int>(wide.size()));
}

// One open element, by where its name stands in the text, and what its content is as the XML
// library would see it: whitespace-only text between elements dropped; one text or CDATA child
// is a value, anything more is none.
struct Open {
  size_t nameFrom = 0, nameLength = 0;
  int pieces = 0;
  bool other = false;
  size_t textFrom = 0, textTo = 0;
  bool cdata = false;
  bool tagslist = false;  // the root's first tagslist
  bool item = false;      // a child of it
};

class Reader {
 public:
  explicit Reader(const std::wstring& text) : w_(text) {}

  ConfRunResults Read() {
    size_t i = 0;
    bool rootSeen = false;
    while (i < w_.size()) {
      if (w_[i] != L'<') {
        const size_t next = std::min(w_.find(L'<', i), w_.size());
        if (!AllBlank(w_, i, next)) Piece(i, next, false);
        i = next;
        continue;
      }
      if (w_.compare(i, 4, L"<!--") == 0) {
        i = Past(i + 4, L"-->");
        Other();
      } else if (w_.compare(i, 9, L"<![CDATA[") == 0) {
        const size_t end = w_.find(L"]]>", i + 9);
        if (end == std::wstring::npos) throw NotReadable{};
        Piece(i + 9, end, true);
        i = end + 3;
      } else if (w_.compare(i, 2, L"<?") == 0) {
        i = Past(i + 2, L"?>");
        Other();
      } else if (w_.compare(i, 2, L"<!") == 0) {
        throw NotReadable{};  // a document type
      } else if (w_.compare(i, 2, L"</") == 0) {
        const size_t end = w_.find(L'>', i);
        if (end == std::wstring::npos || open_.empty()) throw NotReadable{};
        size_t nameEnd = end;
        while (nameEnd > i + 2 && IsBlank(w_[nameEnd - 1])) --nameEnd;
        const Open& top = open_.back();
        if (nameEnd - i - 2 != top.nameLength ||
            w_.compare(i + 2, top.nameLength, w_, top.nameFrom, top.nameLength) != 0)
          throw NotReadable{};
        Close();
        i = end + 1;
      } else {
        if (open_.empty() && rootSeen) throw NotReadable{};
        rootSeen = true;
        i = Element(i + 1);
      }
    }
    if (!rootSeen || !open_.empty()) throw NotReadable{};
    return std::move(results_);
  }

 private:
  size_t Past(size_t from, const wchar_t* end) {
    const size_t at = w_.find(end, from);
    if (at == std::wstring::npos) throw NotReadable{};
    return at + std::char_traits<wchar_t>::length(end);
  }

  bool NameIs(const Open& element, const wchar_t* name) const {
    return w_.compare(element.nameFrom, element.nameLength, name) == 0;
  }

  void Piece(size_t from, size_t to, bool cdata) {
    if (open_.empty()) throw NotReadable{};
    Open& parent = open_.back();
    if (parent.tagslist) results_.onlyElements = false;
    ++parent.pieces;
    parent.textFrom = from;
    parent.textTo = to;
    parent.cdata = cdata;
  }

  void Other() {
    if (open_.empty()) return;
    if (open_.back().tagslist) results_.onlyElements = false;
    open_.back().other = true;
  }

  // As the library's value of an element: exactly one child, a text or CDATA.
  std::optional<std::wstring> ValueOf(const Open& element) const {
    if (element.pieces != 1 || element.other) return std::nullopt;
    if (element.cdata) return w_.substr(element.textFrom, element.textTo - element.textFrom);
    return Resolve(w_, element.textFrom, element.textTo);
  }

  // From just after "<": the name, the attributes, then ">" or "/>".
  size_t Element(size_t i) {
    size_t nameEnd = i;
    while (nameEnd < w_.size() && !IsBlank(w_[nameEnd]) && w_[nameEnd] != L'>' &&
           w_[nameEnd] != L'/')
      ++nameEnd;
    if (nameEnd == i) throw NotReadable{};
    size_t end = nameEnd;
    wchar_t quote = 0;
    for (; end < w_.size(); ++end) {
      const wchar_t c = w_[end];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == L'"' || c == L'\'') {
        quote = c;
      } else if (c == L'<') {
        throw NotReadable{};
      } else if (c == L'>') {
        break;
      }
    }
    if (end >= w_.size()) throw NotReadable{};
    Open element;
    element.nameFrom = i;
    element.nameLength = nameEnd - i;
    if (!open_.empty()) {
      Open& parent = open_.back();
      parent.other = true;
      if (parent.tagslist) {
        element.item = true;
        results_.items.emplace_back();
        seen_ = 0;
      } else if (open_.size() == 1 && !tagslistSeen_ && NameIs(element, L"tagslist")) {
        element.tagslist = tagslistSeen_ = true;
      }
    }
    open_.push_back(element);
    if (w_[end - 1] == L'/') Close();
    return end + 1;
  }

  void Close() {
    const Open element = open_.back();
    open_.pop_back();
    if (open_.size() == 1 && !lastSyncDateSeen_ && NameIs(element, L"lastsyncdate")) {
      lastSyncDateSeen_ = true;
      results_.lastSyncDate = ValueOf(element);
    } else if (open_.size() == 1 && !silentFlagSeen_ && NameIs(element, L"silentflag")) {
      silentFlagSeen_ = true;
      results_.silentFlag = ValueOf(element);
    } else if (open_.size() == 3 && open_.back().item) {
      Field(element);
    } else if (element.item) {
      ItemRunResult& item = results_.items.back();
      item.named = (seen_ & kNamed) == kNamed && named_[0] && named_[1] && folder_;
      if (item.named) {
        item.caption = std::move(*named_[0]);
        item.path = std::move(*named_[1]);
        item.folder = *folder_;
      }
      named_[0].reset();
      named_[1].reset();
      folder_.reset();
    }
  }

  // The first element of each name counts, as a look-up by name finds it.
  void Field(const Open& element) {
    static const wchar_t* const kNames[] = {L"caption", L"path", L"ftype", L"lastsync", L"size"};
    for (unsigned n = 0; n < 5; ++n) {
      if ((seen_ & (1u << n)) || !NameIs(element, kNames[n])) continue;
      seen_ |= 1u << n;
      ItemRunResult& item = results_.items.back();
      std::optional<std::wstring> value = ValueOf(element);
      if (n < 2) {
        named_[n] = std::move(value);
      } else if (n == 2) {
        folder_.reset();
        if (value) {
          try {
            folder_ = ParseInt32(SystemText(*value)) >= 2;
          } catch (const std::exception&) {
          }
        }
      } else if (n == 3) {
        item.lastSync = std::move(value);
      } else {
        item.size = std::move(value);
      }
      return;
    }
  }

  static constexpr unsigned kNamed = 7;  // caption, path, ftype
  const std::wstring& w_;
  std::vector<Open> open_;
  ConfRunResults results_;
  bool tagslistSeen_ = false, lastSyncDateSeen_ = false, silentFlagSeen_ = false;
  unsigned seen_ = 0;
  std::optional<std::wstring> named_[2];
  std::optional<bool> folder_;
};

}  // namespace

std::optional<ConfRunResults> ReadRunResults(const std::string& bytes) {
  size_t start = 0;
  const std::optional<UINT> codePage = DeclaredCodePage(bytes, start);
  if (!codePage || bytes.size() <= start || bytes.size() - start > 0x7FFFFFFF) return std::nullopt;
  const char* data = bytes.data() + start;
  const int length = static_cast<int>(bytes.size() - start);
  const int n = MultiByteToWideChar(*codePage, 0, data, length, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(*codePage, 0, data, length, wide.data(), n);
  try {
    return Reader(wide).Read();
  } catch (const NotReadable&) {
    return std::nullopt;
  }
}

std::vector<int> PairItems(const std::vector<ItemRunResult>& ours,
                           const std::vector<ItemRunResult>& theirs) {
  const auto key = [](const ItemRunResult& item) {
    return item.path + L'\0' + item.caption + L'\0' + (item.folder ? L'd' : L'f');
  };
  std::unordered_map<std::wstring, std::deque<int>> waiting;
  for (size_t j = 0; j < theirs.size(); ++j)
    if (theirs[j].named) waiting[key(theirs[j])].push_back(static_cast<int>(j));
  std::vector<int> partners(ours.size(), -1);
  for (size_t i = 0; i < ours.size(); ++i) {
    if (!ours[i].named) continue;
    const auto found = waiting.find(key(ours[i]));
    if (found == waiting.end() || found->second.empty()) continue;
    partners[i] = found->second.front();
    found->second.pop_front();
  }
  return partners;
}

}  // namespace qm
