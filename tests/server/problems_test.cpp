#include "server/problems.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

struct Recorder {
  ServerCore core;
  std::vector<std::pair<std::string, int>> dialogs;
  std::vector<std::string> lines;
  EngineContext ctx{core,
                    SystemClock(),
                    SystemVolumeProbe(),
                    [this](const std::string& t, int k) { dialogs.emplace_back(t, k); },
                    [this](const std::string& t) { lines.push_back(t); },
                    nullptr,
                    nullptr,
                    nullptr};
};

TEST(ReportProblem, SilentFlagSilencesAllButTheFullTarget) {
  Recorder r;
  r.core.FSilent = true;
  ReportProblem(r.ctx, "", pkNoTarget);
  ReportProblem(r.ctx, "msg|cap", pkGeneral);
  EXPECT_TRUE(r.dialogs.empty());
  ReportProblem(r.ctx, "ignored", pkDiskFull);
  ASSERT_EQ(r.dialogs.size(), 1u);
  EXPECT_EQ(r.dialogs[0].second, dkWarn);
  EXPECT_EQ(r.dialogs[0].first, kDiskFullText);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"QuillmereServer# The Target Volume is not available!",
                                               "QuillmereServer# msg",
                                               "QuillmereServer# The Target Volume is full!"}));
}

TEST(ReportProblem, GeneralTextIsQueuedWholeAndLoggedUpToItsFirstBar) {
  Recorder r;
  ReportProblem(r.ctx, "no bar here", pkGeneral);
  ReportProblem(r.ctx, "a|b|c", 7);  // unknown kinds count as general
  ReportProblem(r.ctx, "", pkNoTarget);
  ASSERT_EQ(r.dialogs.size(), 3u);
  EXPECT_EQ(r.dialogs[0], (std::pair<std::string, int>{"no bar here", dkMessage}));
  EXPECT_EQ(r.dialogs[1], (std::pair<std::string, int>{"a|b|c", dkMessage}));
  EXPECT_EQ(r.dialogs[2].second, dkWarnSilence);
  EXPECT_EQ(r.lines[0], "QuillmereServer# ");
  EXPECT_EQ(r.lines[1], "QuillmereServer# a");
  EXPECT_EQ(r.lines.size(), 3u);
}

}  // namespace
}  // namespace qm
