#ifndef QUENDEL_VISIBILITY_H
#define QUENDEL_VISIBILITY_H

// Nested classes of an exported class would be exported with it; this keeps the private
// ones inside the library.
#if defined(_WIN32)
#define QUENDEL_HIDDEN
#else
#define QUENDEL_HIDDEN __attribute__((visibility("hidden")))
#endif

#endif  // QUENDEL_VISIBILITY_H
