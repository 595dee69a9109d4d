// Where the running program lives.
#pragma once

#include <string>

namespace qm {

// The folder of the running program file, with its trailing backslash; empty when the system
// does not tell. A character the system code page cannot hold stands as "?".
std::string ProgramFolder();

}  // namespace qm
