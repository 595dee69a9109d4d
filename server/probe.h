// The volume seam: whether a volume answers, and its free space. The real one asks Windows; a
// test one lets a volume appear, vanish or fill up, which a Wine process cannot make happen.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

class VolumeProbe {
 public:
  virtual ~VolumeProbe() = default;
  // root is a three-character root such as "E:\"; GetVolumeInformationA without buffers.
  virtual bool VolumeAnswers(const std::string& root) = 0;
  // Bytes free for the calling user on the drive with that letter; false when unreadable.
  virtual bool FreeBytes(char driveLetter, uint64_t& bytes) = 0;
};

VolumeProbe& SystemVolumeProbe();

}  // namespace qm
