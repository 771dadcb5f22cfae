#ifndef QUENDEL_TESTS_CONTAINERS_X_MAP_MODULE_VALUES_H
#define QUENDEL_TESTS_CONTAINERS_X_MAP_MODULE_VALUES_H

#include <string>

namespace framework {
class XMap;
}

namespace xmap_module {

// A type both modules know, held in values that the provider makes.
struct Reading {
  std::string unit;
  double value;
};

// Fills `map` with "count" (int 3), "label" (std::string "sensor"), "reading" (a Reading of
// 21.5 "C"), "nothing" (an empty value) and "probe" (a holder type only the provider knows).
using FillFunction = void (*)(framework::XMap* map);
// How many probe holders the provider's code has made and not yet destroyed.
using LiveProbesFunction = int (*)();

constexpr char kFillSymbol[] = "XMapFillValues";
constexpr char kLiveProbesSymbol[] = "XMapLiveProbes";

}  // namespace xmap_module

#endif  // QUENDEL_TESTS_CONTAINERS_X_MAP_MODULE_VALUES_H
