// A host built against the package: loads the provider named on its command line through the
// host kit, creates its component through a factory, checks the answers and unloads the
// provider. Exits non-zero on any failure.
#include <quendel/host.h>

#include <cstdio>

#include "echo.h"

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: %s PROVIDER_MODULE\n", argv[0]), 2;
  framework::host::Module module(argv[1]);
  bool ok = module.Loaded();
  if (!ok) std::fprintf(stderr, "consumer: %s\n", module.Text().c_str());
  {
    framework::TRef<framework::CTComponentFactory> factory = framework::CreateFactoryRef();
    ok = ok && factory && module.Register(*factory);
    framework::TRef<consumer::IEcho> echo = framework::CreateRef<consumer::IEcho>(factory);
    ok = ok && echo && echo->Echo(42) == 42;
    ok = ok && !framework::QueryRef<consumer::IEcho>(factory, "consumer.absent");
  }  // the factory goes before the module that made its descriptions
  ok = ok && module.Unload();
  std::printf("consumer: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
