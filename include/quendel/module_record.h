#ifndef QUENDEL_MODULE_RECORD_H
#define QUENDEL_MODULE_RECORD_H

/// \file
/// What a provider module says about how it was built, for a host to read before it calls any
/// of the module's functions (quendel/host.h does), and the module's count of live objects
/// behind its "can unload now" answer.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

/// \name Interface version
/// The library's interface version: the major changes only with an incompatible change, the
/// minor with additions.
/// \{
#define QUENDEL_INTERFACE_MAJOR 1  ///< the major
#define QUENDEL_INTERFACE_MINOR 0  ///< the minor
/// \}

/// \name Record values
/// Values of the record's fields.
/// \{
#define QUENDEL_COMPILER_OTHER 0             ///< a compiler not listed here
#define QUENDEL_COMPILER_GCC 1               ///< GCC
#define QUENDEL_COMPILER_CLANG 2             ///< Clang
#define QUENDEL_COMPILER_MSVC 3              ///< Microsoft's compiler
#define QUENDEL_CXX_ABI_ITANIUM 1            ///< the Itanium C++ ABI
#define QUENDEL_CXX_ABI_MICROSOFT 2          ///< the Microsoft C++ ABI
#define QUENDEL_RUNTIME_OTHER 0              ///< a C++ library not listed here
#define QUENDEL_RUNTIME_LIBSTDCXX 1          ///< GNU libstdc++, C++11 string ABI
#define QUENDEL_RUNTIME_LIBSTDCXX_OLD_ABI 2  ///< GNU libstdc++, pre-C++11 string ABI
#define QUENDEL_RUNTIME_LIBCXX 3             ///< LLVM libc++
#define QUENDEL_RUNTIME_MSVC 4               ///< Microsoft's standard library
/// \}

/// \name Values of this build
/// The values for the code being compiled.
/// \{

/// \def QUENDEL_THIS_COMPILER
/// Its compiler: a QUENDEL_COMPILER_* value.
#if defined(__clang__)
#define QUENDEL_THIS_COMPILER QUENDEL_COMPILER_CLANG
#elif defined(__GNUC__)
#define QUENDEL_THIS_COMPILER QUENDEL_COMPILER_GCC
#elif defined(_MSC_VER)
#define QUENDEL_THIS_COMPILER QUENDEL_COMPILER_MSVC
#else
#define QUENDEL_THIS_COMPILER QUENDEL_COMPILER_OTHER
#endif
/// \def QUENDEL_THIS_CXX_ABI
/// Its C++ ABI: a QUENDEL_CXX_ABI_* value.
#if defined(_MSC_VER)
#define QUENDEL_THIS_CXX_ABI QUENDEL_CXX_ABI_MICROSOFT
#else
#define QUENDEL_THIS_CXX_ABI QUENDEL_CXX_ABI_ITANIUM
#endif
/// \def QUENDEL_THIS_RUNTIME
/// Its C++ library: a QUENDEL_RUNTIME_* value.
#if defined(_LIBCPP_VERSION)
#define QUENDEL_THIS_RUNTIME QUENDEL_RUNTIME_LIBCXX
#elif defined(__GLIBCXX__) && _GLIBCXX_USE_CXX11_ABI
#define QUENDEL_THIS_RUNTIME QUENDEL_RUNTIME_LIBSTDCXX
#elif defined(__GLIBCXX__)
#define QUENDEL_THIS_RUNTIME QUENDEL_RUNTIME_LIBSTDCXX_OLD_ABI
#elif defined(_MSC_VER)
#define QUENDEL_THIS_RUNTIME QUENDEL_RUNTIME_MSVC
#else
#define QUENDEL_THIS_RUNTIME QUENDEL_RUNTIME_OTHER
#endif
/// \def QUENDEL_THIS_DEBUG
/// 1 for a debug flavour, else 0.
/// A debug flavour is one whose standard library objects are laid out or allocated otherwise:
/// Microsoft's debug runtime (_DEBUG) or libstdc++'s debug containers (_GLIBCXX_DEBUG).
#if defined(_DEBUG) || defined(_GLIBCXX_DEBUG)
#define QUENDEL_THIS_DEBUG 1
#else
#define QUENDEL_THIS_DEBUG 0
#endif
/// \}

extern "C" {

/// The module record: plain C, the same for every compiler. Later versions only append
/// fields, so a reader trusts no field beyond `size`.
struct QuendelModuleRecord {
  std::uint32_t size;            ///< of the record as the module was built
  std::uint32_t version;         ///< of this layout: 1
  std::uint32_t interfaceMajor;  ///< QUENDEL_INTERFACE_MAJOR the module was built against
  std::uint32_t interfaceMinor;  ///< QUENDEL_INTERFACE_MINOR the module was built against
  std::uint32_t pointerSize;     ///< in bytes
  std::uint32_t compiler;        ///< QUENDEL_COMPILER_*
  std::uint32_t cxxAbi;          ///< QUENDEL_CXX_ABI_*
  std::uint32_t runtime;         ///< QUENDEL_RUNTIME_*
  std::uint32_t debug;           ///< 1 for a debug flavour, else 0
};

/// "Can unload now": nonzero when none of the module's counted objects is alive. A module
/// exports a pointer to it (data, which every linker lets several files of a module define).
typedef int (*QuendelCanUnloadFunc)(void);

}  // extern "C"

/// The record of the code being compiled.
#define QUENDEL_THIS_MODULE_RECORD                                                              \
  {                                                                                             \
    sizeof(QuendelModuleRecord), 1, QUENDEL_INTERFACE_MAJOR, QUENDEL_INTERFACE_MINOR,           \
        static_cast<std::uint32_t>(sizeof(void*)), QUENDEL_THIS_COMPILER, QUENDEL_THIS_CXX_ABI, \
        QUENDEL_THIS_RUNTIME, QUENDEL_THIS_DEBUG                                                \
  }

/// \name Entry names
/// The C names a host looks for.
/// \{
#define QUENDEL_MODULE_RECORD_SYMBOL "quendel_module_record"  ///< The module record.
#define QUENDEL_CAN_UNLOAD_SYMBOL "quendel_can_unload_now"    ///< The pointer to "can unload now".
#define QUENDEL_REGISTRY_SYMBOL "quendel_registry"            ///< The registry entry.
/// \}

/// \def QUENDEL_MODULE_DATA
/// Exported data of a module, which several of its translation units may define (the linker
/// keeps one).

/// \def QUENDEL_MODULE_LOCAL
/// What stays inside the module whatever its default visibility.
#if defined(_WIN32)
#define QUENDEL_MODULE_DATA extern "C" __declspec(dllexport) __declspec(selectany)
#define QUENDEL_MODULE_LOCAL
#else
#define QUENDEL_MODULE_DATA extern "C" __attribute__((weak, visibility("default"), used))
#define QUENDEL_MODULE_LOCAL __attribute__((visibility("hidden")))
#endif

namespace framework::detail {

// Objects this module made through the helpers (components derived from TComponent, the
// descriptions of QUENDEL_REGISTRY_FUNCTION) that are still alive. Each module has its own.
QUENDEL_MODULE_LOCAL inline std::atomic<long> liveObjects{0};

QUENDEL_MODULE_LOCAL inline int CanUnloadNow() {
  return liveObjects.load(std::memory_order_acquire) == 0;
}

/// \def QUENDEL_COUNTING
/// Marks the counting operators of detail::CountedAllocation: not inlined, each module's own.
#if defined(_MSC_VER)
#define QUENDEL_COUNTING __declspec(noinline)
#elif defined(_WIN32)
// A DLL's functions are its own unless exported: GCC there has no visibility to set.
#define QUENDEL_COUNTING __attribute__((noinline))
#else
#define QUENDEL_COUNTING __attribute__((noinline, visibility("hidden")))
#endif

// A base whose objects, made with `new`, count among the module's live objects from their
// allocation until their memory is given back: after every destructor, its bases' included,
// has finished. Deleting through a virtual destructor reaches the operator delete of the
// module whose code made the object.
struct CountedAllocation {
  // Each module's own (never bound to another module's copy, which would count there), and
  // not inlined, so that compilers pair each delete with this class's operator new rather
  // than with the global one it calls.
  QUENDEL_COUNTING static void* operator new(std::size_t size) {
    return Counted(::operator new(size));
  }
  QUENDEL_COUNTING static void* operator new(std::size_t size, std::align_val_t align) {
    return Counted(::operator new(size, align));
  }
  QUENDEL_COUNTING static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Counted(::operator new(size, std::nothrow));
  }
  static void* operator new(std::size_t, void* place) noexcept { return place; }  // not counted
  QUENDEL_COUNTING static void operator delete(void* memory) noexcept {
    if (memory == nullptr) return;
    ::operator delete(memory);
    Uncounted();
  }
  QUENDEL_COUNTING static void operator delete(void* memory, std::align_val_t align) noexcept {
    if (memory == nullptr) return;
    ::operator delete(memory, align);
    Uncounted();
  }
  QUENDEL_COUNTING static void operator delete(void* memory, const std::nothrow_t&) noexcept {
    if (memory == nullptr) return;
    ::operator delete(memory);
    Uncounted();
  }
  static void operator delete(void*, void*) noexcept {}

 private:
  static void* Counted(void* memory) noexcept {
    if (memory != nullptr) liveObjects.fetch_add(1, std::memory_order_relaxed);
    return memory;
  }
  static void Uncounted() noexcept { liveObjects.fetch_sub(1, std::memory_order_release); }
};

}  // namespace framework::detail

/// Exports the module record and a pointer to "can unload now" from the module. Including
/// quendel/provider.h does it; a provider written without it puts this once in one of its files.
#define QUENDEL_MODULE_RECORD()                                           \
  QUENDEL_MODULE_DATA const QuendelModuleRecord quendel_module_record =   \
      QUENDEL_THIS_MODULE_RECORD;                                         \
  QUENDEL_MODULE_DATA const QuendelCanUnloadFunc quendel_can_unload_now = \
      &::framework::detail::CanUnloadNow;                                 \
  static_assert(true, "swallows the semicolon after the macro call")

#endif  // QUENDEL_MODULE_RECORD_H
