/* Movable memory blocks addressed by handles, with the classic Global and Local calls.
 *
 * Handles are nonzero values that fit in 32 bits (slot and generation), so records that
 * carry a handle in a 32-bit field keep their layout. A handle that was never handed out,
 * or whose block was freed, is refused: the calls answer null or 0 and never touch memory.
 * The table is thread-safe. Plug-ins link this library and share the host's table. */
#ifndef TAMRO_PLATFORM_GLOBALMEM_H
#define TAMRO_PLATFORM_GLOBALMEM_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void *HLOCAL;
typedef HLOCAL HGLOBAL;

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#if defined(__GNUC__)
#define TAMRO_GLOBALMEM_API __attribute__((visibility("default")))
#else
#define TAMRO_GLOBALMEM_API
#endif

/* Every block is movable: callers always go through Lock to reach the bytes. Blocks of
 * zero bytes are allowed. Blocks larger than TAMRO_GLOBALMEM_MAX_BLOCK are refused. */
#define TAMRO_GLOBALMEM_MAX_BLOCK ((size_t)0xFFFFFFFFu)

TAMRO_GLOBALMEM_API HGLOBAL GlobalAlloc(unsigned flags, size_t bytes);
/* Pointer to the block's bytes and one more lock, or null for a bad handle. */
TAMRO_GLOBALMEM_API void *GlobalLock(HGLOBAL mem);
/* Nonzero while the block is still locked after this call. */
TAMRO_GLOBALMEM_API int GlobalUnlock(HGLOBAL mem);
TAMRO_GLOBALMEM_API size_t GlobalSize(HGLOBAL mem);
/* Null on success, the handle itself on failure. */
TAMRO_GLOBALMEM_API HGLOBAL GlobalFree(HGLOBAL mem);
/* Resizes the block; the handle stays the same. A locked block is only moved when
 * GMEM_MOVEABLE is passed. Answers null on failure (the old block is kept). */
TAMRO_GLOBALMEM_API HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t bytes, unsigned flags);
/* Lock count of the block, 0 for a bad handle. */
TAMRO_GLOBALMEM_API unsigned GlobalLockCount(HGLOBAL mem);

TAMRO_GLOBALMEM_API HLOCAL LocalAlloc(unsigned flags, size_t bytes);
TAMRO_GLOBALMEM_API void *LocalLock(HLOCAL mem);
TAMRO_GLOBALMEM_API int LocalUnlock(HLOCAL mem);
TAMRO_GLOBALMEM_API size_t LocalSize(HLOCAL mem);
TAMRO_GLOBALMEM_API HLOCAL LocalFree(HLOCAL mem);
TAMRO_GLOBALMEM_API HLOCAL LocalReAlloc(HLOCAL mem, size_t bytes, unsigned flags);

/* Number of live blocks; for leak checks in tests. */
TAMRO_GLOBALMEM_API size_t GlobalLiveBlockCount(void);

#ifdef __cplusplus
}
#endif

#endif
