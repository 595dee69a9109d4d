// Text of a Windows code page from UTF-16, never by best fit. The programs keep names and
// texts in the system code page (GetACP), the text of the A functions; a character that code
// page cannot hold must never become a look-alike, which would name another file (and is a
// known way to smuggle "\" or ".." past a check): it becomes "?", and the caller learns that
// the text is not the name it stands for.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qm {

// Converts text to codePage's bytes in out (what out held is replaced). True when every
// character converted to itself. False when one could not (no such character in the code
// page, or an unpaired surrogate, which NTFS allows in a name and no code page can hold): out
// then holds the text as it can be shown, "?" for each such character, and is never empty for
// a text that is not. Sized by the code page's worst case, so that a name costs one call.
bool WideToCodePage(std::wstring_view text, UINT codePage, std::string& out);

// Text of the code page in force (GetACP) and UTF-16, both ways. WideToSystemText gives "?" for
// a character the code page cannot hold: for texts kept and shown as they come (conf.xml's
// values, shell names); where a name must name its own entry, WideToCodePage tells whether it
// does.
std::string WideToSystemText(const wchar_t* text, int length);
std::wstring SystemTextToWide(const std::string& text);

}  // namespace qm
