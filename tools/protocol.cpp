#include "tools/protocol.h"

#include <cmath>
#include <cstring>

namespace qm {
namespace {

// Day counts of 1 January 0001 and 31 December 9999 from 30 December 1899.
constexpr double kFirstDay = -693593.0;
constexpr double kLastDay = 2958466.0;

}  // namespace

TServerStatus EncodeServerStatus(DateTime lastSync, uint8_t state) {
  TServerStatus status{};
  status.LastSync = lastSync;
  status.State = state;
  return status;
}

std::optional<TServerStatus> DecodeServerStatus(const void* data, size_t size) {
  if (!data || size < kStatusSize) return std::nullopt;
  TServerStatus status{};
  std::memcpy(&status, data, kStatusSize);
  if (!std::isfinite(status.LastSync) || status.LastSync < kFirstDay ||
      status.LastSync >= kLastDay)
    return std::nullopt;
  std::memset(status.Reserved, 0, sizeof status.Reserved);
  return status;
}

}  // namespace qm
