#include "platform/posix/resource_index.h"

#include <cstring>

namespace updater::platform {
namespace {

void PutNumber(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t GetNumber(const std::string& bytes, size_t at, int length) {
  uint64_t value = 0;
  for (int i = length - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  }
  return value;
}

}  // namespace

std::optional<ResourceTrailer> ParseResourceTrailer(const std::string& bytes) {
  if (bytes.size() != kResourceTrailerSize ||
      std::memcmp(bytes.data() + 16, kResourceMagic, 8) != 0) {
    return std::nullopt;
  }
  return ResourceTrailer{GetNumber(bytes, 0, 8), static_cast<uint32_t>(GetNumber(bytes, 8, 4))};
}

std::optional<std::vector<ResourceEntry>> ParseResourceIndex(const std::string& bytes,
                                                             uint32_t count) {
  std::vector<ResourceEntry> entries;
  size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes.size() - at < 24) return std::nullopt;
    const uint64_t type_length = GetNumber(bytes, at, 4);
    const uint64_t name_length = GetNumber(bytes, at + 4, 4);
    ResourceEntry entry;
    entry.offset = GetNumber(bytes, at + 8, 8);
    entry.size = GetNumber(bytes, at + 16, 8);
    at += 24;
    if (bytes.size() - at < type_length + name_length) return std::nullopt;
    entry.type = bytes.substr(at, type_length);
    entry.name = bytes.substr(at + type_length, name_length);
    at += type_length + name_length;
    entries.push_back(entry);
  }
  if (at != bytes.size()) return std::nullopt;
  return entries;
}

std::string EncodeResourceIndex(const std::vector<ResourceEntry>& entries, uint64_t index_offset) {
  std::string out;
  for (const ResourceEntry& entry : entries) {
    PutNumber(out, entry.type.size(), 4);
    PutNumber(out, entry.name.size(), 4);
    PutNumber(out, entry.offset, 8);
    PutNumber(out, entry.size, 8);
    out += entry.type;
    out += entry.name;
  }
  PutNumber(out, index_offset, 8);
  PutNumber(out, entries.size(), 4);
  PutNumber(out, 0, 4);
  out.append(kResourceMagic, 8);
  return out;
}

}  // namespace updater::platform
