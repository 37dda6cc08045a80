#include "tests/files/upzbuilder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/files/stormoracle.h"

namespace {

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> BuildUpz(const std::vector<UpzMember>& members,
                                   const UpzLayout& layout) {
  std::vector<std::uint8_t> out(210 + 21 * members.size(), 0);
  std::copy_n(layout.signature.begin(), std::min<std::size_t>(layout.signature.size(), 4),
              out.begin());
  out[4] = static_cast<std::uint8_t>(layout.version);
  out[5] = static_cast<std::uint8_t>(layout.version >> 8);
  std::copy_n(layout.headerBlock.begin(), std::min<std::size_t>(layout.headerBlock.size(), 200),
              out.begin() + 6);
  Put32(out, 206,
        static_cast<std::uint32_t>(layout.entryCount.value_or(static_cast<std::int32_t>(members.size()))));
  for (std::size_t i = 0; i < members.size(); ++i) {
    const UpzMember& m = members[i];
    const std::size_t entry = 210 + 21 * i;
    std::copy_n(m.name.begin(), std::min<std::size_t>(m.name.size(), 13), out.begin() + entry);
    const auto offset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), m.stored.begin(), m.stored.end());
    Put32(out, entry + 13, m.dataOffset.value_or(offset));
    Put32(out, entry + 17, m.storedSize.value_or(static_cast<std::uint32_t>(m.stored.size())));
  }
  if (layout.cutAt) out.resize(std::min(out.size(), *layout.cutAt));
  return out;
}

std::vector<std::uint8_t> Compressed(const std::string& text) {
  return storm::Implode(std::vector<std::uint8_t>(text.begin(), text.end()),
                        storm::LiteralMode::kBinary, 4096);
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
