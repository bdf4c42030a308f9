// A flat byte block laid out field by field, for the records exchanged with
// the download engine. Each field has a name, an offset (the used length when
// it was added) and a width; fields are found by the CRC-32 of their name and
// then by the name itself, and read and written as raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mv::dl {

class FlatRecord {
 public:
  struct Field {
    std::string name;
    uint32_t crc = 0;
    size_t offset = 0;
    size_t width = 0;
  };

  FlatRecord() = default;
  // Copies hold a block of their own.
  FlatRecord(const FlatRecord&) = default;
  FlatRecord& operator=(const FlatRecord&) = default;
  virtual ~FlatRecord() = default;

  // Releases whatever the object held and starts a new zeroed block of the
  // given capacity. Alignment 0 counts as 1; a growth step of 0 counts as the
  // default.
  bool Initialise(size_t capacity, size_t alignment = 1, size_t growth_step = 1024, uint8_t padding = 0xCC);
  // Frees the block and forgets every field.
  void Release();

  // Appends a field at the used length with at most `width` bytes of the
  // initial value (the rest zero), then pads to the alignment. Grows the
  // block by the growth step when it is full. False for a name already used,
  // an empty name or an object never initialised.
  bool AddField(const std::string& name, size_t width, const void* initial = nullptr, size_t initial_size = 0);
  const Field* FindField(const std::string& name) const;

  // The field's bytes; empty when the field does not exist.
  std::vector<uint8_t> GetField(const std::string& name) const;
  // Copies at most the field's width; the rest of the field is zeroed.
  bool SetField(const std::string& name, const void* data, size_t size);

  size_t UsedLength() const { return used_; }
  size_t Capacity() const { return block_.size(); }
  // The block (nullptr when released). Valid until the next AddField.
  uint8_t* Data() { return block_.empty() ? nullptr : block_.data(); }
  const uint8_t* Data() const { return block_.empty() ? nullptr : block_.data(); }
  const std::vector<Field>& Fields() const { return fields_; }

 private:
  std::vector<uint8_t> block_;
  std::vector<Field> fields_;
  size_t used_ = 0;
  size_t alignment_ = 1;
  size_t growth_step_ = 1024;
  uint8_t padding_ = 0xCC;
  bool ready_ = false;
};

}  // namespace mv::dl
