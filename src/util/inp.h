// Input stream: one reading interface over either an open file or a block of
// memory, so that a parser (the ASN.1 reader) runs the same code on both.
//
// An InpStream is a plain value; it does not own the file or the memory it
// reads. In memory mode the position is clamped to [0, length]; in file mode
// the operations map onto stdio.
#pragma once

#include <cstddef>
#include <cstdio>

class InpStream {
  public:
    InpStream() = default;

    // A non-null file selects file mode (reading continues from the file's
    // own position); otherwise memory and a non-zero length are required,
    // else -1, and the position starts at 0. Returns 0.
    long init(FILE* file, const unsigned char* memory, size_t length);

    // Next byte (0 to 255), or -1 at the end.
    int getc();
    // Reads up to n bytes into buffer; returns the bytes read (short at the end).
    size_t read(void* buffer, size_t n);
    // True at the end: memory mode when the position reached the length; file
    // mode when a read has hit the end of the file.
    bool eof() const;
    void rewind();
    // Current position, or -1 on a stream without file or memory.
    long tell() const;
    // Moves the position by offset (seekcur) or to offset (seekset). Memory
    // mode clamps to [0, length]; returns 0, or -1 on a stream without file
    // and memory or when the file cannot seek.
    long seekcur(long offset);
    long seekset(long offset);
    // The file of a file-mode stream, null otherwise.
    FILE* stream() const { return file_; }

    bool is_memory() const { return memory_ != nullptr; }
    // Length of a memory-mode stream.
    size_t length() const { return length_; }

  private:
    FILE* file_ = nullptr;
    const unsigned char* memory_ = nullptr;
    size_t length_ = 0;
    size_t pos_ = 0;
};

// The same operations as free functions, for C-shaped callers. A null
// stream reads as an empty one (end of input, -1 for positions).
InpStream* INP_new();
// Clears the record, frees it and nulls the caller's pointer.
void INP_free(InpStream** stream);
long INP_init(InpStream* stream, FILE* file, const unsigned char* memory, size_t length);
int INP_getc(InpStream* stream);
size_t INP_read(InpStream* stream, void* buffer, size_t n);
bool INP_eof(const InpStream* stream);
void INP_rewind(InpStream* stream);
long INP_tell(const InpStream* stream);
long INP_seekcur(InpStream* stream, long offset);
long INP_seekset(InpStream* stream, long offset);
FILE* INP_stream(const InpStream* stream);
