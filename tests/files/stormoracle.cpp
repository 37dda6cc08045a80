#include "tests/files/stormoracle.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

// The library exports these without declaring them in its installed header.
extern "C" {
unsigned int implode(unsigned int (*read_buf)(char* buf, unsigned int* size, void* param),
                     void (*write_buf)(char* buf, unsigned int* size, void* param),
                     char* work_buf, void* param, unsigned int* type, unsigned int* dsize);
unsigned int explode(unsigned int (*read_buf)(char* buf, unsigned int* size, void* param),
                     void (*write_buf)(char* buf, unsigned int* size, void* param),
                     char* work_buf, void* param);
}

namespace storm {
namespace {

// Comfortably above both of the library's work structures on 64-bit systems.
constexpr std::size_t kWorkSize = kWorkAreaSize;

struct Pipe {
  const std::vector<std::uint8_t>* in;
  std::size_t pos = 0;
  std::vector<std::uint8_t> out;
};

unsigned int ReadBuf(char* buf, unsigned int* size, void* param) {
  auto& p = *static_cast<Pipe*>(param);
  const std::size_t n = std::min<std::size_t>(*size, p.in->size() - p.pos);
  if (n) std::memcpy(buf, p.in->data() + p.pos, n);
  p.pos += n;
  return static_cast<unsigned int>(n);
}

void WriteBuf(char* buf, unsigned int* size, void* param) {
  auto& p = *static_cast<Pipe*>(param);
  p.out.insert(p.out.end(), buf, buf + *size);
}

struct Counter {
  const std::vector<std::uint8_t>* in;
  std::size_t pos;
  std::size_t out;
};

unsigned int ReadCounter(char* buf, unsigned int* size, void* param) {
  auto& c = *static_cast<Counter*>(param);
  const std::size_t n = std::min<std::size_t>(*size, c.in->size() - c.pos);
  if (n) std::memcpy(buf, c.in->data() + c.pos, n);
  c.pos += n;
  return static_cast<unsigned int>(n);
}

void WriteCounter(char*, unsigned int* size, void* param) {
  static_cast<Counter*>(param)->out += *size;
}

}  // namespace

std::vector<std::uint8_t> Implode(const std::vector<std::uint8_t>& data, LiteralMode mode,
                                  unsigned dictionarySize) {
  std::vector<char> work(kWorkSize);
  Pipe pipe{&data, 0, {}};
  unsigned int type = static_cast<unsigned int>(mode);
  unsigned int dsize = dictionarySize;
  if (implode(ReadBuf, WriteBuf, work.data(), &pipe, &type, &dsize) != 0)
    throw std::runtime_error("the reference implode failed");
  return pipe.out;
}

Exploded Explode(const std::vector<std::uint8_t>& stream) {
  std::vector<char> work(kWorkSize);  // zero-filled
  Pipe pipe{&stream, 0, {}};
  const unsigned result = explode(ReadBuf, WriteBuf, work.data(), &pipe);
  return Exploded{result, std::move(pipe.out)};
}

unsigned ExplodeCounting(const std::vector<std::uint8_t>& stream, char* workArea,
                         std::size_t& outputSize) {
  Counter counter{&stream, 0, 0};
  const unsigned result = explode(ReadCounter, WriteCounter, workArea, &counter);
  outputSize = counter.out;
  return result;
}

}  // namespace storm
