// A module that exports the provider names as the wrong kinds: the record and "can unload now"
// as functions, the registry entry as data. A host must refuse it without calling anything.
#define QUENDEL_NO_MODULE_RECORD
#include <quendel/provider.h>

QUENDEL_PROVIDER_EXPORT int quendel_module_record() { return 0; }
QUENDEL_PROVIDER_EXPORT int quendel_can_unload_now() { return 1; }
QUENDEL_MODULE_DATA const int quendel_registry = 0;
