#include "server/servercore.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::MakeTag;

struct Merge : ::testing::Test {
  // The list as the run began: a file, a folder and the same file tagged twice.
  std::vector<TTagItem> before = {MakeTag("C:\\D\\", "a.txt", 0, 1, 100),
                                  MakeTag("C:\\", "D", 2, 10, 100),
                                  MakeTag("C:\\D\\", "a.txt", 0, 1, 100)};
  std::vector<TTagItem> after = before;
  ServerCore core;
};

TEST_F(Merge, WithoutAReloadTheRunsValuesLandWhereTheyBelong) {
  core.SetTags(before);
  after[0].Size = 4;
  after[0].LastSync = 200;
  after[1].LastSync = 150;
  after[2].Size = 6;
  core.MergeRunResults(before, after);
  const std::vector<TTagItem> tags = core.Tags();
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[0].Size, 4u);
  EXPECT_DOUBLE_EQ(tags[0].LastSync, 200);
  EXPECT_EQ(tags[1].Size, 10u);
  EXPECT_DOUBLE_EQ(tags[1].LastSync, 150);
  EXPECT_EQ(tags[2].Size, 6u);  // the second of two equal tags takes the second's values
  EXPECT_DOUBLE_EQ(tags[2].LastSync, 100);
}

TEST_F(Merge, AReloadedListKeepsItsNewTagsAndItsOwnUnchangedValues) {
  // The reload dropped the folder, gave the file another size from conf.xml and added a tag.
  core.SetTags({MakeTag("E:\\", "new.txt", 0, 3, 50),
                MakeTag("C:\\D\\", "a.txt", 1, 8, 300)});
  after[0].LastSync = 200;  // copied earlier than the reloaded time: must not move it back
  after[1].Size = 99;
  core.MergeRunResults(before, after);
  const std::vector<TTagItem> tags = core.Tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].Size, 3u);
  EXPECT_DOUBLE_EQ(tags[0].LastSync, 50);
  EXPECT_EQ(tags[1].Size, 8u);  // the run did not change it, so the reload's value stands
  EXPECT_DOUBLE_EQ(tags[1].LastSync, 300);
  after[0].Size = 5;
  after[0].LastSync = 400;
  core.MergeRunResults(before, after);
  EXPECT_EQ(core.Tags()[1].Size, 5u);  // a hidden file is still the same file
  EXPECT_DOUBLE_EQ(core.Tags()[1].LastSync, 400);
}

TEST_F(Merge, ATagRemadeWithTheOtherKindTakesNothing) {
  core.SetTags({MakeTag("C:\\D\\", "a.txt", 2, 0, 100)});  // now a folder of that name
  after[0].Size = 4;
  after[0].LastSync = 200;
  core.MergeRunResults(before, after);
  EXPECT_EQ(core.Tags()[0].Size, 0u);
  EXPECT_DOUBLE_EQ(core.Tags()[0].LastSync, 100);
}

TEST_F(Merge, ARunListOfAnotherLengthChangesNothing) {
  core.SetTags(before);
  after[0].Size = 4;
  after.pop_back();
  core.MergeRunResults(before, after);
  EXPECT_EQ(core.Tags()[0].Size, 1u);
}

}  // namespace
}  // namespace qm
