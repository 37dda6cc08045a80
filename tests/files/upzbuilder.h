#pragma once

// Order archives for tests: a header, a directory and members, with every field under the
// test's control.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct UpzMember {
  std::string name;                          // stored name (up to 13 bytes are kept)
  std::vector<std::uint8_t> stored;          // compressed bytes, placed after the directory
  std::optional<std::uint32_t> dataOffset;   // overrides where the entry points
  std::optional<std::uint32_t> storedSize;   // overrides the entry's stored size
};

struct UpzLayout {
  std::string signature = "upl";             // written into the 4-byte signature field
  std::uint16_t version = 2;
  std::optional<std::int32_t> entryCount;    // overrides the number of members
  std::vector<std::uint8_t> headerBlock;     // bytes 6.. of the header (at most 200)
  std::optional<std::size_t> cutAt;          // truncates the file to this many bytes
};

// The archive's bytes.
std::vector<std::uint8_t> BuildUpz(const std::vector<UpzMember>& members,
                                   const UpzLayout& layout = {});

// Compresses `text` with the reference implode (binary mode, 4096-byte dictionary).
std::vector<std::uint8_t> Compressed(const std::string& text);

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::string ReadFileText(const std::filesystem::path& path);
