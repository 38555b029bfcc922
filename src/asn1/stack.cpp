// Fixed-capacity stack of 64-bit values with a sticky error flag.
#include "asn1/asn1.h"
#include "util/emem.h"

STACK* STACK_new(size_t n) {
    STACK* s = static_cast<STACK*>(ecalloc(1, sizeof(STACK)));
    s->capacity = n;
    s->items = static_cast<uint64_t*>(ecalloc(n ? n : 1, sizeof(uint64_t)));
    return s;
}

int STACK_push(STACK* s, uint64_t value) {
    if (!s) return 0;
    if (s->count >= s->capacity) {
        s->error = 1;
        s->count = 0;
        return 0;
    }
    s->items[s->count++] = value;
    return 1;
}

uint64_t STACK_pop(STACK* s) {
    if (!s) return 0;
    if (s->count == 0) {
        s->error = 1;
        return 0;
    }
    return s->items[--s->count];
}

int STACK_iserror(const STACK* s) { return s ? s->error : 1; }

void STACK_clear(STACK* s) {
    if (s) s->count = 0;
}

void STACK_free(STACK** s) {
    if (!s || !*s) return;
    ewipe((*s)->items, ((*s)->capacity ? (*s)->capacity : 1) * sizeof(uint64_t));
    efree_mem((*s)->items);
    efree_mem(*s);
    *s = nullptr;
}
