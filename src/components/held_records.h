#ifndef QUENDEL_COMPONENTS_HELD_RECORDS_H
#define QUENDEL_COMPONENTS_HELD_RECORDS_H

#include "quendel/component.h"

namespace framework {

// The descriptions that some factory of this process holds. A description is held by one
// factory at a time: a provider that lists one record twice, or to two factories, must see it
// refused, never deleted under the factory that holds it. Safe from any thread.

// True when `info` was held by no factory and now is.
bool ClaimRecord(const ComponentInfo* info);
// The factory that claimed `info` gives it up (before deleting it, or when refusing it).
void ForgetRecord(const ComponentInfo* info);

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_HELD_RECORDS_H
