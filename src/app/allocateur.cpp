#include "app/allocateur.h"

// Any C library header tells whether this is glibc.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void reglerAllocateur()
{
#if defined(__GLIBC__)
    // glibc gives the top of its heap back as soon as 128 KiB lie free there.
    // Every data connection over TLS takes about that much and frees it, so
    // each file cost a shrink and a regrowth of the heap, and each shrink a
    // flush of every thread's address translations: a tenth of an upload of
    // small files over TLS. Fixing the trim threshold also freezes glibc's
    // mmap threshold at 128 KiB, which would then map and unmap the scratch
    // copy of every larger file: it is raised past the largest copy kept in
    // memory.
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
#endif
}

void rendreMemoireLibre()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
