#pragma once

#include <quendel/framework.h>

#include <string>

// The values provider: a module whose values' holders only its own code creates, clones
// and frees, whoever calls the operations.
namespace values_module {

// A type both modules know.
struct Sample {
  std::string unit;
  double value;
};

// "MakeValues" appends a Sample {"mm", 2.5}, a std::string "made there" and a value of a
// type named Local in the provider's anonymous namespace, holding 11.
using MakeValuesFunction = void (*)(framework::XVector<framework::XValue>* values);
// "ReadLocal": the number of a provider-made Local, or -1 when `value` holds none.
using ReadLocalFunction = int (*)(const framework::XValue* value);
// "FillMap" sets "count" (int 3, moved in), "label" (std::string "sensor", copied in) and
// "probe" (a holder type only the provider knows).
using FillMapFunction = void (*)(framework::XMap* map);
// "LiveProbes": probe holders made by the provider and not yet destroyed.
using LiveProbesFunction = int (*)();

}  // namespace values_module
