#include <gtest/gtest.h>

#include <string>

#include "containers/x_vector_module_values.h"
#include "support/module_loader.h"

using framework::XValue;
using framework::XVector;
using quendel::test::LoadedModule;
using quendel::test::ProviderPath;
using xvector_module::Sample;

namespace {

// Not the provider's Local, although both are "Local" in an anonymous namespace.
struct Local {
  double number;
};

TEST(XVectorModuleTest, ValuesMadeInAProviderAreReadByTypeInTheHost) {
  // Declared first: the provider's holder code must outlive every value it made.
  LoadedModule module(ProviderPath("x_vector_values_provider"));
  ASSERT_TRUE(module.Loaded()) << module.Error();
  auto makeValues =
      module.Get<xvector_module::MakeValuesFunction>(xvector_module::kMakeValuesSymbol);
  auto readLocal = module.Get<xvector_module::ReadLocalFunction>(xvector_module::kReadLocalSymbol);
  ASSERT_NE(makeValues, nullptr);
  ASSERT_NE(readLocal, nullptr);

  XVector<XValue> values;
  values.push_back(XValue(Local{1.5}));
  makeValues(&values);
  ASSERT_EQ(values.size(), 4u);

  const XVector<XValue> copies(values);  // clones through the provider's holders
  const Sample* sample = copies[1].Get<Sample>();
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->unit, "mm");
  EXPECT_EQ(sample->value, 2.5);
  EXPECT_EQ(copies[1].Get<std::string>(), nullptr);
  ASSERT_NE(copies[2].Get<std::string>(), nullptr);
  EXPECT_EQ(*copies[2].Get<std::string>(), "made there");

  EXPECT_EQ(readLocal(&copies[3]), 11);
#if defined(__GNUC__) && !defined(__clang__)
  // Only GCC marks the type information of module-local types; elsewhere the two Locals
  // cannot be told apart.
  EXPECT_EQ(copies[3].Get<Local>(), nullptr);
  EXPECT_EQ(readLocal(&copies[0]), -1);
#endif
  ASSERT_NE(copies[0].Get<Local>(), nullptr);
  EXPECT_EQ(copies[0].Get<Local>()->number, 1.5);
}

}  // namespace
