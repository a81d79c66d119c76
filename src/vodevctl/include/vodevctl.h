/* The device-control library: registry writes carried out on behalf of callers that lack the
 * rights, addressed by NT key paths ("\Registry\Machine\..." or "\Registry\User\...").
 *
 * Texts are NUL-terminated UTF-16. Every function returns 0 on success and a non-zero status on
 * failure (a malformed NT key path, a key or value that cannot be written); nothing is ever thrown
 * to the caller: lack of memory gives ERROR_NOT_ENOUGH_MEMORY, any other unexpected failure
 * ERROR_REGISTRY_IO_FAILED. */
#ifndef VODEVCTL_H
#define VODEVCTL_H

#include <stdint.h>

#ifdef _WIN32
#include <wchar.h>
typedef wchar_t VoDevChar16;
#define VODEVCTL_API __declspec(dllexport)
#else
#ifdef __cplusplus
typedef char16_t VoDevChar16;
#else
#include <uchar.h>
typedef char16_t VoDevChar16;
#endif
#define VODEVCTL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Creates the key keyName below the key parentNtPath. A key that exists already is success. */
VODEVCTL_API int32_t voDriveCreateRegKey(const VoDevChar16* parentNtPath,
                                         const VoDevChar16* keyName);

/* Sets the value valueName of the key ntKeyPath to the Windows type code and the size bytes at
 * data, replacing an existing value. */
VODEVCTL_API int32_t voDriveSetRegKeyValue(const VoDevChar16* ntKeyPath,
                                           const VoDevChar16* valueName, uint32_t type,
                                           const void* data, uint64_t size);

/* Deletes the value valueName of the key ntKeyPath. */
VODEVCTL_API int32_t voDriveRemoveRegKeyValue(const VoDevChar16* ntKeyPath,
                                              const VoDevChar16* valueName);

#ifdef __cplusplus
}
#endif

#endif
