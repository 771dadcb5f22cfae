// Model-based property tests. An area's test decodes one sequence of operations from bytes,
// runs it against the library and against a model of the contract written from first
// principles, and checks every result with MODEL_CHECK. QUENDEL_PROPERTY_TEST makes the same
// function a GoogleTest case over fixed seeds, or, built with QUENDEL_FUZZING, the libFuzzer
// entry.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#define MODEL_CHECK(condition) MODEL_CHECK_MSG(condition, "")
#define MODEL_CHECK_MSG(condition, detail)                                                  \
  do {                                                                                      \
    if (!(condition)) ::quendel::test::ModelFailed(#condition, __FILE__, __LINE__, detail); \
  } while (false)

namespace quendel::test {

inline std::string currentSequence = "fuzz input";  // for the failure message

// A failed check aborts: libFuzzer keeps the input, ctest shows the seed.
[[noreturn]] inline void ModelFailed(const char* condition, const char* file, int line,
                                     const std::string& detail) {
  std::fprintf(stderr, "%s:%d: model check failed (%s): %s %s\n", file, line,
               currentSequence.c_str(), condition, detail.c_str());
  std::abort();
}

// The operations' choices, read from the front; an exhausted input reads as zeros.
struct Bytes {
  const std::uint8_t* data;
  std::size_t size, at = 0;
  bool More() const { return at < size; }
  std::uint8_t Byte() { return at < size ? data[at++] : 0; }
  std::uint32_t Below(std::uint32_t bound) {  // in [0, bound)
    std::uint32_t value = Byte();
    if (bound > 256) value = value << 8 | Byte();
    return value % bound;
  }
};

// `seeds` sequences of 1 to `longest` bytes.
inline void RunSeeds(void (*sequence)(Bytes& input), int seeds = 400, unsigned longest = 512) {
  for (int seed = 1; seed <= seeds; ++seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    std::vector<std::uint8_t> bytes(1 + random() % longest);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    currentSequence = "seed " + std::to_string(seed);
    Bytes input{bytes.data(), bytes.size()};
    sequence(input);
  }
}

}  // namespace quendel::test

#if defined(QUENDEL_FUZZING)
#define QUENDEL_PROPERTY_TEST(Suite, sequence)                                        \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    ::quendel::test::Bytes input{data, size};                                         \
    sequence(input);                                                                  \
    return 0;                                                                         \
  }                                                                                   \
  static_assert(true, "swallows the semicolon")
#else
#include <gtest/gtest.h>
#define QUENDEL_PROPERTY_TEST(Suite, sequence) \
  TEST(Suite, RandomSequencesMatchTheModel) { ::quendel::test::RunSeeds(sequence); }
#endif
