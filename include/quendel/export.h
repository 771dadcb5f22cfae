#ifndef QUENDEL_EXPORT_H
#define QUENDEL_EXPORT_H

/// \file
/// The export switch of the library's declarations.

/// \def QUENDEL_API
/// QUENDEL_API marks every declaration that leaves the library; the rest stays hidden.
#if defined(_WIN32)
#if defined(QUENDEL_FRAMEWORK_BUILD)
#define QUENDEL_API __declspec(dllexport)
#else
#define QUENDEL_API __declspec(dllimport)
#endif
#else
#define QUENDEL_API __attribute__((visibility("default")))
#endif

#endif  // QUENDEL_EXPORT_H
