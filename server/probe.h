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
  // Read anew on every call; what it keeps open for the next call stays until ReleaseHeld.
  virtual bool FreeBytes(char driveLetter, uint64_t& bytes) = 0;
  // Lets go of what FreeBytes keeps open on the calling thread (at the end of a copy run, so
  // that the target volume is not held between runs).
  virtual void ReleaseHeld() {}
};

VolumeProbe& SystemVolumeProbe();

}  // namespace qm
