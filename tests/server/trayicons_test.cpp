#include "server/trayicons.h"

#include "iconpixels.h"

#include <gtest/gtest.h>

#include <vector>

namespace qm {
namespace {

using test::IconPixels;
using test::StateImage;

int R(uint32_t c) { return (c >> 16) & 0xFF; }
int G(uint32_t c) { return (c >> 8) & 0xFF; }
int B(uint32_t c) { return c & 0xFF; }
bool Red(uint32_t c) { return R(c) > 170 && G(c) < 40 && B(c) < 40; }
bool Orange(uint32_t c) { return R(c) > 200 && G(c) >= 110 && G(c) <= 190 && B(c) < 60; }

TEST(StateIcons, FiveDistinctSixteenSquareImagesOnAClearBackground) {
  std::vector<IconPixels> images;
  for (uint8_t s = 0; s < kTrayStateCount; ++s) {
    images.push_back(StateImage(s));
    ASSERT_EQ(images.back().width, 16) << "state " << int(s);
    ASSERT_EQ(images.back().colour.size(), 256u) << "state " << int(s);
    int clear = 0;
    for (uint32_t m : images.back().mask) clear += m != 0;
    EXPECT_GE(clear, 20) << "no transparent background in state " << int(s);
    EXPECT_LE(clear, 236) << "hardly a motif in state " << int(s);
  }
  for (size_t a = 0; a < images.size(); ++a)
    for (size_t b = a + 1; b < images.size(); ++b) EXPECT_FALSE(images[a] == images[b]) << a << " vs " << b;
}

TEST(StateIcons, StoppedIsTheReadyDiscWithARedBarAndErrorIsAllRed) {
  const IconPixels ready = StateImage(0), stopped = StateImage(1), error = StateImage(4);
  int orange = 0, bar = 0, errorRed = 0, errorOpaque = 0;
  for (size_t i = 0; i < 256; ++i) {
    if (!ready.mask[i] && Orange(ready.colour[i])) ++orange;
    if (stopped.mask[i] != ready.mask[i] || stopped.colour[i] != ready.colour[i]) {
      EXPECT_TRUE(!stopped.mask[i] && Red(stopped.colour[i])) << "pixel " << i;
      ++bar;
    }
    if (!error.mask[i]) ++errorOpaque, errorRed += Red(error.colour[i]);
  }
  EXPECT_GE(orange, 80);
  EXPECT_GE(bar, 15);
  EXPECT_GE(errorOpaque, 30);
  EXPECT_EQ(errorRed, errorOpaque);
}

// Neither Windows' nor Wine's count of GDI objects can be read reliably, so the handle table
// is filled until only a few slots are free: a leak of even one object per icon then makes
// drawing fail long before the loop ends.
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
