// ExpandImploded against an independent implementation and against hand-built streams.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "files/implode.h"
#include "tests/files/implodewriter.h"
#include "tests/files/stormoracle.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// How the read callback hands out the stream: everything it may (up to 2048 bytes per
// call), or 5 bytes first (the decoder needs more than 4 at once) and then `step` bytes.
struct Feed {
  const char* name;
  std::size_t step;  // 0: everything
};
constexpr Feed kFeeds[] = {{"everything", 0}, {"one byte", 1}, {"two bytes", 2}};

struct Decoded {
  ExpandResult result;
  Bytes out;
  std::vector<std::size_t> blocks;  // sizes passed to the write callback
  int reads = 0;
};

struct Pipe {
  const Bytes* in;
  std::size_t pos = 0;
  std::size_t step = 0;
  Decoded* run;
};

std::size_t ReadPipe(unsigned char* buffer, std::size_t size, void* param) {
  Pipe& p = *static_cast<Pipe*>(param);
  EXPECT_EQ(size, kImplodeReadSize);
  std::size_t n = p.in->size() - p.pos;
  if (p.step != 0) n = std::min(n, p.pos == 0 ? std::size_t{5} : p.step);
  n = std::min(n, size);
  if (n) std::memcpy(buffer, p.in->data() + p.pos, n);
  p.pos += n;
  ++p.run->reads;
  return n;
}

void WritePipe(const unsigned char* buffer, std::size_t size, void* param) {
  Pipe& p = *static_cast<Pipe*>(param);
  p.run->out.insert(p.run->out.end(), buffer, buffer + size);
  p.run->blocks.push_back(size);
}

Decoded Expand(const Bytes& stream, std::size_t step = 0, std::size_t misalign = 0) {
  Decoded run;
  Pipe pipe{&stream, 0, step, &run};
  std::vector<unsigned char> area(kImplodeWorkAreaSize + 8, 0xA5);  // not initialised
  run.result = ExpandImploded(ReadPipe, WritePipe, area.data() + misalign, &pipe);
  return run;
}

Bytes Generated(const std::string& kind, std::size_t size) {
  std::mt19937 rng(static_cast<unsigned>(size) * 7 + static_cast<unsigned>(kind.size()));
  Bytes out;
  out.reserve(size + 600);
  static const char* const kWords[] = {"chiller", "panel", "evaporator", "condenser", "the",
                                       "of", "pressure", "motor", "serial", "Job", "=", "0.25",
                                       "GPM", "R-134a", "\r\n", "[Motor]", "amps", "and"};
  while (out.size() < size) {
    if (kind == "text") {
      const std::string w = kWords[rng() % std::size(kWords)];
      out.insert(out.end(), w.begin(), w.end());
      out.push_back(rng() % 7 ? ' ' : '\t');
    } else if (kind == "random") {
      out.push_back(static_cast<std::uint8_t>(rng()));
    } else {  // runs: long repeats of one byte between short random pieces
      out.insert(out.end(), rng() % 600, static_cast<std::uint8_t>(rng() % 3));
      for (int i = 0; i < 5; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
    }
  }
  out.resize(size);
  return out;
}

// ---- Against the reference compressor ------------------------------------------------

struct RoundTrip {
  std::string kind;
  std::size_t size;
  storm::LiteralMode mode;
  unsigned dictionary;
};

class ImplodeRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(ImplodeRoundTrip, DecodesWhatTheReferenceCompressed) {
  const RoundTrip& c = GetParam();
  const Bytes data = Generated(c.kind, c.size);
  const Bytes stream = storm::Implode(data, c.mode, c.dictionary);
  for (const Feed& feed : kFeeds) {
    SCOPED_TRACE(feed.name);
    const Decoded run = Expand(stream, feed.step);
    if (c.size == 0) {
      // An empty input compresses to the header and the end code: 4 bytes, which the
      // format rejects (archives store empty members with stored size 0).
      EXPECT_EQ(stream.size(), 4u);
      EXPECT_EQ(run.result, ExpandResult::kBadData);
      EXPECT_TRUE(run.blocks.empty());
      continue;
    }
    EXPECT_EQ(run.result, ExpandResult::kOk);
    EXPECT_TRUE(run.out == data) << "output differs from the input";
  }
}

std::vector<RoundTrip> RoundTrips() {
  std::vector<RoundTrip> cases;
  for (const char* kind : {"text", "random", "runs"})
    for (std::size_t size : {0, 1, 4096, 4097, 10000, 300000})
      for (storm::LiteralMode mode : {storm::LiteralMode::kBinary, storm::LiteralMode::kAscii})
        for (unsigned dictionary : {1024u, 2048u, 4096u})
          cases.push_back({kind, size, mode, dictionary});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(
    Generated, ImplodeRoundTrip, testing::ValuesIn(RoundTrips()),
    [](const testing::TestParamInfo<RoundTrip>& info) {
      const RoundTrip& c = info.param;
      return c.kind + "_" + std::to_string(c.size) +
             (c.mode == storm::LiteralMode::kAscii ? "_ascii_" : "_binary_") +
             std::to_string(c.dictionary);
    });

// Cut at every length, a stream decodes to exactly what the reference decoder makes of it:
// the same result and the same partial output.  This pins the end-of-input rule.
TEST(ImplodeTruncation, EveryCutMatchesTheReferenceDecoder) {
  for (storm::LiteralMode mode : {storm::LiteralMode::kBinary, storm::LiteralMode::kAscii}) {
    const Bytes data = Generated("text", 3000);
    const Bytes stream = storm::Implode(data, mode, 1024);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
      const Bytes part(stream.begin(), stream.begin() + static_cast<long>(cut));
      const storm::Exploded reference = storm::Explode(part);
      const Decoded run = Expand(part);
      ASSERT_EQ(static_cast<unsigned>(run.result), reference.result) << "cut at " << cut;
      ASSERT_TRUE(run.out == reference.bytes) << "cut at " << cut;
      if (cut < stream.size() && cut > 4) {
        ASSERT_EQ(run.result, ExpandResult::kAborted) << "cut at " << cut;
        ASSERT_TRUE(std::equal(run.out.begin(), run.out.end(), data.begin()));
      }
    }
  }
}

// ---- Header and input rules -----------------------------------------------------------

struct HeaderCase {
  const char* name;
  Bytes stream;
  ExpandResult result;
  bool writes;
};

class ImplodeHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(ImplodeHeader, ChecksInOrder) {
  const HeaderCase& c = GetParam();
  const Decoded run = Expand(c.stream);
  EXPECT_EQ(run.result, c.result);
  EXPECT_EQ(!run.blocks.empty(), c.writes);
  if (!c.writes) {
    EXPECT_EQ(run.reads, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ImplodeHeader,
    testing::Values(
        HeaderCase{"empty", {}, ExpandResult::kBadData, false},
        HeaderCase{"four_bytes", {0x00, 0x06, 0x01, 0xFF}, ExpandResult::kBadData, false},
        HeaderCase{"five_bytes_pass", {0x00, 0x06, 0x01, 0xFF, 0x00}, ExpandResult::kOk, true},
        HeaderCase{"ascii_mode", {0x01, 0x04, 0x01, 0xFF, 0x00}, ExpandResult::kOk, true},
        HeaderCase{"dictionary_7", {0x00, 0x07, 0x01, 0xFF, 0x00}, ExpandResult::kBadDictionary,
                   false},
        HeaderCase{"dictionary_3", {0x00, 0x03, 0x01, 0xFF, 0x00}, ExpandResult::kBadDictionary,
                   false},
        HeaderCase{"dictionary_before_mode", {0x09, 0x03, 0x01, 0xFF, 0x00},
                   ExpandResult::kBadDictionary, false},
        HeaderCase{"mode_2", {0x02, 0x04, 0x01, 0xFF, 0x00}, ExpandResult::kBadLiteralMode,
                   false},
        HeaderCase{"mode_255", {0xFF, 0x06, 0x01, 0xFF, 0x00}, ExpandResult::kBadLiteralMode,
                   false}),
    [](const testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(ImplodeInput, AFirstReadOfFourBytesIsBadDataEvenIfMoreWouldFollow) {
  const Bytes stream = ImplodeWriter(0, 4).Literals({'a', 'b', 'c'}).End().Bytes();
  Decoded run;
  Pipe pipe{&stream, 0, 0, &run};
  std::vector<unsigned char> area(kImplodeWorkAreaSize);
  const auto oneAtATime = [](unsigned char* buffer, std::size_t, void* param) -> std::size_t {
    Pipe& p = *static_cast<Pipe*>(param);
    if (p.pos == p.in->size()) return 0;
    *buffer = (*p.in)[p.pos++];
    return 1;
  };
  EXPECT_EQ(ExpandImploded(oneAtATime, WritePipe, area.data(), &pipe), ExpandResult::kBadData);
  EXPECT_TRUE(run.blocks.empty());
}

TEST(ImplodeInput, WorkAreaOfAnyAlignmentAndContent) {
  const Bytes stream = ImplodeWriter(1, 5).Literals({'a', 'b'}).Match(8, 2).End().Bytes();
  for (std::size_t misalign = 0; misalign < 8; ++misalign) {
    const Decoded run = Expand(stream, 0, misalign);
    EXPECT_EQ(run.result, ExpandResult::kOk);
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()), "ababababab");
  }
}

// ---- Tokens -----------------------------------------------------------------------------

struct TokenCase {
  const char* name;
  Bytes stream;
  std::string expected;
};

Bytes Iota(int n) {
  Bytes b(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  return b;
}

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::vector<TokenCase> TokenCases() {
  const Bytes iota = Iota(256);
  Bytes thousand = Iota(256);
  while (thousand.size() < 1000) thousand.push_back(static_cast<std::uint8_t>(thousand.size() * 7));
  std::vector<TokenCase> cases;
  // A 2-byte match takes 2 low distance bits even with k = 6: 256 back reaches byte 0.
  cases.push_back({"short_match_two_low_bits_k6",
                   ImplodeWriter(0, 6).Literals(iota).Match(2, 256).End().Bytes(),
                   Str(iota) + std::string("\x00\x01", 2)});
  cases.push_back({"short_match_two_low_bits_k4",
                   ImplodeWriter(0, 4).Literals(iota).Match(2, 3).End().Bytes(),
                   Str(iota) + std::string("\xFD\xFE", 2)});
  // With k = 4 a 3-byte match takes 4 low bits: 1000 back is high part 62, low part 7.
  cases.push_back({"length_3_four_low_bits_k4",
                   ImplodeWriter(0, 4).Literals(thousand).Match(3, 1000).End().Bytes(),
                   Str(thousand) + Str(Bytes(thousand.begin(), thousand.begin() + 3))});
  const Bytes window = Generated("random", 4096);
  cases.push_back({"k6_reaches_4096_back",
                   ImplodeWriter(0, 6).Literals(window).Match(4, 4096).End().Bytes(),
                   Str(window) + Str(Bytes(window.begin(), window.begin() + 4))});
  cases.push_back({"distance_1_run", ImplodeWriter(0, 4).Literal('x').Match(10, 1).End().Bytes(),
                   std::string(11, 'x')});
  cases.push_back({"overlapping_period_3",
                   ImplodeWriter(1, 4).Literals({'a', 'b', 'c'}).Match(20, 3).End().Bytes(),
                   "abcabcabcabcabcabcabcab"});
  cases.push_back({"longest_match_518",
                   ImplodeWriter(0, 5).Literals({'q', 'r'}).Match(518, 2).End().Bytes(),
                   "qr" + [] { std::string s; while (s.size() < 518) s += "qr"; return s.substr(0, 518); }()});
  cases.push_back({"before_first_byte_reads_zeros",
                   ImplodeWriter(0, 6).Match(5, 100).Literal('z').End().Bytes(),
                   std::string(5, '\0') + "z"});
  cases.push_back({"every_ascii_literal", ImplodeWriter(1, 6).Literals(iota).End().Bytes(),
                   Str(iota)});
  return cases;
}

class ImplodeTokens : public testing::TestWithParam<TokenCase> {};

TEST_P(ImplodeTokens, Decode) {
  const TokenCase& c = GetParam();
  for (const Feed& feed : kFeeds) {
    SCOPED_TRACE(feed.name);
    const Decoded run = Expand(c.stream, feed.step);
    EXPECT_EQ(run.result, ExpandResult::kOk);
    EXPECT_EQ(Str(run.out), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(HandBuilt, ImplodeTokens, testing::ValuesIn(TokenCases()),
                         [](const testing::TestParamInfo<TokenCase>& info) {
                           return std::string(info.param.name);
                         });

// Every way a match is copied (a run of one byte, a period under 8, pieces of 8 or of 16
// bytes, each overlapping its own output or not), at many positions around the 4096-byte
// output blocks: matches of many lengths and distances after a 4096-byte window, against a
// plain byte-by-byte copy and the reference decoder.  A literal before each match keeps
// the bytes that a copy writes past its end from being what the next copy should make.
TEST(ImplodeMatches, EveryDistanceAndLengthCopiesAsByteByByte) {
  const Bytes window = Generated("random", 4096);
  ImplodeWriter w(0, 6);
  w.Literals(window);
  Bytes expected = window;
  std::vector<unsigned> distances;
  for (unsigned d = 1; d <= 40; ++d) distances.push_back(d);
  for (unsigned d : {63u, 64u, 255u, 256u, 257u, 1000u, 4095u, 4096u}) distances.push_back(d);
  for (unsigned distance : distances) {
    for (unsigned length : {2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 517u, 518u}) {
      if (length == 2 && distance > 256) continue;
      const auto literal = static_cast<std::uint8_t>(expected.size() * 13);
      w.Literal(literal).Match(length, distance);
      expected.push_back(literal);
      for (unsigned i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
    }
  }
  const Bytes stream = w.End().Bytes();
  ASSERT_TRUE(storm::Explode(stream).bytes == expected);
  for (const Feed& feed : kFeeds) {
    SCOPED_TRACE(feed.name);
    const Decoded run = Expand(stream, feed.step);
    EXPECT_EQ(run.result, ExpandResult::kOk);
    EXPECT_TRUE(run.out == expected);
  }
}

// ---- End of input -----------------------------------------------------------------------

TEST(ImplodeEnd, EndCodeOnTheLastBitOfInput) {
  // Eight binary literals (72 bits) and the end code (16 bits) fill 11 bytes exactly.
  ImplodeWriter w(0, 4);
  w.Literals({'1', '2', '3', '4', '5', '6', '7', '8'}).End();
  ASSERT_EQ(w.BitCount() % 8, 0u);
  for (const Feed& feed : kFeeds) {
    const Decoded run = Expand(w.Bytes(), feed.step);
    EXPECT_EQ(run.result, ExpandResult::kOk) << feed.name;
    EXPECT_EQ(Str(run.out), "12345678") << feed.name;
  }
}

TEST(ImplodeEnd, EndCodeWithoutItsLastExtraBitIsAborted) {
  // The same stream one byte short: the end code lacks its extra bits.
  ImplodeWriter w(0, 4);
  w.Literals({'1', '2', '3', '4', '5', '6', '7', '8'}).End();
  Bytes stream = w.Bytes();
  stream.pop_back();
  const Decoded run = Expand(stream);
  EXPECT_EQ(run.result, ExpandResult::kAborted);
  EXPECT_EQ(Str(run.out), "12345678");
  EXPECT_EQ(run.blocks.back(), 8u);
}

TEST(ImplodeEnd, ATokenNeedsEightMoreBitsAfterIt) {
  // Eight literals and no end code fill 9 bytes: the last literal has no 8 bits after it,
  // so it is not output.
  ImplodeWriter w(0, 4);
  w.Literals({'1', '2', '3', '4', '5', '6', '7', '8'});
  ASSERT_EQ(w.BitCount(), 72u);
  const Decoded run = Expand(w.Bytes());
  EXPECT_EQ(run.result, ExpandResult::kAborted);
  EXPECT_EQ(Str(run.out), "1234567");
}

TEST(ImplodeEnd, TruncatedStreamPassesItsPartialOutput) {
  const Bytes data = Generated("text", 20000);
  Bytes stream = storm::Implode(data, storm::LiteralMode::kAscii, 4096);
  stream.resize(stream.size() / 2);
  const Decoded run = Expand(stream);
  EXPECT_EQ(run.result, ExpandResult::kAborted);
  EXPECT_GT(run.out.size(), 4096u);
  EXPECT_TRUE(std::equal(run.out.begin(), run.out.end(), data.begin()));
  EXPECT_LT(run.blocks.back(), kImplodeWriteSize);
}

// ---- Output blocks ----------------------------------------------------------------------

TEST(ImplodeBlocks, WriteCallbackSeesFullBlocksThenTheRest) {
  const struct {
    std::size_t size;
    std::vector<std::size_t> blocks;
  } cases[] = {{0, {0}},           {1, {1}},          {4095, {4095}},
               {4096, {4096, 0}},  {8192, {4096, 4096, 0}},
               {10000, {4096, 4096, 1808}}};
  for (const auto& c : cases) {
    // Built by hand for the empty output: the end code and one byte to pass the 4-byte rule.
    const Bytes stream = c.size == 0 ? ImplodeWriter(0, 6).End().Bits(0, 8).Bytes()
                                     : storm::Implode(Generated("runs", c.size),
                                                      storm::LiteralMode::kBinary, 4096);
    const Decoded run = Expand(stream);
    EXPECT_EQ(run.result, ExpandResult::kOk) << c.size;
    EXPECT_EQ(run.blocks, c.blocks) << c.size;
  }
}

}  // namespace
