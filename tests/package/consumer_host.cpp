// A host built against the package: loads the provider named on its command line, creates
// its component through a factory and checks the answers. Exits non-zero on any failure.
#include <dlfcn.h>

#include <cstdio>

#include "echo.h"

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: %s PROVIDER_MODULE\n", argv[0]), 2;
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "consumer: %s\n", dlerror());
    return 1;
  }
  auto registry = reinterpret_cast<framework::ComponentRegistryFunc>(
      dlsym(module, consumer::kRegistryFunction));
  bool ok = registry != nullptr;
  {
    framework::TRef<framework::CTComponentFactory> factory = framework::CreateFactoryRef();
    ok = ok && factory && factory->RegistryComponent(registry) == 0;
    framework::TRef<consumer::IEcho> echo = framework::CreateRef<consumer::IEcho>(factory);
    ok = ok && echo && echo->Echo(42) == 42;
    ok = ok && !framework::QueryRef<consumer::IEcho>(factory, "consumer.absent");
  }  // the factory goes before the module that made its descriptions
  dlclose(module);
  std::printf("consumer: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
