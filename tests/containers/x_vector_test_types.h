#ifndef QUENDEL_TESTS_CONTAINERS_X_VECTOR_TEST_TYPES_H
#define QUENDEL_TESTS_CONTAINERS_X_VECTOR_TEST_TYPES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "quendel/component.h"
#include "quendel/x_vector.h"

namespace quendel::test {

using framework::CTUnknown;
using framework::XBuffer;
using framework::XImage;
using framework::XValue;
using framework::XVector;

using XVectorElementTypes =
    ::testing::Types<char, int, unsigned int, float, std::int64_t, std::uint64_t, char*, CTUnknown*,
                     XBuffer, XImage, XValue, XVector<char>, XVector<int>, XVector<unsigned int>,
                     XVector<float>, XVector<char*>, XVector<std::int64_t>, XVector<std::uint64_t>>;

// Readable names for the typed tests, in the order of XVectorElementTypes.
struct XVectorElementTypeNames {
  template <typename T>
  static std::string GetName(int index) {
    static const char* const kNames[] = {"char",          "int",
                                         "unsigned",      "float",
                                         "int64",         "uint64",
                                         "charPointer",   "unknownPointer",
                                         "XBuffer",       "XImage",
                                         "XValue",        "vectorOfChar",
                                         "vectorOfInt",   "vectorOfUnsigned",
                                         "vectorOfFloat", "vectorOfCharPointer",
                                         "vectorOfInt64", "vectorOfUint64"};
    return kNames[index];
  }
};

// The message of the `Exception` that `call` throws; other exceptions pass through.
template <typename Exception, typename Call>
std::string MessageOf(Call call) {
  try {
    call();
  } catch (const Exception& error) {
    return error.what();
  }
  return "nothing thrown";
}

}  // namespace quendel::test

#endif  // QUENDEL_TESTS_CONTAINERS_X_VECTOR_TEST_TYPES_H
