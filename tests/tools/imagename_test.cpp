#include "tools/tools.h"

#include <gtest/gtest.h>

#include <vector>

namespace qm {
namespace {

TEST(ImageMatchesMode, ServerImagesInAnyCaseAndFolder) {
  for (const char* image : {"QUILLMERESERV.EXE", "quillmereserv.exe", "QuillmereServ.exe",
                            "C:\\Program Files\\Harvo\\quillmereserv.exe", "D:\\x\\y\\QuIlLmErEsErV.ExE",
                            "QUILLMERESERV", "QUILLMERESERV.OLD.EXE", "quillmereserv.", "a/QuillmereServ.exe"}) {
    EXPECT_TRUE(ImageMatchesMode(image, 1)) << image;
    EXPECT_TRUE(ImageMatchesMode(image, 3)) << image;
    EXPECT_FALSE(ImageMatchesMode(image, 2)) << image << ": mode 2 must never end a server";
  }
}

TEST(ImageMatchesMode, FrontEndImagesInAnyCaseAndFolder) {
  for (const char* image : {"QUILLMERE.EXE", "quillmere.exe", "Quillmere.exe", "QUILLMERE",
                            "E:\\Quillmere\\Quillmere.exe", "QUILLMERE.SERV.EXE", "quillmere.old.exe"}) {
    EXPECT_TRUE(ImageMatchesMode(image, 2)) << image;
    EXPECT_TRUE(ImageMatchesMode(image, 3)) << image;
    EXPECT_FALSE(ImageMatchesMode(image, 1)) << image << ": mode 1 must never end a front end";
  }
}

TEST(ImageMatchesMode, OtherNamesNeverMatch) {
  for (const char* image :
       {"ABC.QUILLMERESERV", "ABC.QUILLMERE", "QUILLMERESERVX.EXE", "XQUILLMERESERV.EXE",
        "QUILLMERESERV EXE", "QUILLMERESER.EXE", "QUILLMER.EXE", "QUILLMERE_.EXE",
        "QUILLMERESERV\\OTHER.EXE", "e2e_instances_test.exe", "", ".", "\\"}) {
    for (int mode = 1; mode <= 3; ++mode) EXPECT_FALSE(ImageMatchesMode(image, mode)) << image;
  }
}

TEST(ImageMatchesMode, ModesOtherThanOneToThreeMatchNothing) {
  for (int mode : {0, 4, 7, -1}) {
    EXPECT_FALSE(ImageMatchesMode("QUILLMERESERV.EXE", mode));
    EXPECT_FALSE(ImageMatchesMode("QUILLMERE.EXE", mode));
  }
}

// Under Wine the list begins with the session's oldest program, which may well be a server
// started first; only the idle process (id 0) of Windows is no candidate.
TEST(RunningCopiesAmong, EveryMatchingEntryCountsTheFirstOneTooButNotIdZeroNorTheOwnId) {
  const std::vector<ProcessEntry> list = {{40, "QuillmereServ.exe"},
                                          {0, "QUILLMERESERV"},
                                          {41, "Quillmere.exe"},
                                          {42, "C:\\Q\\quillmereserv.exe"},
                                          {43, "QuillmereServ.exe"}};
  EXPECT_EQ(RunningCopiesAmong(list, 1, 43), (std::vector<uint32_t>{40, 42}));
  EXPECT_EQ(RunningCopiesAmong(list, 3, 7), (std::vector<uint32_t>{40, 41, 42, 43}));
}

}  // namespace
}  // namespace qm
