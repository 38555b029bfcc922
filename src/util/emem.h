// Memory with wiping: the allocators that end the process when memory runs
// out, the wipe that the optimiser cannot drop, and the secret-holding
// containers every subsystem uses for keys, passwords and plaintext.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

// Allocation requests of 2^62 bytes or more are refused like a failed allocation.
inline constexpr size_t kAllocLimit = size_t(1) << 62;

// emalloc/ecalloc/estrdup never return null: on failure they print "Out of
// memory" through perror and end the process with status 1.
void* emalloc(size_t n);
void* ecalloc(size_t count, size_t size);
char* estrdup(const char* s);
// Grows p to new_size, wiping the old block; a smaller new_size returns p untouched.
void* erealloc(void* p, size_t new_size, size_t old_size);
void efree_mem(void* p);
[[noreturn]] void eout_of_memory();

// Writes n zero bytes; the compiler may not
// remove it even when the buffer is freed straight afterwards.
void* ewipe(void* p, size_t n);
// Wipes the characters of s (not its NUL); null is allowed.
void ewipestr(char* s);

namespace velt {

// Allocator that wipes every block before giving it back. Used by the secret
// containers below; growth through std::vector moves the bytes into a new
// block and the old block is wiped on deallocation.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n > kAllocLimit / sizeof(T)) eout_of_memory();
        return static_cast<T*>(emalloc(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept {
        ewipe(p, n * sizeof(T));
        efree_mem(p);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const noexcept {
        return true;
    }
};

// Bytes that may hold a secret (keys, passwords, plaintext, derived keys).
// Plain std::vector<uint8_t> is for public data.
using SecureBytes = std::vector<uint8_t, WipingAllocator<uint8_t>>;
// Text that may hold a secret.
using SecureString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

// Scope guard that wipes a fixed buffer (a stack array holding a key) on exit.
class WipeOnExit {
public:
    WipeOnExit(void* p, size_t n) noexcept : p_(p), n_(n) {}
    ~WipeOnExit() { ewipe(p_, n_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    void* p_;
    size_t n_;
};

}  // namespace velt
