// The cache of prepared elliptic-curve keys (see keys.h): one mutex guards
// the slot table; keys are read and prepared outside it, and dropped
// entries are released after it, so the lock is held only for the table.
// An entry is immutable once cached, so users share it without a lock.
#include <pthread.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "ecc/keys.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "rng/rng.h"
#include "rsa/rsa.h"
#include "util/ct.h"

namespace velt::ecc {

EcPreparedKey::~EcPreparedKey() {
    ewipe(priv, sizeof priv);
    ewipe(d, sizeof d);
}

namespace {

// Signing and verification entries of the same string are kept apart.
enum Use : uint8_t { kSigning = 1, kVerifying = 2 };

struct Slot {
    uint8_t id[32];
    EcPreparedRef entry;
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

// Set in a child process after fork: its entries (the parent's keys) are
// dropped before the child's first use.
std::atomic<bool> g_stale{false};

// The table's lock is taken across fork, so a child never inherits it held
// by a thread that does not exist there.
const int g_atfork = pthread_atfork([] { table().lock.lock(); }, [] { table().lock.unlock(); },
                                    [] {
                                        g_stale.store(true);
                                        table().lock.unlock();
                                    });

// Moves every slot's entry out when the table is stale (lock held).
void drop_if_stale(Table& t, std::vector<EcPreparedRef>& dropped) {
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
    if (!fresh) return nullptr;
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

// HMAC-SHA-256 of the use and the key string.
bool entry_id(uint8_t id[32], const char* text, Use use) {
    const uint8_t* key = id_key();
    if (!key) return false;
    hash::Hmac h;
    if (!h.init(hash::kSha256, key, 32)) return false;
    const uint8_t kind = use;
    h.update(&kind, 1);
    h.update(text, std::strlen(text));
    h.final(id);
    return true;
}

// The slot of an id, or null (lock held).
Slot* find(Table& t, const uint8_t id[32]) {
    Slot* hit = nullptr;
    for (Slot& s : t.slots)
        if (ct::equal(s.id, id, 32)) hit = &s;
    return hit;
}

// The entry of an id, or null; a hit becomes the most recent.
EcPreparedRef lookup(const uint8_t id[32]) {
    Table& t = table();
    std::vector<EcPreparedRef> dropped;  // released after the lock
    std::lock_guard<std::mutex> g(t.lock);
    drop_if_stale(t, dropped);
    Slot* s = find(t, id);
    if (!s) return {};
    s->last_use = ++t.clock;
    return s->entry;
}

// Inserts e under id, evicting the least recently used entry when full;
// returns the entry now cached under id (another thread's, if it came
// first).
EcPreparedRef insert(const uint8_t id[32], EcPreparedRef e) {
    Table& t = table();
    std::vector<EcPreparedRef> dropped;  // released after the lock
    std::lock_guard<std::mutex> g(t.lock);
    drop_if_stale(t, dropped);
    if (Slot* s = find(t, id)) {
        s->last_use = ++t.clock;
        dropped.push_back(std::move(e));
        return s->entry;
    }
    if (t.slots.size() >= kEcCacheEntries) {
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

// Internal key strings of the elliptic-curve types, and plain base64
// (which the input reader decodes before it would look for a file).
bool cacheable(const char* text) {
    if (!text) return false;
    if (text[0] == 'P') return IK_KeyTypeIsECC(text);
    return text[0] == 'M';
}

// The prepared signing key of a parsed key, or null when it cannot sign.
std::shared_ptr<EcPreparedKey> prepare_signing(const EcKey& key, int form) {
    if (!key.is_private) return {};
    auto e = std::make_shared<EcPreparedKey>();
    if (form == kFormSafe) {
        e->safe = true;
        e->safe_id = key.safe.id;
        e->keylen = key.safe.keylen;
        std::memcpy(e->priv, key.safe.priv, sizeof e->priv);
        std::memcpy(e->pub, key.safe.pub, sizeof e->pub);
        return e;
    }
    if (form != kFormEcPrivate && form != kFormEcPki) return {};
    e->curve = key.curve;
    if (!ecPrivateScalar(key, e->d)) return {};
    return e;
}

// The prepared verification key of a parsed key, or null when it has no
// usable public key.
std::shared_ptr<EcPreparedKey> prepare_verifying(const EcKey& key, int form) {
    auto e = std::make_shared<EcPreparedKey>();
    if (form == kFormSafe) {
        e->safe = true;
        e->safe_id = key.safe.id;
        e->keylen = key.safe.keylen;
        const uint8_t* pub = key.safe.pub;
        if (key.is_private && key.safe_embedded_pub.size() == key.safe.keylen)
            pub = key.safe_embedded_pub.data();
        std::memcpy(e->pub, pub, key.safe.keylen);
        return e;
    }
    if (form != kFormEcPrivate && form != kFormEcPki && form != kFormEcSpki) return {};
    e->curve = key.curve;
    std::vector<uint8_t> q = ecPublicOctets(key);
    if (q.empty() || EC_point_from_octets(e->curve, &e->Q, q.data(), q.size()) != 0 ||
        !EC_partial_validation(e->curve, e->Q))
        return {};
    return e;
}

EcPreparedRef get(const char* text, Use use) {
    if (!cacheable(text)) return {};
    uint8_t id[32];
    WipeOnExit wipe(id, sizeof id);
    if (!entry_id(id, text, use)) return {};
    if (EcPreparedRef hit = lookup(id)) return hit;
    // The reading may write detail text (a failed attempt the caller then
    // repeats itself); the record is put back as it was.
    char saved[1024];
    const long saved_code = errsnapshot(saved, sizeof saved);
    SecureBytes der;
    EcKey key;
    int form = kFormNone;
    if (ecReadInputDer(text, der) == 0) form = ecParseKeyDer(key, der.data(), der.size());
    errclear();
    if (saved[0]) eprintf("%s", saved);
    errset(saved_code);
    if (form <= kFormNone) return {};
    std::shared_ptr<EcPreparedKey> e =
        use == kSigning ? prepare_signing(key, form) : prepare_verifying(key, form);
    if (!e) return {};
    return insert(id, std::move(e));
}

// Drops every entry (after the lock is released).
void drop_all() {
    Table& t = table();
    std::vector<EcPreparedRef> dropped;
    std::lock_guard<std::mutex> g(t.lock);
    for (Slot& s : t.slots) dropped.push_back(std::move(s.entry));
    t.slots.clear();
    g_stale.store(false);
}

struct DropAtUnload {
    ~DropAtUnload() { drop_all(); }
} g_drop_at_unload;

}  // namespace

const std::vector<uint64_t>* ecPreparedVerifyTable(const EcPreparedKey& key) {
    if (key.safe || key.uses.fetch_add(1, std::memory_order_relaxed) == 0) return nullptr;
    std::call_once(key.table_once, [&key] { key.qtable = EC_point_verify_table(key.curve, key.Q); });
    return &key.qtable;
}

EcPreparedRef ecCacheGetSigning(const char* keyString) {
    return get(keyString, kSigning);
}

EcPreparedRef ecCacheGetVerifying(const char* keyString) {
    return get(keyString, kVerifying);
}

void ecCacheClear() {
    drop_all();
}

size_t ecCacheSize() {
    Table& t = table();
    std::vector<EcPreparedRef> dropped;
    std::lock_guard<std::mutex> g(t.lock);
    drop_if_stale(t, dropped);
    return t.slots.size();
}

}  // namespace velt::ecc
