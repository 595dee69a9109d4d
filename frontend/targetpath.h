// The target folder's text rules, without a window: how a typed target is normalised, which
// texts can name a target, the folder part that is tested and stored, and the volume test.
#pragma once

#include <string>

namespace qm {

// Drops every leading and trailing character of code 32 or below, then ends the text in one
// backslash (an empty text stays empty).
std::string NormaliseTargetText(const std::string& text);

// A drive letter, a colon and a backslash: the only start of a target that the server can
// check. "\" alone would name the current drive's root and a network path has no volume root;
// both are refused.
bool HasDriveRoot(const std::string& target);

// The folder that is tested and created: the target without its final backslash, except for a
// drive root of three characters, which stays whole.
std::string TargetFolderOf(const std::string& target);

// Whether the volume of root (three characters, such as "E:\") answers. Critical-error boxes
// are off meanwhile, so an empty removable drive gives no system box, only false.
bool VolumePresent(const std::string& root);

}  // namespace qm
