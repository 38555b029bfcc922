#include "util/inp.h"

#include <climits>
#include <cstring>
#include <new>

long InpStream::init(FILE* file, const unsigned char* memory, size_t length) {
    *this = InpStream();
    if (file) {
        file_ = file;
        return 0;
    }
    if (!memory || length == 0) return -1;
    memory_ = memory;
    length_ = length;
    return 0;
}

int InpStream::getc() {
    if (file_) {
        int c = fgetc(file_);
        return c == EOF ? -1 : c;
    }
    if (!memory_ || pos_ >= length_) return -1;
    return memory_[pos_++];
}

size_t InpStream::read(void* buffer, size_t n) {
    if (n == 0 || !buffer) return 0;
    if (file_) return fread(buffer, 1, n, file_);
    if (!memory_) return 0;
    size_t avail = length_ - pos_;
    if (n > avail) n = avail;
    memcpy(buffer, memory_ + pos_, n);
    pos_ += n;
    return n;
}

bool InpStream::eof() const {
    if (file_) return feof(file_) != 0;
    return pos_ >= length_;
}

void InpStream::rewind() {
    if (file_) {
        ::rewind(file_);
    } else {
        pos_ = 0;
    }
}

long InpStream::tell() const {
    if (file_) return ftell(file_);
    if (!memory_) return -1;
    return long(pos_);
}

long InpStream::seekcur(long offset) {
    if (file_) return fseek(file_, offset, SEEK_CUR) == 0 ? 0 : -1;
    if (!memory_) return -1;
    if (offset < 0) {
        size_t back = offset == LONG_MIN ? size_t(LONG_MAX) + 1 : size_t(-offset);
        pos_ = back > pos_ ? 0 : pos_ - back;
    } else {
        size_t fwd = size_t(offset);
        pos_ = fwd > length_ - pos_ ? length_ : pos_ + fwd;
    }
    return 0;
}

long InpStream::seekset(long offset) {
    if (file_) return fseek(file_, offset, SEEK_SET) == 0 ? 0 : -1;
    if (!memory_) return -1;
    if (offset < 0) {
        pos_ = 0;
    } else {
        pos_ = size_t(offset) > length_ ? length_ : size_t(offset);
    }
    return 0;
}

InpStream* INP_new() {
    return new InpStream();
}

void INP_free(InpStream** stream) {
    if (!stream || !*stream) return;
    **stream = InpStream();
    delete *stream;
    *stream = nullptr;
}

// A null stream reads as an empty one.
long INP_init(InpStream* s, FILE* file, const unsigned char* memory, size_t length) {
    return s ? s->init(file, memory, length) : -1;
}
int INP_getc(InpStream* s) {
    return s ? s->getc() : -1;
}
size_t INP_read(InpStream* s, void* buffer, size_t n) {
    return s ? s->read(buffer, n) : 0;
}
bool INP_eof(const InpStream* s) {
    return s ? s->eof() : true;
}
void INP_rewind(InpStream* s) {
    if (s) s->rewind();
}
long INP_tell(const InpStream* s) {
    return s ? s->tell() : -1;
}
long INP_seekcur(InpStream* s, long offset) {
    return s ? s->seekcur(offset) : -1;
}
long INP_seekset(InpStream* s, long offset) {
    return s ? s->seekset(offset) : -1;
}
FILE* INP_stream(const InpStream* s) {
    return s ? s->stream() : nullptr;
}
