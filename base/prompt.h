// Every message box of the programs goes through ShowMessageBox, so that a unit test can answer
// and record it instead of a user.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qm {

using MessageBoxHandler =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;

// MessageBoxA unless a handler is installed; returns the button id.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);

// Installs a replacement (an empty function restores MessageBoxA); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace qm
