// File utilities, secure temporary files and file wiping.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "morvanevelt.h"
#include "util/emem.h"

// Largest file that a reader of keys, certificates, CRLs, CMS objects,
// PKCS #12 and PEM files reads whole into memory: 64 MiB, stated in the
// public header. Larger content goes through the streaming functions.
inline constexpr size_t kMaxInputFileSize = size_t(VELT_MAX_INPUT_FILE);
static_assert(kMaxInputFileSize == size_t(64) << 20, "64 MiB");

// Size of a named file or an open stream in bytes, or -1.
long futil_filesize(const char* name);
long futil_filesizefp(FILE* fp);
// True when both names resolve (realpath) to the same canonical path.
bool futil_samefile(const char* a, const char* b);
// True when the file can be opened for reading.
bool futil_exists(const char* name);

// How an argument that may hold key material or a password (a file name or
// the PEM, base64 or key text itself) appears in a detail message: the
// quoted name ('name') when it names an existing file, otherwise
// "(string)". The text of a string is never shown.
std::string describe_input(const char* s);

// Opens a named file for a whole-file read. Opening never blocks (a FIFO
// without a writer is refused, not waited for); anything but a regular file
// (directory, FIFO, device such as /dev/zero, socket) and a file larger than
// limit bytes are refused before a byte is read. Returns the stream, or
// null with *error (when non-null) set to OPEN_ERROR (cannot open, not a
// regular file) or BAD_LENGTH_ERROR (too large) and the reason in the
// detail message, which names the file.
FILE* futil_open_input(const char* name, size_t limit, long* error);

// Reads the rest of a stream into out, at most limit bytes: 0, READ_ERROR on
// a read error, BAD_LENGTH_ERROR when more than limit bytes remain (out is
// then emptied). Works on pipes too: the read goes to the end, whatever the
// file's recorded size.
long futil_read_stream(FILE* f, velt::SecureBytes& out, size_t limit);
long futil_read_stream(FILE* f, velt::SecureString& out, size_t limit);

// Creates a new temporary file and opens it as a binary update stream.
// Directories are tried in order: `directory`, $TMPDIR, "/tmp", "."; in each,
// up to 10 names "<dir>/<prefix><10 random characters>" (prefix "tmp." when
// null) are tried with exclusive creation and permissions 0600. Unless
// `keep` is set the file is unlinked at once and vanishes when closed. The
// full path is stored in *path when path is non-null. Returns null with errno
// ENOENT when no directory is usable. The random characters come from the
// library's generator.
FILE* tmpfileplus(const char* directory, const char* prefix, std::string* path, bool keep);

// Overwrites a file and removes it. Option bit 1 (value 1): one pass of zeros
// checked by reading back; otherwise zeros, 0xFF, 0xAA, 0x55, two random
// passes (the second checked by reading back) and a final pass of zeros.
// Each pass writes exactly the file's length and is flushed to the device.
// Only a regular file is wiped: a symbolic link (neither it nor its target is
// touched), FIFO, device, socket or directory is refused at once with 1.
// A file with several hard links is wiped (every link then shows the wiped,
// empty content) and only the named link is removed.
// Returns 0, 1 when the file cannot be opened or is not a regular file, 18
// when a pass, the check or the removal fails.
long wipe_file_ex(const char* name, long options);
