// Resources appended to a Linux executable. The loader ignores whatever
// follows the ELF image, so the build appends each resource's bytes to the
// linked executable and ends the file with an index:
//
//   [executable][data 1]...[data n][index][trailer]
//   index entry: u32 type length, u32 name length, u64 offset, u64 size,
//                type bytes, name bytes
//   trailer:     u64 index offset, u32 entry count, u32 zero, "UPDRES01"
//
// Numbers are little-endian; offsets count from the start of the file.
// Appending another resource rewrites the index after the new data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace updater::platform {

struct ResourceEntry {
  std::string type;
  std::string name;
  uint64_t offset = 0;
  uint64_t size = 0;
};

inline constexpr char kResourceMagic[] = "UPDRES01";
inline constexpr size_t kResourceTrailerSize = 24;

// The index offset and entry count of a trailer, or nullopt when the bytes
// are no trailer.
struct ResourceTrailer {
  uint64_t index_offset = 0;
  uint32_t count = 0;
};
std::optional<ResourceTrailer> ParseResourceTrailer(const std::string& bytes);

// The entries of an index of `count` entries; nullopt when it is damaged.
std::optional<std::vector<ResourceEntry>> ParseResourceIndex(const std::string& bytes,
                                                             uint32_t count);

// The index and trailer for `entries`, the index starting at `index_offset`.
std::string EncodeResourceIndex(const std::vector<ResourceEntry>& entries, uint64_t index_offset);

}  // namespace updater::platform
