#ifndef QUENDEL_TESTS_CONTAINERS_X_VECTOR_MODULE_VALUES_H
#define QUENDEL_TESTS_CONTAINERS_X_VECTOR_MODULE_VALUES_H

#include <string>

#include "quendel/x_vector.h"

namespace xvector_module {

// A type both modules know.
struct Sample {
  std::string unit;
  double value;
};

// Appends to `values`: a Sample {"mm", 2.5}, a std::string "made there", and a value of a
// type named Local in the provider's anonymous namespace, holding 11.
using MakeValuesFunction = void (*)(framework::XVector<framework::XValue>* values);
// The number held by a provider-made Local value, or -1 if `value` holds no such Local.
using ReadLocalFunction = int (*)(const framework::XValue* value);

constexpr char kMakeValuesSymbol[] = "XVectorMakeValues";
constexpr char kReadLocalSymbol[] = "XVectorReadLocal";

}  // namespace xvector_module

#endif  // QUENDEL_TESTS_CONTAINERS_X_VECTOR_MODULE_VALUES_H
