#include "tools/protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace qm {
namespace {

std::vector<unsigned char> Wire(double lastSync, unsigned char state, unsigned char spare = 0) {
  std::vector<unsigned char> bytes(kStatusSize, spare);
  std::memcpy(bytes.data(), &lastSync, 8);
  bytes[8] = state;
  return bytes;
}

TEST(ServerStatus, EncodesSixteenBytesWithZeroSpare) {
  const TServerStatus status = EncodeServerStatus(38000.5, ssSync);
  unsigned char bytes[kStatusSize];
  std::memcpy(bytes, &status, kStatusSize);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + kStatusSize), Wire(38000.5, ssSync));
}

TEST(ServerStatus, DecodesOnlyWholeRecordsWithARealDate) {
  const auto good = Wire(38000.25, ssNoTarget, 0xEE);  // spare bytes are ignored
  const auto decoded = DecodeServerStatus(good.data(), good.size());
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->LastSync, 38000.25);
  EXPECT_EQ(decoded->State, ssNoTarget);

  EXPECT_FALSE(DecodeServerStatus(nullptr, kStatusSize));
  EXPECT_FALSE(DecodeServerStatus(good.data(), kStatusSize - 1));
  const double notDates[] = {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(), -1.0e9, 3.0e6};
  for (double t : notDates) {
    const auto bytes = Wire(t, ssReady);
    EXPECT_FALSE(DecodeServerStatus(bytes.data(), bytes.size())) << t;
  }
  // Longer blocks are read only as far as the record goes.
  auto longer = Wire(37987.0, ssReady);
  longer.resize(40, 0xFF);
  EXPECT_TRUE(DecodeServerStatus(longer.data(), longer.size()));
}

}  // namespace
}  // namespace qm
