// PEM (RFC 7468) finding, reading and writing, and the recognition of the
// one string argument that may be a file name, PEM text, base64 text or (in
// a file) a BER encoding. What other subsystems may call.
//
// Readers return ASN.1 chains owned by the caller (asn_Free).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct AsnNode;

// ---- Recognisers ----
bool PEM_IsPEMString(const char* s);
bool PEM_IsBase64SeqString(const char* s);
bool PEM_IsBase64String(const char* s);
// Peek at a stream's next byte (pushed back).
bool PEM_IsBERSeq(FILE* stream);
bool PEM_IsBase64SeqStream(FILE* stream);
// Start of the base64 body of the first PEM block in text[0..length) and its
// length in *bodyLength; null when there is none.
const char* PEM_FindEncoded(const char* text, size_t length, size_t* bodyLength);

// ---- Writers ----
// A PEM block (label lines only when the label is non-empty) with CR LF line
// ends, or LF alone when flag bit 1 is set; lines of lineLength characters
// (64 below 4, else rounded down to a multiple of 4). Returns the characters
// written; -1 for missing or empty data.
long b64encapsulate(FILE* out, const uint8_t* data, size_t length, const char* label, long lineLength);
long b64encapsulate_ex(FILE* out, const uint8_t* data, size_t length, const char* label, long lineLength,
                       long flag);
// The same from a stream read 3 bytes at a time.
long b64encap_f2f(FILE* out, FILE* in, const char* label, long lineLength, long flag);
// Replaces a binary file by its PEM form (option 0x20000: LF alone):
// 0, 1 (cannot be read), 2 (cannot be rewritten).
long PEM_ConvertFileFromBinaryEx(const char* file, const char* label, long lineLength, long options);
long PEM_ConvertFileFromBinary(const char* file, const char* label);

// ---- Readers ----
// Decoded body bytes of the PEM text in a stream (caller frees with
// efree_mem after wiping *length bytes); null with 0.
uint8_t* PEM_ReadStream(FILE* stream, size_t* length);
AsnNode* PEM_ReadPEMString(const char* s);
AsnNode* PEM_ReadSeqFromBEROrPEMStream(FILE* stream);
AsnNode* PEM_ReadPEMOrB64Stream(FILE* stream);
// PEM text, base64 text starting with "M", or a file holding BER or PEM;
// *error 0, -1 (cannot open) or -7 (unreadable content).
AsnNode* PEM_ReadSeqFromFileOrPEMString(const char* s, long* error);
AsnNode* pemReadAsnFromString(const char* s, size_t minimumLength);
// *error 0, -14, -8 or -1 with the messages of the error record.
AsnNode* pemReadAsnFromFileOrString(const char* s, size_t minimumLength, long* error);
AsnNode* pemReadAsnFromAnything(const char* s, long* error);
// Decodes PEM or plain base64 text from a stream; returns the bytes written.
long b64decap_f2f(FILE* out, FILE* in);

// ---- File converters behind the PEM_ exports (positive error codes) ----
long pemFileFromBinFile(const char* outFile, const char* inFile, const char* label, long lineLength, long options);
long pemFileToBinFile(const char* outFile, const char* inFile);

// 0 for a certificates-only PKCS #7 signedData (empty digestAlgorithms and
// signerInfos), 1 for any other ContentInfo or SEQUENCE, -7 when the input
// is not a SEQUENCE, or the reader's error code.
long pemCheckIsP7Chain(const char* s);
