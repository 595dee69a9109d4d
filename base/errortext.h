#pragma once

#include <windows.h>

#include <string>

namespace qm {

// "text (code N)" for a Win32 error code, FormatMessage's text beside the number.
std::string ErrorText(DWORD code);

}  // namespace qm
