#include "server/trayicons.h"

#include "server/servercore.h"

#include "iconpixels.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace qm {
namespace {

using test::IconPixels;
using test::ReadIcon;

IconPixels StateImage(uint8_t state) {
  UniqueIcon icon(CreateStateIcon(state));
  return ReadIcon(icon.get());
}

int Count(const IconPixels& img, const std::function<bool(uint32_t)>& kind) {
  int n = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (!img.Clear(x, y) && kind(img.At(x, y))) ++n;
  return n;
}

int R(uint32_t c) { return (c >> 16) & 0xFF; }
int G(uint32_t c) { return (c >> 8) & 0xFF; }
int B(uint32_t c) { return c & 0xFF; }
bool Orange(uint32_t c) { return R(c) > 200 && G(c) >= 110 && G(c) <= 190 && B(c) < 60; }
bool OrangeRed(uint32_t c) { return R(c) > 200 && G(c) >= 40 && G(c) < 110 && B(c) < 60; }
bool Red(uint32_t c) { return R(c) > 170 && G(c) < 40 && B(c) < 40; }
bool Black(uint32_t c) { return R(c) < 40 && G(c) < 40 && B(c) < 40; }
bool Grey(uint32_t c) { return R(c) == G(c) && G(c) == B(c) && R(c) >= 100 && R(c) <= 210; }
bool Blue(uint32_t c) { return B(c) >= 120 && R(c) < 40; }

TEST(StateIcons, FiveDistinctSixteenSquareIconsOnAClearBackground) {
  std::vector<IconPixels> images;
  for (uint8_t s = 0; s < kTrayStateCount; ++s) {
    images.push_back(StateImage(s));
    const IconPixels& img = images.back();
    ASSERT_EQ(img.width, 16) << "state " << int(s);
    ASSERT_EQ(img.height, 16) << "state " << int(s);
    int clear = 0;
    for (bool t : img.transparent) clear += t;
    // The motif is neither a white square nor lost in the background.
    EXPECT_GE(clear, 20) << "state " << int(s);
    EXPECT_LE(clear, 236) << "state " << int(s);
    EXPECT_TRUE(img.Clear(0, 0) || img.Clear(15, 0)) << "state " << int(s);
  }
  for (size_t a = 0; a < images.size(); ++a)
    for (size_t b = a + 1; b < images.size(); ++b) EXPECT_FALSE(images[a] == images[b]) << a << " vs " << b;
}

TEST(StateIcons, EachStateShowsItsMotif) {
  const IconPixels ready = StateImage(ssReady);
  EXPECT_GE(Count(ready, Orange), 80);
  EXPECT_GE(Count(ready, Black), 15);
  EXPECT_EQ(Count(ready, Red), 0);

  // The same disc with a red bar: every pixel is the disc's own or red.
  const IconPixels stopped = StateImage(ssStopped);
  int bar = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool same = stopped.Clear(x, y) == ready.Clear(x, y) && stopped.At(x, y) == ready.At(x, y);
      if (same) continue;
      EXPECT_TRUE(!stopped.Clear(x, y) && Red(stopped.At(x, y))) << x << "," << y;
      ++bar;
    }
  EXPECT_GE(bar, 15);

  const IconPixels noTarget = StateImage(ssNoTarget);
  EXPECT_GE(Count(noTarget, Grey), 30);
  EXPECT_GE(Count(noTarget, OrangeRed), 20);
  EXPECT_EQ(Count(noTarget, Orange), 0);

  const IconPixels sync = StateImage(ssSync);
  EXPECT_GE(Count(sync, Black), 10);
  EXPECT_GE(Count(sync, Blue), 30);  // the screen and the diskette
  EXPECT_EQ(Count(sync, Orange) + Count(sync, Red), 0);

  const IconPixels error = StateImage(ssError);
  EXPECT_GE(Count(error, Red), 30);
  EXPECT_EQ(Count(error, Red), Count(error, [](uint32_t) { return true; }));
}

TEST(StateIcons, AStateOutsideTheTableDrawsTheErrorImage) {
  EXPECT_EQ(TrayStateIndex(4), 4);
  EXPECT_EQ(TrayStateIndex(5), 4);
  EXPECT_EQ(TrayStateIndex(255), 4);
  EXPECT_EQ(TrayStateIndex(2), 2);
  EXPECT_TRUE(StateImage(200) == StateImage(ssError));
}

// Neither Windows' nor Wine's GDI object count can be read reliably, so the table of GDI
// handles is filled until only a few slots are free: a leak of even one object per icon then
// makes drawing fail long before the loop ends.
TEST(StateIcons, DrawingLeaksNoGdiObjects) {
  std::vector<UniqueGdiObject> filler;
  for (;;) {
    UniqueGdiObject bitmap(CreateBitmap(1, 1, 1, 1, nullptr));
    if (!bitmap) break;
    filler.push_back(std::move(bitmap));
    ASSERT_LT(filler.size(), 1000000u) << "the GDI handle table has no limit here";
  }
  ASSERT_GT(filler.size(), 100u);
  filler.resize(filler.size() - 40);

  for (int i = 0; i < 400; ++i) {
    UniqueIcon icon(CreateStateIcon(static_cast<uint8_t>(i % kTrayStateCount)));
    ASSERT_TRUE(icon) << "drawing failed at icon " << i;
  }
}

}  // namespace
}  // namespace qm
