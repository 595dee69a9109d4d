// A registry key opened for reading and writing values, closed when the object goes.
#pragma once

#include "base/handles.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qm {

class RegistryKey {
 public:
  // Opens root\path with the given access, creating the key when it is missing.
  static std::optional<RegistryKey> OpenOrCreate(HKEY root, const std::string& path,
                                                 REGSAM access = KEY_ALL_ACCESS);
  // Opens an existing key only.
  static std::optional<RegistryKey> Open(HKEY root, const std::string& path,
                                         REGSAM access = KEY_ALL_ACCESS);
  static bool DeleteTree(HKEY root, const std::string& path);

  enum class ValueKind { Missing, String, Integer, Other };
  ValueKind KindOf(const std::string& name) const;

  // nullopt when the value is missing or not of that type.
  std::optional<std::string> ReadString(const std::string& name) const;
  std::optional<uint32_t> ReadInteger(const std::string& name) const;

  bool WriteString(const std::string& name, const std::string& value);
  bool WriteInteger(const std::string& name, uint32_t value);
  bool WriteBinary(const std::string& name, const void* data, DWORD size);  // for tests
  bool DeleteValue(const std::string& name);

  HKEY get() const { return key_.get(); }

 private:
  explicit RegistryKey(HKEY key) : key_(key) {}
  UniqueRegKey key_;
};

}  // namespace qm
