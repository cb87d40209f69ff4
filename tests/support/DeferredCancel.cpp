// Linked into the programs that scan through SANE's test backend, which cancels its reader thread
// asynchronously right after the reader wrote a page's last bytes, while it may be inside free(): the
// malloc arena stays locked, the dying thread waits for it for good and so does the scan that joins it.
// Here every cancel type asked for is deferred: a reader is cancelled where it waits, never inside free().
#include <dlfcn.h>
#include <pthread.h>

extern "C" int pthread_setcanceltype(int, int *old)
{
    using Fn = int (*)(int, int *);
    static const Fn next = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_setcanceltype"));
    return next ? next(PTHREAD_CANCEL_DEFERRED, old) : 0;
}
