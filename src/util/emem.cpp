#include "util/emem.h"

#include <cstdlib>
#include <cstring>
#include <new>

void eout_of_memory() {
    throw std::bad_alloc();
}

void* emalloc(size_t n) {
    if (n == 0) n = 1;
    if (n >= kAllocLimit) eout_of_memory();
    void* p = malloc(n);
    if (!p) eout_of_memory();
    return p;
}

void* ecalloc(size_t count, size_t size) {
    if (count == 0) count = 1;
    if (size == 0) size = 1;
    if (count > (kAllocLimit - 1) / size) eout_of_memory();  // count * size >= 2^62
    void* p = calloc(count, size);
    if (!p) eout_of_memory();
    return p;
}

char* estrdup(const char* s) {
    if (!s) s = "";
    size_t n = strlen(s) + 1;
    char* p = static_cast<char*>(emalloc(n));
    memcpy(p, s, n);
    return p;
}

void* erealloc(void* p, size_t new_size, size_t old_size) {
    if (p && new_size <= old_size) return p;
    void* q = emalloc(new_size);
    if (p) {
        memcpy(q, p, old_size);
        ewipe(p, old_size);
        free(p);
    }
    return q;
}

void efree_mem(void* p) {
    if (p) free(p);
}

void* ewipe(void* p, size_t n) {
    if (!p || n == 0) return p;
    memset(p, 0, n);
    // The barrier tells the compiler the wiped memory is observed, so the
    // stores survive even when the block is freed right after.
    __asm__ __volatile__("" : : "r"(p) : "memory");
    return p;
}

void ewipestr(char* s) {
    if (s) ewipe(s, strlen(s));
}
