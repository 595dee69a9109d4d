// A stand-in for a running copy of either program, started under the image names that the
// single-instance step looks for.
//   instance_helper wait SECONDS            stays alive, then ends with kEndedByItself
//   instance_helper close MODE ANSWER FILE  runs the single-instance step, answering its
//                                           question with ANSWER (yes, no, or none: a box
//                                           that could not be shown) and writing it to FILE
//                                           (text, caption and box type on three lines);
//                                           ends with kStepReturned when the step returns
#include "base/handles.h"
#include "base/prompt.h"
#include "tools/tools.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int kEndedByItself = 42;
constexpr int kStepReturned = 3;
constexpr int kBadArguments = 2;

void AppendQuestion(const std::string& file, const std::string& text, const std::string& caption,
                    UINT type) {
  const std::string record = text + "\n" + caption + "\n" + std::to_string(type) + "\n";
  qm::UniqueFile f(CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, 0, nullptr));
  if (!f) return;
  DWORD written = 0;
  WriteFile(f.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "wait" && argc == 3) {
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return kEndedByItself;
  }
  if (command == "close" && argc == 5) {
    const int mode = std::atoi(argv[2]);
    const std::string word = argv[3];
    const int answer = word == "yes" ? IDYES : word == "no" ? IDNO : 0;
    const std::string file = argv[4];
    qm::SetMessageBoxHandler(
        [answer, file](HWND, const std::string& text, const std::string& caption, UINT type) {
          AppendQuestion(file, text, caption, type);
          return answer;
        });
    qm::CloseRunningCopies(mode);
    return kStepReturned;
  }
  return kBadArguments;
}
