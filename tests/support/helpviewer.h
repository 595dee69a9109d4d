// The system's help viewer (winhlp32) seen from a test: its windows, the topic it shows, the
// questions it asks, and ending it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qm::test {

constexpr const char* kHelpFileName = "QUILLMERE.HLP";
// The titles of the help file's topics: the contents and the contexts 2, 3 and 4.
constexpr const char* kContentsTitle = "Quillmere Help";
constexpr const char* kMainWindowTitle = "The Quillmere window";
constexpr const char* kStatusTitle = "Status, target volume and scan interval";
constexpr const char* kTagsTitle = "Tagging files and folders, and the target volume";
// The viewer starts slowly under Wine the first time.
constexpr unsigned kHelpOpenMs = 30000;

struct ViewerWindows {
  std::vector<HWND> mains;      // the viewer's own windows
  std::vector<HWND> questions;  // message boxes and dialogs of the viewer process
};

// The visible windows of the viewer's processes.
ViewerWindows FindViewerWindows();
// The first line of the topic pane, the topic's title; empty when there is none.
std::string ShownTitle(HWND viewer);
// A question's caption and the texts of its items, for a failure message.
std::string QuestionText(HWND dialog);
// Ends every viewer process: the tests started them, directly or through the program.
void EndViewers();

// Polls until a viewer window shows title or the viewer asks a question, running meanwhile
// (if given) between polls; returns the viewer's windows as last seen.
ViewerWindows WaitForViewer(const std::string& title, const std::function<void()>& meanwhile = {});
// Fails the running test unless a viewer window shows title and the viewer asks nothing.
void ExpectTopicShown(const ViewerWindows& seen, const std::string& title);

}  // namespace qm::test
