// The catalog's test modules, one source built three ways: catalog_one offers catalog.a 1.10
// and catalog.b, catalog_two catalog.a 1.9 and catalog.c, and catalog_mismatch states
// catalog.m in its manifest while its registry entry lists catalog.a. Each is a counter that
// answers the id it was made under.
#include <cstring>

#include "components/providers.h"

namespace {

struct Part final : framework::TComponent<paired::ICounter> {
  using TComponent::TComponent;
  int DelegatQueryInterface(const char* id, void** object) override {
    if (info == nullptr || std::strcmp(id, info->id) != 0) return -1;
    return framework::RefComponentInterface(static_cast<paired::ICounter*>(this), object);
  }
  int Increment() override { return ++value; }
  int value = 0;
};

}  // namespace

using framework::Describe;
#if QUENDEL_TEST_CATALOG == 1
QUENDEL_REGISTRY_FUNCTION(One, Describe<Part>("A", "catalog.a", "1.10", 1, ""),
                          Describe<Part>("B", "catalog.b", "1.0", 1, ""));
#elif QUENDEL_TEST_CATALOG == 2
QUENDEL_REGISTRY_FUNCTION(Two, Describe<Part>("A", "catalog.a", "1.9", 2, ""),
                          Describe<Part>("C", "catalog.c", "1.0", 2, ""));
#else
constexpr framework::ComponentDescription kListed[] = {
    Describe<Part>("A", "catalog.a", "1", 3, "")};
constexpr framework::ComponentDescription kStated[] = {{"M", "catalog.m", "1", 3, "", nullptr}};
QUENDEL_MODULE_MANIFEST(kStated);
void Listed(framework::TWrap<framework::ComponentInfo>** entries, std::size_t* count) {
  static framework::TWrap<framework::ComponentInfo> list[1];
  framework::ListComponents(kListed, 1, list);
  *entries = list;
  *count = 1;
}
QUENDEL_REGISTRY_ENTRY(Listed);
#endif
