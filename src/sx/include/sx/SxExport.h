#pragma once

// The export macros of the foundation's libraries. Each public class and function carries the
// macro of the library that defines it: exported while that library is built (CMake defines
// <target>_EXPORTS there), imported everywhere else.

#if defined(_WIN32) && defined(__GNUC__)
// MinGW links imports through the import libraries (and auto-imports data), so importers need
// no attribute; with one, an inline static constant of an imported class would be looked for in
// the DLL, which never emits it.
#define SX_DLL_EXPORT __declspec(dllexport)
#define SX_DLL_IMPORT
#elif defined(_WIN32)
#define SX_DLL_EXPORT __declspec(dllexport)
#define SX_DLL_IMPORT __declspec(dllimport)
#else
#define SX_DLL_EXPORT __attribute__((visibility("default")))
#define SX_DLL_IMPORT __attribute__((visibility("default")))
#endif

#ifdef sxutil_EXPORTS
#define SXUTIL_API SX_DLL_EXPORT
#else
#define SXUTIL_API SX_DLL_IMPORT
#endif

#ifdef sxfs_EXPORTS
#define SXFS_API SX_DLL_EXPORT
#else
#define SXFS_API SX_DLL_IMPORT
#endif

#ifdef sxipc_EXPORTS
#define SXIPC_API SX_DLL_EXPORT
#else
#define SXIPC_API SX_DLL_IMPORT
#endif

#ifdef sxparserkit_EXPORTS
#define SXPARSERKIT_API SX_DLL_EXPORT
#else
#define SXPARSERKIT_API SX_DLL_IMPORT
#endif

#ifdef sxjson_EXPORTS
#define SXJSON_API SX_DLL_EXPORT
#else
#define SXJSON_API SX_DLL_IMPORT
#endif
