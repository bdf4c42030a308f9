#include "download/flat_record.h"

#include <algorithm>
#include <cstring>

#include "core/crc32.h"

namespace mv::dl {

bool FlatRecord::Initialise(size_t capacity, size_t alignment, size_t growth_step, uint8_t padding) {
  Release();
  alignment_ = alignment == 0 ? 1 : alignment;
  growth_step_ = growth_step == 0 ? 1024 : growth_step;
  padding_ = padding;
  block_.assign(capacity, 0);
  ready_ = true;
  return true;
}

void FlatRecord::Release() {
  std::vector<uint8_t>().swap(block_);
  fields_.clear();
  used_ = 0;
  ready_ = false;
}

bool FlatRecord::AddField(const std::string& name, size_t width, const void* initial, size_t initial_size) {
  if (!ready_ || name.empty() || FindField(name)) return false;
  const size_t start = used_;
  size_t end = start + width;
  if (end % alignment_) end += alignment_ - end % alignment_;
  while (block_.size() < end) block_.resize(block_.size() + growth_step_, 0);
  if (initial && initial_size) std::memcpy(block_.data() + start, initial, std::min(width, initial_size));
  std::fill(block_.begin() + start + width, block_.begin() + end, padding_);
  fields_.push_back({name, Crc32(0, name.data(), name.size()), start, width});
  used_ = end;
  return true;
}

const FlatRecord::Field* FlatRecord::FindField(const std::string& name) const {
  const uint32_t crc = Crc32(0, name.data(), name.size());
  for (const Field& f : fields_)
    if (f.crc == crc && f.name == name) return &f;
  return nullptr;
}

std::vector<uint8_t> FlatRecord::GetField(const std::string& name) const {
  const Field* f = FindField(name);
  if (!f) return {};
  return std::vector<uint8_t>(block_.begin() + f->offset, block_.begin() + f->offset + f->width);
}

bool FlatRecord::SetField(const std::string& name, const void* data, size_t size) {
  const Field* f = FindField(name);
  if (!f) return false;
  uint8_t* at = block_.data() + f->offset;
  const size_t n = std::min(size, f->width);
  if (n) std::memcpy(at, data, n);
  std::memset(at + n, 0, f->width - n);
  return true;
}

}  // namespace mv::dl
