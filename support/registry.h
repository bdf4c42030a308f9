// The registry access class: reads, writes, enumerates and deletes keys and
// values addressed by one full path whose first component names the root
// ("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class\\..."). Every
// method opens what it needs and closes it again; the object holds no state,
// so it may be used from any thread.
//
// Root names are compared exactly (case-sensitive): "HKEY_CLASSES_ROOT",
// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
// "HKEY_CURRENT_CONFIG"; any other root makes the open fail. Text values are
// GBK bytes with their terminating zero.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace mv {

class Registry {
 public:
  Registry() = default;
  Registry(const Registry&) = default;
  Registry& operator=(const Registry&) = default;
  virtual ~Registry() = default;

  // Opens (create: creates or opens) the key; a non-zero key token on
  // success, 0 on failure. Nothing stays open.
  virtual uintptr_t OpenKey(const Text& path, bool create);
  // The key's subkey names; their number, -1 when the key cannot be opened.
  virtual int EnumSubKeys(const Text& path, std::vector<Text>& names);
  // The key's value names and types; false when the key cannot be opened.
  virtual bool EnumValues(const Text& path, std::vector<Text>& names, std::vector<uint32_t>& types);
  // "REG_SZ - 字符串值，值为：" and the like for types 0, 1, 2, 3, 4, 7; empty
  // when the value is missing or of another type.
  virtual Text DescribeValueType(const Text& path, const Text& name);
  // check_value: the value exists; otherwise: the key opens.
  virtual bool Exists(const Text& path, const Text& name, bool check_value);
  virtual bool FlushKey(const Text& path);
  // Sets a value of the given type, creating missing keys.
  virtual bool WriteValue(const Text& path, const Text& name, const Bytes& data, uint32_t type);
  // The value's bytes whatever its type (the type asked for is not
  // compared); empty on failure.
  virtual Bytes ReadValue(const Text& path, const Text& name, uint32_t type);
  // root_number: 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_CONFIG, 3
  // HKEY_CURRENT_USER, 4 HKEY_LOCAL_MACHINE, 5 HKEY_USERS. Type 1 unless given.
  virtual bool WriteValueByRoot(int root_number, const Text& subkey, const Text& name, const Bytes& data,
                                uint32_t type, bool type_given);
  virtual bool WriteNumber(const Text& path, const Text& name, uint32_t value);
  virtual uint32_t ReadNumber(const Text& path, const Text& name);
  virtual bool WriteBinary(const Text& path, const Text& name, const Bytes& value);
  virtual Bytes ReadBinary(const Text& path, const Text& name);
  // Text values read up to the first zero byte, whatever the stored type.
  virtual bool WriteText(const Text& path, const Text& name, const Text& value);
  virtual Text ReadText(const Text& path, const Text& name);
  virtual bool WriteMultiText(const Text& path, const Text& name, const std::vector<Text>& values);
  virtual std::vector<Text> ReadMultiText(const Text& path, const Text& name);
  virtual bool WriteExpandText(const Text& path, const Text& name, const Text& value);
  virtual Text ReadExpandText(const Text& path, const Text& name);
  // Deletes the key with all its subkeys.
  virtual bool DeleteKey(const Text& path);
  virtual bool DeleteValue(const Text& path, const Text& name);
};

// Splits "ROOT\\sub\\key" into its root and subkey; false for an unknown root name.
bool SplitRegistryPath(const Text& path, RegRoot& root, Text& subkey);

}  // namespace mv
