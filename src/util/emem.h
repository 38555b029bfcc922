// Memory with wiping: the allocators, the wipe that the optimiser cannot
// drop, and the secret-holding containers every subsystem uses for keys,
// passwords and plaintext.
//
// Running out of memory never ends the process: the allocators throw
// std::bad_alloc, which the frame of every exported function turns into
// error 5 (MEMORY_ERROR).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

// Allocation requests of 2^62 bytes or more are refused like a failed allocation.
inline constexpr size_t kAllocLimit = size_t(1) << 62;

// emalloc/ecalloc/estrdup never return null: on failure (or a request of
// kAllocLimit bytes or more) they throw std::bad_alloc.
void* emalloc(size_t n);
void* ecalloc(size_t count, size_t size);
char* estrdup(const char* s);
// Grows p to new_size, wiping the old block; a smaller new_size returns p untouched.
void* erealloc(void* p, size_t new_size, size_t old_size);
void efree_mem(void* p);
// Throws std::bad_alloc.
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
// Text that may hold a secret. The wiping allocator sees only text kept on
// the heap; a short text sits in the string's own inline buffer (the
// small-string optimisation), so the destructor wipes whichever buffer is in
// use and then the inline buffer in full (text that grew onto the heap
// leaves its first characters there). Assigning a shorter text leaves the
// tail of the old one beyond the terminator until the string is destroyed
// or grows. substr keeps the type; other functions that return a new
// std::basic_string (operator+) return the base type, which is not wiped.
class SecureString : public std::basic_string<char, std::char_traits<char>, WipingAllocator<char>> {
    using Base = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

  public:
    using Base::Base;
    SecureString() noexcept = default;
    SecureString(const SecureString&) = default;
    SecureString(SecureString&&) noexcept = default;
    SecureString(const Base& b) : Base(b) {}                 // NOLINT: implicit like the base type
    SecureString(Base&& b) noexcept : Base(std::move(b)) {}  // NOLINT
    SecureString& operator=(const SecureString& o) {
        Base::operator=(o);
        return *this;
    }
    SecureString& operator=(SecureString&& o) noexcept {
        Base::operator=(std::move(o));
        return *this;
    }
    using Base::operator=;
    ~SecureString() { wipe(); }

    SecureString substr(size_type pos = 0, size_type n = npos) const { return SecureString(*this, pos, n); }

  private:
    void wipe() noexcept {
        ewipe(data(), capacity());
        // Give a heap block back (the allocator wipes it) so that data()
        // points at the inline buffer, then wipe that buffer with its last
        // byte. shrink_to_fit on an empty string allocates nothing.
        clear();
        shrink_to_fit();
        ewipe(data(), capacity() + 1);
    }
};

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
