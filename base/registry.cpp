#include "base/registry.h"

#include <vector>

namespace qm {

std::optional<RegistryKey> RegistryKey::OpenOrCreate(HKEY root, const std::string& path,
                                                     REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return std::nullopt;
  return RegistryKey(key);
}

std::optional<RegistryKey> RegistryKey::Open(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return std::nullopt;
  return RegistryKey(key);
}

bool RegistryKey::DeleteTree(HKEY root, const std::string& path) {
  return RegDeleteTreeA(root, path.c_str()) == ERROR_SUCCESS;
}

RegistryKey::ValueKind RegistryKey::KindOf(const std::string& name) const {
  DWORD type = 0;
  if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, nullptr) !=
      ERROR_SUCCESS)
    return ValueKind::Missing;
  if (type == REG_SZ || type == REG_EXPAND_SZ) return ValueKind::String;
  if (type == REG_DWORD) return ValueKind::Integer;
  return ValueKind::Other;
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::vector<char> data(size + 1, '\0');
  if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  // The stored string need not end in a NUL; stop at the first one if it does.
  data[size] = '\0';
  return std::string(data.data());
}

std::optional<uint32_t> RegistryKey::ReadInteger(const std::string& name) const {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return value;
}

bool RegistryKey::WriteString(const std::string& name, const std::string& value) {
  return RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryKey::WriteInteger(const std::string& name, uint32_t value) {
  DWORD v = value;
  return RegSetValueExA(key_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                        sizeof v) == ERROR_SUCCESS;
}

bool RegistryKey::WriteBinary(const std::string& name, const void* data, DWORD size) {
  return RegSetValueExA(key_.get(), name.c_str(), 0, REG_BINARY,
                        static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const std::string& name) {
  return RegDeleteValueA(key_.get(), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace qm
