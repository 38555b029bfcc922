#include "frame/error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "util/emem.h"
#include "util/strl.h"

namespace {

constexpr size_t kMsgSize = 648;  // 647 characters and the NUL
constexpr size_t kPieceMax = 646;

struct ErrorRecord {
    char message[kMsgSize] = {0};
    long code = 0;
};

ErrorRecord& record() {
    static ErrorRecord r;
    return r;
}

struct ErrorEntry {
    long code;
    const char* name;
    const char* message;
};

constexpr ErrorEntry kErrorTable[] = {
    {0, "SUCCESS_NO_ERROR", "OK, success, no error"},
    {1, "OPEN_ERROR", "Cannot open input file"},
    {2, "CREATE_ERROR", "Cannot create output file"},
    {3, "READ_ERROR", "File read error"},
    {4, "WRITE_ERROR", "File write error"},
    {5, "MEMORY_ERROR", "Not enough memory"},
    {6, "BAD_PARAM_ERROR", "Parameter is wrong or missing"},
    {7, "BAD_FORMAT_ERROR", "Data in wrong format"},
    {8, "INVALID_DATA_ERROR", "Invalid data"},
    {9, "EOF_ERROR", "Unexpected end of file found"},
    {10, "MISSING_ERROR", "Required data not found"},
    {11, "OUT_OF_RANGE_ERROR", "Value out of range"},
    {12, "DUP_ERROR", "Duplicate data"},
    {13, "IO_ERROR", "Misc file IO error"},
    {14, "NULL_ERROR", "Unexpected NULL value"},
    {15, "DECRYPT_ERROR", "Decryption error"},
    {16, "EXPIRED_ERROR", "Item has expired or is not yet valid"},
    {17, "BAD_FLAG_ERROR", "Invalid option"},
    {18, "WIPE_ERROR", "Failed to wipe data"},
    {19, "NOT_SUPPORTED_ERROR", "Item is not supported"},
    {20, "NO_DATA_ERROR", "No data found to process"},
    {21, "NO_MATCH_ERROR", "No match found"},
    {22, "SIGNATURE_ERROR", "Signature is invalid"},
    {23, "TEST_FAILED_ERROR", "Failed a test e.g. known answer test"},
    {24, "KEYGEN_FAILED_ERROR", "Key generation failed"},
    {25, "ISSUER_ERROR", "Certificate issuer error"},
    {26, "BAD_LENGTH_ERROR", "Data not a valid length"},
    {27, "BAD_XML_ERROR", "Invalid XML format"},
    {29, "BAD_QUERY_ERROR", "Not a valid query"},
    {30, "SHORT_BUF_ERROR", "Not enough room in output buffer"},
    {31, "ZLIB_COMPR_ERROR", "Zlib compression error"},
    {33, "BAD_KEY_LEN_ERROR", "Invalid key length"},
    {34, "BAD_BLK_LEN_ERROR", "Invalid block length"},
    {35, "BAD_MODE_ERROR", "Invalid mode"},
    {36, "BAD_KEY_ERROR", "Invalid key"},
    {37, "BAD_IV_ERROR", "Invalid initialization vector"},
    {38, "BAD_IV_LEN_ERROR", "Invalid IV length"},
    {39, "ENCODING_ERROR", "Unable to encode"},
    {40, "AUTH_FAIL_ERROR", "Authentication failed"},
    {42, "REVOCATION_ERROR", "Item has been revoked"},
    {43, "CERT_PATH_ERROR", "Certificate path is invalid"},
    {201, "PRNG_ERR_FILE_OPEN", "PRNG: Cannot open input file"},
    {202, "PRNG_ERR_FILE_CREATE", "PRNG: Cannot create output file"},
    {203, "PRNG_ERR_FILE_READ", "PRNG: File read error"},
    {204, "PRNG_ERR_FILE_WRITE", "PRNG: File write error"},
    {205, "PRNG_ERR_FILE_LOCK", "PRNG: File locking error"},
    {210, "PRNG_ERR_UNINST", "PRNG: Uninstantiation failed"},
    {211, "PRNG_ERR_TOOBIG", "PRNG: Requested length is too large"},
    {212, "PRNG_ERR_FAILURE", "PRNG: Function failed"},
    {213, "PRNG_ERR_BADPARAM", "PRNG: Invalid input parameter"},
    {214, "PRNG_ERR_NOTAVAIL", "PRNG: Function is not available"},
    {299, "PRNG_ERR_CATASTROPHIC", "PRNG: Catastrophic failure"},
    {9745, "INTERNAL_ERROR", "Something not expected to happen has happened"},
    {9999, "MISC_ERROR", "Miscellaneous error"},
};
static_assert(sizeof(kErrorTable) / sizeof(kErrorTable[0]) == 54, "the error table has 54 entries");

const ErrorEntry* find_entry(long code) {
    if (code < 0) code = -code;
    for (const auto& e : kErrorTable)
        if (e.code == code) return &e;
    return nullptr;
}

// The lookup text "message (NAME)", empty for an unknown code.
std::string lookup_text(long code) {
    const ErrorEntry* e = find_entry(code);
    if (!e) return {};
    return std::string(e->message) + " (" + e->name + ")";
}

// Formats into a buffer of kPieceMax + 1 bytes (cut to 646 characters).
__attribute__((format(printf, 2, 0))) void format_piece(char* piece, const char* format, va_list ap) {
    int n = vsnprintf(piece, kPieceMax + 1, format, ap);
    if (n < 0) piece[0] = '\0';
}

}  // namespace

void errclear() {
    ErrorRecord& r = record();
    // Every byte past the message's NUL is already zero (each write wipes the
    // whole buffer or appends after the text), so wiping the text is enough.
    if (r.message[0] != '\0') ewipe(r.message, strnlen(r.message, sizeof r.message));
    r.code = 0;
}

long errset(long code) {
    ErrorRecord& r = record();
    if (r.code == 0 && code != 0) r.code = code < 0 ? -code : code;
    return code;
}

long errnum() { return record().code; }

const char* errmsg() { return record().message; }

void eprintf(const char* format, ...) {
    ErrorRecord& r = record();
    char piece[kPieceMax + 1];
    va_list ap;
    va_start(ap, format);
    format_piece(piece, format, ap);
    va_end(ap);
    ewipe(r.message, sizeof r.message);
    strlcpy(r.message, piece, sizeof r.message);
    ewipe(piece, sizeof piece);
}

void eprintcatf(const char* format, ...) {
    ErrorRecord& r = record();
    char piece[kPieceMax + 1];
    va_list ap;
    va_start(ap, format);
    format_piece(piece, format, ap);
    va_end(ap);
    if (r.message[0] != '\0') strlcat(r.message, "; ", sizeof r.message);
    strlcat(r.message, piece, sizeof r.message);
    ewipe(piece, sizeof piece);
}

long errlookup(char* output, long declared, long code) {
    std::string text = lookup_text(code);
    if (text.empty()) return 0;
    long len = long(text.size());
    if (!output || declared < 1) return len;
    long n = declared < len ? declared : len;
    memcpy(output, text.data(), size_t(n));
    output[n] = '\0';
    return n;
}

long errFormatErrorMessage(char* output, long declared, long code, const char* user_message) {
    const long c = code < 0 ? -code : code;
    const long s = errnum();
    std::string m(errmsg());
    if (m.size() > kMsgSize - 1) m.resize(kMsgSize - 1);

    if (c == 0 && s == 0 && m.empty()) {
        if (output && declared > 0) output[0] = '\0';
        return 0;
    }

    std::string line = "ERROR";
    if (user_message && *user_message) {
        line += ": ";
        line += user_message;
    }
    if (c != 0) {
        line += " (" + std::to_string(c) + ")";
        std::string t = lookup_text(c);
        if (t.size() > 127) t.resize(127);
        line += ": " + t;
    }
    if (s != 0 && s != c) {
        std::string t = lookup_text(s);
        if (t.size() > 127) t.resize(127);
        line += ": (" + std::to_string(s) + ") " + t;
    }
    if (!m.empty()) line += ": " + m;

    const long len = long(line.size());
    // A null output or a declared length below 1 asks for the length.
    if (output && declared >= 1) {
        if (declared < len) return -SHORT_BUF_ERROR;
        memcpy(output, line.c_str(), line.size() + 1);
    }
    return len;
}

void event_log_error(const char* message, long event_number) {
    // Append-only, and never through a symbolic link planted in the directory.
    int fd = open("velterr.log", O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return;
    FILE* fp = fdopen(fd, "a");
    if (!fp) {
        close(fd);
        return;
    }
    time_t now = time(nullptr);
    char tbuf[32];
    const char* t = ctime_r(&now, tbuf);
    fprintf(fp, "%s%s (%ld) %s\n", t ? t : "\n", "Velmora", event_number, message ? message : "");
    fclose(fp);
}

long err_from_null() {
    long s = errnum();
    return s ? -s : -INTERNAL_ERROR;
}
