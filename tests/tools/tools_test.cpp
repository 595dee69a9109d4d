#include "tools/tools.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

namespace qm {
namespace {

TEST(XmlElementLine, WrapsTheValueInBlanksAndEscapesAmpersandAndLessThan) {
  EXPECT_EQ(XmlElementLine("size", "12"), " <size>12</size> ");
  EXPECT_EQ(XmlElementLine("caption", "A&B"), " <caption>A&amp;B</caption> ");
  EXPECT_EQ(XmlElementLine("path", "C:\\a<b&&c\\"), " <path>C:\\a&lt;b&amp;&amp;c\\</path> ");
  // An entity already in the value is text: its ampersand is escaped again.
  EXPECT_EQ(XmlElementLine("caption", "&amp;"), " <caption>&amp;amp;</caption> ");
  // Everything else stays as it is, single-byte text included.
  EXPECT_EQ(XmlElementLine("caption", "a>b \"c\" 'd' \xe9\x96"),
            " <caption>a>b \"c\" 'd' \xe9\x96</caption> ");
  EXPECT_EQ(XmlElementLine("targetdrive", ""), " <targetdrive></targetdrive> ");
}

TEST(BytesToKB, RoundsHalvesToEvenAndNeverGivesZero) {
  struct Case {
    int32_t bytes, kb;
  };
  const Case cases[] = {
      {0, 1},          {1, 1},       {511, 1},       {512, 1},          {513, 1},
      {1023, 1},       {1024, 1},    {1535, 1},      {1536, 2},         {2047, 2},
      {2560, 2},       {2561, 3},    {3584, 4},      {4608, 4},         {1048576, 1024},
      {1048575, 1024}, {1049088, 1024}, {1050112, 1026}, {INT32_MAX, 2097152},
  };
  for (const Case& c : cases) EXPECT_EQ(BytesToKB(c.bytes), c.kb) << c.bytes;
}

TEST(BytesToKB, NegativeCountsGiveZeroOrLessWithOneInPlaceOfZero) {
  struct Case {
    int32_t bytes, kb;
  };
  const Case cases[] = {
      {-1, 1},     {-512, 1},   {-513, -1},  {-1024, -1},         {-1536, -2},
      {-2560, -2}, {-3584, -4}, {-1048576, -1024}, {INT32_MIN, -2097152},
  };
  for (const Case& c : cases) EXPECT_EQ(BytesToKB(c.bytes), c.kb) << c.bytes;
}

TEST(BytesToKB64, CountsFilesOfTwoGigabytesAndMore) {
  const uint64_t gib = 1024ull * 1024 * 1024;
  EXPECT_EQ(BytesToKB64(2 * gib), 2097152);
  EXPECT_EQ(BytesToKB64(2 * gib + 512), 2097152);         // 2097152.5 goes to the even one
  EXPECT_EQ(BytesToKB64(2 * gib + 1024 + 512), 2097154);  // 2097153.5 goes up
  EXPECT_EQ(BytesToKB64(5 * gib + 1), 5242880);
  EXPECT_EQ(BytesToKB64(2047 * gib), 2146435072);
  EXPECT_EQ(BytesToKB64(2048 * gib), INT32_MAX);  // 2^31 KB does not fit
  EXPECT_EQ(BytesToKB64(UINT64_MAX), INT32_MAX);
}

TEST(BytesToKB64, AgreesWithTheThirtyTwoBitCountBelowTwoGigabytes) {
  for (int64_t n = 0; n <= 1 << 20; n += 37) EXPECT_EQ(BytesToKB64(n), BytesToKB(int32_t(n))) << n;
  for (int64_t n = INT32_MAX - 5000; n <= INT32_MAX; ++n)
    ASSERT_EQ(BytesToKB64(n), BytesToKB(int32_t(n))) << n;
}

class ForceDirChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = test::MakeScratchFolder("forcedir");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { test::RemoveTree(root_); }

  bool IsFolder(const std::string& relative) const {
    const DWORD a = GetFileAttributesA((root_ + relative).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool Exists(const std::string& relative) const {
    return GetFileAttributesA((root_ + relative).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::string root_;  // ends in "\"
};

TEST_F(ForceDirChainTest, CreatesTheWholeChainOnceWithoutTrailingBackslash) {
  const std::string full = root_ + "T\\C\\Docs";
  // CreateDirectory makes one level at a time, so a chain can only come out whole when its
  // folders are made from the top down.
  EXPECT_TRUE(ForceDirChain(root_, full));
  EXPECT_TRUE(IsFolder("T"));
  EXPECT_TRUE(IsFolder("T\\C"));
  EXPECT_TRUE(IsFolder("T\\C\\Docs"));
  EXPECT_FALSE(ForceDirChain(root_, full)) << "the last folder exists already";
  EXPECT_TRUE(IsFolder("T\\C\\Docs"));
}

TEST_F(ForceDirChainTest, TrailingBackslashAcceptsAnExistingChain) {
  const std::string full = root_ + "T\\C\\Docs\\";
  EXPECT_TRUE(ForceDirChain(root_, full));
  EXPECT_TRUE(IsFolder("T\\C\\Docs"));
  EXPECT_TRUE(ForceDirChain(root_, full));
  EXPECT_TRUE(ForceDirChain(root_, root_)) << "nothing below the root";
}

TEST_F(ForceDirChainTest, OnlyTheMissingLevelsAreMade) {
  ASSERT_TRUE(CreateDirectoryA((root_ + "T").c_str(), nullptr));
  ASSERT_TRUE(test::WriteFileBytes(root_ + "T\\keep.txt", "x"));
  EXPECT_TRUE(ForceDirChain(root_ + "T\\", root_ + "T\\C\\Docs"));
  EXPECT_TRUE(IsFolder("T\\C\\Docs"));
  EXPECT_EQ(test::ReadFileOrEmpty(root_ + "T\\keep.txt"), "x");
}

TEST_F(ForceDirChainTest, AFileOnTheWayIsAcceptedAndLeftAlone) {
  ASSERT_TRUE(test::WriteFileBytes(root_ + "T", "data"));
  // The file stands where a folder should: it is kept, and the level below it cannot be made.
  EXPECT_FALSE(ForceDirChain(root_, root_ + "T\\C\\Docs"));
  EXPECT_EQ(test::ReadFileOrEmpty(root_ + "T"), "data");
  EXPECT_FALSE(IsFolder("T"));
  // As the last level without a backslash it is a folder that could not be created.
  EXPECT_FALSE(ForceDirChain(root_, root_ + "T"));
  EXPECT_EQ(test::ReadFileOrEmpty(root_ + "T"), "data");
}

TEST_F(ForceDirChainTest, AFailedLevelStopsTheChainAndKeepsWhatWasMade) {
  // "*" cannot stand in a name, so the third level fails.
  EXPECT_FALSE(ForceDirChain(root_, root_ + "T\\C\\b*d\\Docs"));
  EXPECT_TRUE(IsFolder("T\\C"));
  EXPECT_FALSE(Exists("T\\C\\b*d"));
}

TEST_F(ForceDirChainTest, ARootThatDoesNotLeadTheFullPathCreatesNothing) {
  const std::string other = test::MakeScratchFolder("forcedir-other");
  ASSERT_FALSE(other.empty());
  EXPECT_FALSE(ForceDirChain(root_ + "X\\", other + "T\\C"));
  EXPECT_FALSE(Exists("X"));
  EXPECT_EQ(GetFileAttributesA((other + "T").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ForceDirChain(root_ + "longer\\than\\full\\", root_ + "T"));
  EXPECT_FALSE(Exists("T"));
  test::RemoveTree(other);
  // Letter case does not make a different path.
  std::string upper = root_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(ForceDirChain(upper, root_ + "T\\C"));
  EXPECT_TRUE(IsFolder("T\\C"));
}

}  // namespace
}  // namespace qm
