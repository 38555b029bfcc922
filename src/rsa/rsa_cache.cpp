// The cache of prepared keys (see rsa_cache.h). One mutex guards the slot
// table; each entry has its own for its blinding pair. Keys are read and
// prepared outside the table's lock, and dropped entries are released after
// it, so the lock is held only for the table itself.
#include "rsa/rsa_cache.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "frame/error.h"
#include "hash/hash.h"
#include "rng/rng.h"
#include "rsa/rsa_int.h"
#include "rsa/rsa_prep.h"
#include "util/ct.h"

using velt::bigd::limb;
using velt::bigd::LimbVec;

namespace {

std::atomic<void (*)(const void*, size_t)> g_observer{nullptr};

}  // namespace

struct RsaCacheEntry {
    bool priv = false;
    RsaKeyHolder key;
    RsaPrepared prep;
    long prep_rc = 0;  // the preparation's failure: such an entry is never cached
    // The next blinding pair (r^e, r^-1 mod n) and the uses since it was drawn.
    std::mutex blind_lock;
    LimbVec a, ai;
    unsigned uses = 0;

    RsaCacheEntry() = default;
    RsaCacheEntry(const RsaCacheEntry&) = delete;
    RsaCacheEntry& operator=(const RsaCacheEntry&) = delete;
    std::vector<RsaPrepared::Region> regions() {
        std::vector<RsaPrepared::Region> r = prep.regions();
        for (LimbVec* v : {&a, &ai})
            if (!v->empty()) r.push_back({v->data(), v->size() * sizeof(limb), true});
        return r;
    }
    ~RsaCacheEntry() {
        // The contexts and the key record wipe themselves as they are freed;
        // the limb arrays are wiped here first so a test can see it.
        std::vector<RsaPrepared::Region> r = regions();
        for (const auto& x : r) ewipe(x.p, x.n);
        if (auto* obs = g_observer.load())
            for (const auto& x : r) obs(x.p, x.n);
        prep.wipe();
    }
};

namespace {

struct Slot {
    uint8_t id[32];
    RsaCacheRef entry;
    uint64_t last_use;
};

struct Table {
    std::mutex lock;
    std::vector<Slot> slots;
    uint64_t clock = 0;
};

// Never destroyed, so that code running in other static destructors may
// still use it; the entries are dropped at unload by g_drop_at_unload.
Table& table() {
    static Table* t = new Table;
    return *t;
}

// Set in a child process after fork: its entries (the parent's keys and
// blinding pairs) are dropped before the child's first use.
std::atomic<bool> g_stale{false};

// The table's lock is taken across fork, so a child never inherits it
// held by a thread that does not exist there.
const int g_atfork = pthread_atfork([] { table().lock.lock(); }, [] { table().lock.unlock(); },
                                    [] {
                                        g_stale.store(true);
                                        table().lock.unlock();
                                    });

// Moves every slot's entry out when the table is stale (lock held).
void drop_if_stale(Table& t, std::vector<RsaCacheRef>& dropped) {
    if (!g_stale.exchange(false)) return;
    for (Slot& s : t.slots) dropped.push_back(std::move(s.entry));
    t.slots.clear();
}

// The per-process key of the entry digests, drawn on first use; null when
// the generator fails (nothing is cached then).
std::atomic<uint8_t*> g_id_key{nullptr};

const uint8_t* id_key() {
    uint8_t* k = g_id_key.load(std::memory_order_acquire);
    if (k) return k;
    uint8_t* fresh = static_cast<uint8_t*>(emalloc(32));
    if (rngKeyMaterial(fresh, 32) != 0) {
        ewipe(fresh, 32);
        efree_mem(fresh);
        return nullptr;
    }
    if (!g_id_key.compare_exchange_strong(k, fresh, std::memory_order_acq_rel)) {
        ewipe(fresh, 32);
        efree_mem(fresh);
        return k;
    }
    return fresh;
}

// HMAC-SHA-256 of the kind (private or public) and the key string.
bool entry_id(uint8_t id[32], const char* text, bool priv) {
    const uint8_t* key = id_key();
    if (!key) return false;
    velt::hash::Hmac h;
    if (!h.init(velt::hash::kSha256, key, 32)) return false;
    const uint8_t kind = priv ? 1 : 0;
    h.update(&kind, 1);
    h.update(text, std::strlen(text));
    h.final(id);
    return true;
}

// The slot of an id, or null (lock held).
Slot* find(Table& t, const uint8_t id[32]) {
    Slot* hit = nullptr;
    for (Slot& s : t.slots)
        if (velt::ct::equal(s.id, id, 32)) hit = &s;
    return hit;
}

// The entry of an id, or null; a use makes it the most recent.
RsaCacheRef lookup(const uint8_t id[32], bool use) {
    Table& t = table();
    std::vector<RsaCacheRef> dropped;
    std::lock_guard<std::mutex> g(t.lock);
    drop_if_stale(t, dropped);
    Slot* s = find(t, id);
    if (!s) return {};
    if (use) s->last_use = ++t.clock;
    return s->entry;
}

// Inserts e under id, evicting the least recently used entry when full;
// returns the entry now cached under id (another thread's, if it came
// first).
RsaCacheRef insert(const uint8_t id[32], RsaCacheRef e) {
    Table& t = table();
    std::vector<RsaCacheRef> dropped;  // released after the lock
    std::lock_guard<std::mutex> g(t.lock);
    drop_if_stale(t, dropped);
    if (Slot* s = find(t, id)) {
        s->last_use = ++t.clock;
        dropped.push_back(std::move(e));
        return s->entry;
    }
    if (t.slots.size() >= kRsaCacheEntries) {
        size_t oldest = 0;
        for (size_t i = 1; i < t.slots.size(); ++i)
            if (t.slots[i].last_use < t.slots[oldest].last_use) oldest = i;
        dropped.push_back(std::move(t.slots[oldest].entry));
        t.slots.erase(t.slots.begin() + std::ptrdiff_t(oldest));
    }
    Slot s;
    std::memcpy(s.id, id, 32);
    s.entry = e;
    s.last_use = ++t.clock;
    t.slots.push_back(std::move(s));
    return e;
}

long get(RsaCacheRef& ref, const char* text, bool priv) {
    ref.reset();
    if (!text) return NULL_ERROR;
    uint8_t id[32];
    velt::WipeOnExit wipe(id, sizeof id);
    const bool cacheable = entry_id(id, text, priv);
    if (cacheable) {
        ref = lookup(id, true);
        if (ref) return 0;
    }
    auto e = std::make_shared<RsaCacheEntry>();
    e->priv = priv;
    long rc =
        priv ? rsaMakePrivateKeyFromB64(e->key.get(), text) : rsaMakePublicKeyFromB64(e->key.get(), text);
    if (rc != 0) return rc;
    e->prep_rc = priv ? rsaPreparePrivate(e->prep, e->key.get()) : rsaPreparePublic(e->prep, e->key.get());
    ref = cacheable && e->prep_rc == 0 ? insert(id, std::move(e)) : std::move(e);
    return 0;
}

// Drops every entry (after the lock is released).
void drop_all() {
    Table& t = table();
    std::vector<RsaCacheRef> dropped;
    std::lock_guard<std::mutex> g(t.lock);
    for (Slot& s : t.slots) dropped.push_back(std::move(s.entry));
    t.slots.clear();
    g_stale.store(false);
}

struct DropAtUnload {
    ~DropAtUnload() { drop_all(); }
} g_drop_at_unload;

// Copies out the entry's next blinding pair and advances it by squaring,
// drawing a fresh one first every kRsaBlindingUses uses: each operation
// gets a pair no other operation uses.
long take_pair(RsaCacheEntry& e, limb* a, limb* ai) {
    const size_t nn = e.prep.nn;
    std::lock_guard<std::mutex> g(e.blind_lock);
    if (e.a.empty() || e.uses >= kRsaBlindingUses) {
        e.a.assign(nn, 0);
        e.ai.assign(nn, 0);
        // The process id as additional input: parent and child never draw
        // the same pair even from a generator state they share.
        const pid_t pid = getpid();
        long rc = rsaBlindingDraw(e.prep, e.a.data(), e.ai.data(),
                                  reinterpret_cast<const unsigned char*>(&pid), sizeof pid);
        if (rc != 0) {
            e.a.clear();
            e.ai.clear();
            return rc;
        }
        e.uses = 0;
    }
    std::memcpy(a, e.a.data(), nn * sizeof(limb));
    std::memcpy(ai, e.ai.data(), nn * sizeof(limb));
    rsaBlindingSquare(e.prep, e.a.data(), e.ai.data());
    ++e.uses;
    return 0;
}

}  // namespace

long rsaCacheGetPrivate(RsaCacheRef& ref, const char* keyString) {
    return get(ref, keyString, true);
}
long rsaCacheGetPublic(RsaCacheRef& ref, const char* keyString) {
    return get(ref, keyString, false);
}

const RsaKey* rsaCacheKey(const RsaCacheRef& ref) {
    return ref ? ref->key.get() : nullptr;
}

long rsaCachePrivateRaw(const RsaCacheRef& ref, unsigned char* out, size_t* outlen, const unsigned char* in,
                        size_t inlen) {
    if (!ref) return NULL_ERROR;
    RsaCacheEntry& e = *ref;
    const RsaKey* key = e.key.get();
    // Keys outside the limb form, and every failure of the preparation,
    // take the record's path (which reports them in its own order).
    if (!e.priv || e.prep_rc != 0 || !e.prep.crt_ready) return rsaPrivateRaw(key, out, outlen, in, inlen);
    const size_t k = rsaBlockLength(key);
    LimbVec a(e.prep.nn), ai(e.prep.nn);
    long rc = take_pair(e, a.data(), ai.data());
    if (rc != 0) return rc;
    rc = rsaPreparedPrivateRaw(e.prep, out, k, in, inlen, a.data(), ai.data());
    if (rc != 0) return rc;
    if (outlen) *outlen = k;
    return 0;
}

long rsaCachePublicRaw(const RsaCacheRef& ref, unsigned char* out, size_t* outlen, const unsigned char* in,
                       size_t inlen) {
    if (!ref) return NULL_ERROR;
    RsaCacheEntry& e = *ref;
    const RsaKey* key = e.key.get();
    if (e.prep_rc != 0 || !e.prep.pub_ready) return rsaPublicRaw(key, out, outlen, in, inlen);
    const size_t k = rsaBlockLength(key);
    long rc = rsaPreparedPublicRaw(e.prep, out, k, in, inlen);
    if (rc != 0) return rc;
    if (outlen) *outlen = k;
    return 0;
}

void rsaCacheClear() {
    drop_all();
}

size_t rsaCacheSize() {
    Table& t = table();
    std::vector<RsaCacheRef> dropped;
    std::lock_guard<std::mutex> g(t.lock);
    drop_if_stale(t, dropped);
    return t.slots.size();
}

namespace {

RsaCacheRef cached(const char* keyString, bool priv) {
    uint8_t id[32];
    if (!keyString || !entry_id(id, keyString, priv)) return {};
    return lookup(id, false);
}

}  // namespace

std::vector<RsaCacheRegion> rsaCacheRegions(const char* keyString, bool priv) {
    std::vector<RsaCacheRegion> out;
    RsaCacheRef e = cached(keyString, priv);
    if (!e) return out;
    std::lock_guard<std::mutex> g(e->blind_lock);
    for (const auto& r : e->regions()) out.push_back({r.p, r.n, r.secret});
    return out;
}

std::vector<uint64_t> rsaCacheBlindingPair(const char* keyString) {
    std::vector<uint64_t> out;
    RsaCacheRef e = cached(keyString, true);
    if (!e) return out;
    std::lock_guard<std::mutex> g(e->blind_lock);
    out.insert(out.end(), e->a.begin(), e->a.end());
    out.insert(out.end(), e->ai.begin(), e->ai.end());
    return out;
}

void rsaCacheSetWipeObserver(void (*observer)(const void* p, size_t n)) {
    g_observer.store(observer);
}
