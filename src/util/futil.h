// File utilities, secure temporary files and file wiping.
#pragma once

#include <cstdio>
#include <string>

// Size of a named file or an open stream in bytes, or -1.
long futil_filesize(const char* name);
long futil_filesizefp(FILE* fp);
// True when both names resolve (realpath) to the same canonical path.
bool futil_samefile(const char* a, const char* b);
// True when the file can be opened for reading.
bool futil_exists(const char* name);

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
