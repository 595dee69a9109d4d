#include "server/probe.h"

namespace qm {
namespace {
class NullProbe final : public VolumeProbe {  // stub
 public:
  bool VolumeAnswers(const std::string&) override { return false; }
  bool FreeBytes(char, uint64_t&) override { return false; }
};
}  // namespace
VolumeProbe& SystemVolumeProbe() { static NullProbe p; return p; }
}  // namespace qm
