// The one writer of output files. Every exported function that writes a file
// goes through it:
//   1. an existing target must be a regular file: a directory, FIFO, device,
//      socket or symbolic link is refused and left alone;
//   2. the content goes to a new temporary file in the target's folder,
//      created with O_CREAT | O_EXCL | O_NOFOLLOW, mode 0600 for secrets
//      (whatever the umask) or 0644 less the umask otherwise;
//   3. the temporary file is flushed to the device (fsync) and closed;
//   4. it is renamed over the target, so readers see the old file or the new
//      one, never a partial one, and an existing file of someone else is
//      replaced by a fresh inode owned by the caller.
// On any failure the temporary file is removed, the target is untouched, and
// the detail message of the error record says which step failed (create,
// write, flush or rename), naming the file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "frame/error.h"

namespace velt {

// The error code a caller reports for each step that can fail.
struct WriteCodes {
    long create;  // target refused, temporary file not created, rename failed
    long write;   // a write failed (disk full, file-size limit, I/O error)
    long flush;   // fsync or close failed
};
inline constexpr WriteCodes kWriteCodes{CREATE_ERROR, WRITE_ERROR, WRITE_ERROR};

// Secret content (private keys, decrypted data) is created 0600 whatever the
// umask; public content 0644 less the umask.
enum class WriteMode { kPublic, kSecret };

// Streaming form: open, write any number of chunks, commit. Destroying an
// uncommitted writer (or calling abort) removes the temporary file.
class SafeWriter {
  public:
    explicit SafeWriter(WriteCodes codes = kWriteCodes) noexcept : codes_(codes) {}
    ~SafeWriter() { abort(); }
    SafeWriter(const SafeWriter&) = delete;
    SafeWriter& operator=(const SafeWriter&) = delete;

    // Checks the target and creates the temporary file: 0 or codes.create.
    long open(const char* target, WriteMode mode);
    // Appends n bytes: 0 or codes.write (the writer is then aborted).
    long write(const void* data, size_t n);
    // Flushes and closes the temporary file: 0 or codes.flush. commit() calls
    // it when needed; calling it first lets a caller stage several files
    // before renaming any of them.
    long finish();
    // Renames the temporary file over the target: 0 or a code as above.
    long commit();
    // Removes the temporary file (no effect once committed).
    void abort();
    // After a commit: removes the target again if it did not exist before and
    // still is the file written here (undoes one file of a set whose later
    // member failed). A target that existed before is never removed.
    void undo_commit();

    // What failed, or empty.
    const std::string& detail() const { return detail_; }

  private:
    long fail(long code, const char* what, int err);

    WriteCodes codes_;
    std::string target_, temp_, detail_;
    int fd_ = -1;
    bool open_ = false, finished_ = false, committed_ = false, existed_ = false;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
};

// Whole-buffer form: open, write, commit. 0 or one of codes.
long safe_write_file(const char* target, const void* data, size_t n, WriteMode mode,
                     WriteCodes codes = kWriteCodes);

// True when the two names are equal or name the same existing file (device
// and inode, links followed): an output must never overwrite its own input.
bool safe_same_file(const char* a, const char* b);

// Replaces the detail message by the formatted headline followed by "; " and
// the previous message (the writer's reason), for callers whose failure has a
// headline of its own ("Unable to create key file %s").
void eprint_headline(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velt
