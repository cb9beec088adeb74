/* Velmora: the plugin's flat C interface, usable from C and C++.
 *
 * Lifetimes, one sentence per kind of export:
 * - An export that returns an ObjectHandle hands the caller exactly one reference, which the caller
 *   gives back with the matching _Dispose export; a handle taken from another handle (an element, a
 *   collection) is independent of its parent.
 * - A callback that receives an ObjectHandle receives that reference too; the callee disposes it.
 * - Every _Dispose export ignores a null handle; _Length answers 0 and collection _GetAt answers null
 *   for a null collection handle.
 * - A returned text is borrowed: it is never null (except _GetAt of a null collection, which answers null), belongs to the object it was read from (for a
 *   collection element, the collection) and stays valid until that handle is disposed.
 * - A text argument may be null (the empty string) and is copied for the duration of the call.
 * - An asynchronous export (name ending in Async or AsyncEx) returns true when exactly one callback
 *   will follow, delivered on the host's event thread, and false when none will.
 * - A boolean flag argument is passed as a 32-bit value of which only the low byte is read, so a
 *   caller that passes a one-byte boolean in a wider register is read correctly.
 * - A synchronous accessor reports a platform failure by throwing the Platform::Exception kind of
 *   the failing HRESULT; it never returns an error code.
 */
#ifndef VELMORA_VELMORA_H
#define VELMORA_VELMORA_H

#include <stdint.h>

#ifdef __cplusplus
typedef char16_t velmora_char16;
#else
#include <stdbool.h>
#include <uchar.h>
typedef char16_t velmora_char16;
#endif

#if defined(_WIN32)
#if defined(VELMORA_BUILDING_PLUGIN)
#define VELMORA_API __declspec(dllexport)
#else
#define VELMORA_API __declspec(dllimport)
#endif
#else
#define VELMORA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct HostInterfaces;

/* A platform object handed to managed code with one reference. */
typedef void* ObjectHandle;

/* (HRESULT, result handle carrying one reference or null, user data) */
typedef void (*ManagedObjectCallback)(int32_t hr, ObjectHandle result, void* userData);
/* (HRESULT, 32-bit value, user data) */
typedef void (*ManagedValueCallback)(int32_t hr, uint32_t value, void* userData);
/* (user data) */
typedef void (*ManagedInstallCallback)(void* userData);

/* A GUID in the platform's layout. */
typedef struct VelmoraGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} VelmoraGuid;

#define VELMORA_EXPORT(result, name, params, args) VELMORA_API result name params;
#include "velmora/exports.inc"
#undef VELMORA_EXPORT

#ifdef __cplusplus
}
#endif

#endif
