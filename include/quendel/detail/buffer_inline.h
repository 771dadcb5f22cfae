#ifndef QUENDEL_DETAIL_BUFFER_INLINE_H
#define QUENDEL_DETAIL_BUFFER_INLINE_H

// Public only for inlining. Copying and dropping a buffer is inline, one atomic operation and
// no call, but the library still emits and exports the copy constructor and the destructor
// like its other members. (A class's dllexport does not reach members defined in the class
// body: they are marked one by one, and the Windows build keeps inline dllexport members.)
#if !defined(QUENDEL_FRAMEWORK_BUILD)
#define QUENDEL_BUFFER_INLINE
#elif defined(_WIN32)
#define QUENDEL_BUFFER_INLINE __declspec(dllexport)
#else
#define QUENDEL_BUFFER_INLINE __attribute__((visibility("default"), used))
#endif

#endif  // QUENDEL_DETAIL_BUFFER_INLINE_H
