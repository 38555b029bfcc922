/*
 * morvanevelt.h - public interface of Velmora, libmorvanevelt.so.23.
 *
 * Plain C (C99 and C++). Every integer argument and result is a long; strings
 * are NUL-terminated char arrays, byte arrays unsigned char arrays with an
 * explicit length.
 *
 * Output convention: a null output pointer or a declared length of 0 or less
 * asks for the length of the complete result. Declared string lengths exclude
 * the terminating NUL (the buffer holds one byte more). Structured results are
 * copied only when they fit whole (otherwise -30); plain encoders and digests
 * truncate. A negative result is an error code; VELT_ErrorCode, VELT_LastError
 * and VELT_ErrorLookup tell more about it.
 *
 * Threads: the error record is one per process. Every function may be called
 * from any thread and the record's updates are free of data races, but the
 * record read after a call may hold another thread's failure: serialise the
 * calls (and the reading of VELT_ErrorCode and VELT_LastError) when you need
 * the error of your own call.
 *
 * Memory: no function ends the process; when memory runs out the result is
 * -5 (MEMORY_ERROR).
 *
 * Input files: a function that reads a key, certificate, CRL, CMS or
 * PKCS #12 file (or a PEM file) whole refuses, before reading it, a file
 * larger than 64 MiB (VELT_MAX_INPUT_FILE) and anything but a regular file
 * (FIFO, device, directory): the function fails with its usual code for input
 * it cannot read, and the detail message names the file and the reason.
 * Detail messages never quote an argument that may hold key material or a
 * password: such a string appears as "(string)".
 */
#ifndef MORVANEVELT_H
#define MORVANEVELT_H

#ifdef __cplusplus
extern "C" {
#endif

/* Largest input file read whole by the key, certificate, CRL, CMS, PKCS #12
   and PEM file readers: 64 MiB. */
#define VELT_MAX_INPUT_FILE 67108864L

#if defined(VELT_BUILDING_LIBRARY)
#define VELT_API __attribute__((visibility("default")))
#else
#define VELT_API
#endif

/*
 * Output files. Every function that writes a file writes it to a new temporary
 * file in the target's folder (exclusive creation, never through a link),
 * flushes it to the device and renames it over the target. On any failure the
 * temporary file is removed and the target is left as it was: a failed call
 * never leaves a partial file and never deletes an existing one. A target that
 * exists and is not a regular file (directory, FIFO, device, socket, symbolic
 * link) is refused with the function's "cannot create" code (2 unless stated)
 * and left alone. The detail message (VELT_LastError) names the file and the
 * step that failed: create, write, flush or rename. Private keys and decrypted
 * data are created with mode 0600 whatever the umask; other files with 0644
 * less the umask. An existing file at the target, whoever made it, is
 * replaced by a new file owned by the caller with that mode.
 */

/* ===== General functions (VELT_, PWD_) ===== */

/* Version number of the library (230100); both pointers are reserved. */
VELT_API long VELT_Version(void *reserved1, void *reserved2);
/* Build date and time, e.g. "Dec 19 2025 13:54:35" (20 characters). */
VELT_API long VELT_CompileTime(char *szOutput, long nOutChars);
/* Detail message of the last failure (empty if none); the process-wide record (see Threads above). */
VELT_API long VELT_LastError(char *szOutput, long nOutChars);
/* Code of the last failure, 0 if none. */
VELT_API long VELT_ErrorCode(void);
/* Message and symbolic name of an error code; 0 for an unknown code. */
VELT_API long VELT_ErrorLookup(char *szOutput, long nOutChars, long nErrCode);
/* Composite error line: "ERROR: msg (code): lookup: (stored) lookup: detail"; its length
 * (a null szOutput or nOutChars below 1 asks for it); -30 if it does not fit. */
VELT_API long VELT_FormatErrorMessage(char *szOutput, long nOutChars, long nErrCode, const char *szMsg);
/* Runs the power-up self-tests: 0 if all pass, -23 otherwise. */
VELT_API long VELT_PowerUpTests(long nOptions);
/* Module name ("Velmora", option 0) or platform name (option 64). */
VELT_API long VELT_ModuleName(char *szOutput, long nOutChars, long nOptions);
/* Platform name ("Linux"). */
VELT_API long VELT_Platform(char *szOutput, long nOutChars);
/* Reads a password line from standard input, with echo off on a terminal. nPwdLen is the size of
   szPassword in bytes, the terminating NUL included: at most nPwdLen - 1 characters are kept. The rest of a
   longer line is read and discarded (it is not left for the next read of standard input) and the detail
   message (VELT_LastError) says how many characters were dropped; the error code is not set. Returns the
   number of characters stored; 0 for a null buffer or nPwdLen below 1. */
VELT_API long PWD_Prompt(char *szPassword, long nPwdLen, const char *szCaption);
/* As PWD_Prompt with a prompt text of the caller's (null: "Enter password: "). */
VELT_API long PWD_PromptEx(char *szPassword, long nPwdLen, const char *szCaption, const char *szPrompt,
                           long nOptions);

/* end of general functions */


/* ===== Secure deletion (WIPE_) ===== */

/* Option of WIPE_File: one pass of zeros instead of seven passes. */
#define VELT_WIPEFILE_FAST 1

/* Overwrites a file and deletes it: 0, 1 (cannot open), 18 (wipe failed), 14 (null name); positive codes.
   Only a regular file is wiped: a symbolic link, FIFO, device, socket or directory is refused with 1 and left
   as it was (a link's target is never touched; a FIFO never blocks the call). A file with several hard links
   is wiped through the name given, so every link sees the wiped content; only that name is removed. */
VELT_API long WIPE_File(const char *szFileName, long nOptions);
/* Zeroes a block of memory: 0, or 6 for a null pointer or a length below 1. */
VELT_API long WIPE_Data(void *lpData, long nDataLen);

/* end of WIPE_ */


/* ===== Text encodings (CNV_) ===== */

#include <stddef.h> /* wchar_t */

/* Character sets of CNV_UTF8BytesFrom8Bit (low 4 bits of the option word). */
#define VELT_CNV_LATIN1 0
#define VELT_CNV_ISO8859_15 1
#define VELT_CNV_WINDOWS1252 2
/* Directions of CNV_ByteEncoding. */
#define VELT_CNV_UTF8_FROM_LATIN1 1
#define VELT_CNV_LATIN1_FROM_UTF8 2
/* Byte order of CNV_NumToBytes and CNV_NumFromBytes (default big-endian). */
#define VELT_CNV_LITTLE_ENDIAN 1

/* Upper-case hexadecimal of the bytes; truncated to whole pairs; -26 above LONG_MAX / 2 bytes. */
VELT_API long CNV_HexStrFromBytes(char *szOutput, long nOutChars, const unsigned char *lpInput, long nInputLen);
/* Bytes of a hexadecimal string (separators allowed); -8 for other characters. */
VELT_API long CNV_BytesFromHexStr(unsigned char *lpOutput, long nOutBytes, const char *szInput);
/* The input's hex digits only; szOutput holds nStrLen + 1 bytes (-26 for nStrLen = LONG_MAX). */
VELT_API long CNV_HexFilter(char *szOutput, const char *szInput, long nStrLen);
/* Base64 of the bytes; truncated to whole groups of four; -26 above LONG_MAX / 4 * 3 bytes. */
VELT_API long CNV_B64StrFromBytes(char *szOutput, long nOutChars, const unsigned char *lpInput, long nInputLen);
/* Bytes of a base64 string (white space allowed); -8 for other characters. */
VELT_API long CNV_BytesFromB64Str(unsigned char *lpOutput, long nOutBytes, const char *szInput);
/* The input's base64 characters and "=" only; szOutput holds nStrLen + 1 bytes (-26 for LONG_MAX). */
VELT_API long CNV_B64Filter(char *szOutput, const char *szInput, long nStrLen);
/* Base58 of the bytes; -30 if it does not fit whole; -26 for more than 65536 bytes (the conversion takes
   time quadratic in the length). */
VELT_API long CNV_Base58FromBytes(char *szOutput, long nOutChars, const unsigned char *lpInput, long nInputLen);
/* Bytes of a base58 string; -8 for an invalid character, -30 if they do not fit whole; -26 for a string
   longer than 65536 characters. */
VELT_API long CNV_Base58ToBytes(unsigned char *lpOutput, long nOutBytes, const char *szInput);
/* UTF-8 string from a Latin-1 string. */
VELT_API long CNV_UTF8FromLatin1(char *szOutput, long nOutChars, const char *szInput);
/* Latin-1 string from a UTF-8 string; -11 for a character above U+00FF. */
VELT_API long CNV_Latin1FromUTF8(char *szOutput, long nOutChars, const char *szInput);
/* UTF-8 bytes (no NUL) from a Latin-1 string. */
VELT_API long CNV_UTF8BytesFromLatin1(unsigned char *lpOutput, long nOutBytes, const char *szInput);
/* UTF-8 bytes from 8-bit text in the set chosen by VELT_CNV_LATIN1, _ISO8859_15 or _WINDOWS1252. */
VELT_API long CNV_UTF8BytesFrom8Bit(unsigned char *lpOutput, long nOutBytes, const char *szInput, long nOptions);
/* Latin-1 string from UTF-8 bytes. */
VELT_API long CNV_Latin1FromUTF8Bytes(char *szOutput, long nOutChars, const unsigned char *lpInput,
                                      long nInputLen);
/* 0 not UTF-8, 1 plain ASCII, 2 UTF-8 within Latin-1, 3 other UTF-8. */
VELT_API long CNV_CheckUTF8(const char *szInput);
/* As CNV_CheckUTF8 for a byte array. */
VELT_API long CNV_CheckUTF8Bytes(const unsigned char *lpInput, long nBytes);
/* As CNV_CheckUTF8 for a file's whole content, read to its end (a pipe too); -1 when it cannot be opened or is
   neither a regular file nor a pipe (a device, a directory), -3 on a read error. */
VELT_API long CNV_CheckUTF8File(const char *szFileName);
/* Converts bytes: option 1 Latin-1 to UTF-8 (-26 above LONG_MAX / 2 bytes), 2 UTF-8 to Latin-1. */
VELT_API long CNV_ByteEncoding(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput,
                               long nBytes, long nOptions);
/* UTF-8 string from a wide-character string; -39 for a surrogate or a value above U+10FFFF. */
VELT_API long CNV_Utf8FromWide(char *szOutput, long nOutChars, const wchar_t *wstr);
/* Not supported on this platform: always -19. */
VELT_API long CNV_ShortPathName(char *szOutput, long nOutChars, const char *szLongPathName);
/* Reverses the order of the bytes; the output may be the input. */
VELT_API long CNV_ReverseBytes(unsigned char *lpOutput, const unsigned char *lpInput, long nBytes);
/* Writes the first min(nOutBytes, 4) bytes of a 32-bit number (big-endian, or VELT_CNV_LITTLE_ENDIAN). */
VELT_API long CNV_NumToBytes(unsigned char *lpOutput, long nOutBytes, long nNumber, long nOptions);
/* The unsigned 32-bit number in the first min(nBytes, 4) bytes, missing bytes taken as 0. */
VELT_API long CNV_NumFromBytes(const unsigned char *lpInput, long nBytes, long nOptions);

/* end of CNV_ */


/* ===== PEM files (PEM_) ===== */

/* Option of PEM_FileFromBinFileEx: line feed alone instead of CR LF. */
#define VELT_PEM_LF 0x20000

/* Writes the PEM form of a binary file (label lines when szHeader is non-empty): 0 or a negative code
   (-1 input unreadable, -2 output cannot be created, -4 write or flush failure). The output is written once;
   it is mode 0600 when the input is readable by its owner only, else 0644 less the umask. */
VELT_API long PEM_FileFromBinFile(const char *szOutputFile, const char *szFileIn, const char *szHeader, long nLineLen);
/* The same with an option word (VELT_PEM_LF). */
VELT_API long PEM_FileFromBinFileEx(const char *szOutputFile, const char *szFileIn, const char *szHeader, long nLineLen, long nOptions);
/* Writes the decoded body of a PEM file as binary: 0 or a negative code (-1, -2, -4 as PEM_FileFromBinFile).
   -7 when there is no usable body: none found, empty, a character outside base64, "=" before the end,
   an incomplete last group, or RFC 1421 header lines (Proc-Type, DEK-Info). Output mode as above. */
VELT_API long PEM_FileToBinFile(const char *szOutputFile, const char *szFileIn);

/* end of PEM_ */


/* ===== ASN.1 dumps (ASN1_) ===== */

/* end of ASN1_ */


/* ===== Digests and MACs (HASH_, HMAC_) ===== */

/* Hash algorithm selector: the low 4 bits of the option word. */
#define VELT_HASH_SHA1 0
#define VELT_HASH_MD5 1
#define VELT_HASH_MD2 2
#define VELT_HASH_SHA256 3
#define VELT_HASH_SHA384 4
#define VELT_HASH_SHA512 5
#define VELT_HASH_SHA224 6
#define VELT_HASH_RMD160 7
#define VELT_HASH_RMD160_SHA256 8
#define VELT_HASH_SHA3_224 10
#define VELT_HASH_SHA3_256 11
#define VELT_HASH_SHA3_384 12
#define VELT_HASH_SHA3_512 13
/* Open files in text mode (the same bytes as binary mode here). */
#define VELT_HASH_MODE_TEXT 0x10000
/* Hash the digest once more with the same algorithm. */
#define VELT_HASH_DOUBLE 0x20000

/* Digest of a message into lpOutput (truncated to nOutBytes); digest bytes written. */
VELT_API long HASH_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpMessage, long nMsgLen,
                         long nOptions);
/* Digest of a message as lower-case hex; characters written. */
VELT_API long HASH_HexFromBytes(char *szOutput, long nOutChars, const void *lpMessage, long nMsgLen,
                                long nOptions);
/* Digest of a file's contents; digest bytes written. */
VELT_API long HASH_File(unsigned char *lpOutput, long nOutBytes, const char *szFileName, long nOptions);
/* Digest of a file's contents as lower-case hex; characters written. */
VELT_API long HASH_HexFromFile(char *szOutput, long nOutChars, const char *szFileName, long nOptions);
/* Digest of a message given in hex, as lower-case hex; characters written. */
VELT_API long HASH_HexFromHex(char *szOutput, long nOutChars, const char *szMsgHex, long nOptions);
/* Digest length in bytes of an algorithm value, or -17. */
VELT_API long HASH_Length(long nAlgId);
/* HMAC of a message under a key; MAC bytes written. */
VELT_API long HMAC_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpMessage, long nMsgLen,
                         const void *lpKey, long nKeyLen, long nOptions);
/* HMAC as lower-case hex; characters written. */
VELT_API long HMAC_HexFromBytes(char *szOutput, long nOutChars, const void *lpMessage, long nMsgLen,
                                const void *lpKey, long nKeyLen, long nOptions);
/* HMAC of a hex message under a hex key, as lower-case hex; characters written. */
VELT_API long HMAC_HexFromHex(char *szOutput, long nOutChars, const char *szMsgHex, const char *szKeyHex,
                              long nOptions);

/* end of HASH_, HMAC_ */


/* ===== Key derivation (KDF_, XOF_, PRF_, HPKE_) ===== */

/* KDF selector (bits 0xF000), OR-ed with a hash value. */
#define VELT_KDF_X963 0
#define VELT_KDF_HKDF 0x1000
#define VELT_KDF_KDF2 0x2000
#define VELT_KDF_KDF3 0x3000
/* XOF and PRF selectors. */
#define VELT_KMAC_128 0x201
#define VELT_KMAC_256 0x202
#define VELT_XOF_SHAKE128 0x203
#define VELT_XOF_SHAKE256 0x204
#define VELT_XOF_MGF1 0x210
#ifndef VELT_ENCODE_HEX
#define VELT_ENCODE_HEX 0x30000
#endif

/* Derives nOutBytes from shared secret Z and shared info; 0. szParams: "salt=<hex>" for HKDF only
 * (-6 with another KDF); -7 for a salt that is not hex, -8 for an odd number of digits. */
VELT_API long KDF_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpZ, long nZLen, const void *lpInfo,
                        long nInfoLen, const char *szParams, long nOptions);
/* SHAKE128/256 or MGF1 output of a message; the output length. */
VELT_API long XOF_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpMessage, long nMsgLen,
                        long nOptions);
/* KMAC128/256 of a message under a key with a customization string; the output length. */
VELT_API long PRF_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpMessage, long nMsgLen,
                        const void *lpKey, long nKeyLen, const char *szCustom, long nOptions);
/* HPKE LabeledExtract with the hash of the curve's KEM; Nh (a null lpOutput or nOutBytes below 1
 * asks for it); -30 below Nh. */
VELT_API long HPKE_LabeledExtract(unsigned char *lpOutput, long nOutBytes, const void *lpSalt, long nSaltLen,
                                  const char *szLabel, const void *lpIkm, long nIkmLen, const char *szCurveName,
                                  const char *szParams, long nOptions);
/* HPKE LabeledExpand to nOutBytes; 0; -6 for a null lpPrk with nPrkLen above 0. */
VELT_API long HPKE_LabeledExpand(unsigned char *lpOutput, long nOutBytes, const void *lpPrk, long nPrkLen,
                                 const char *szLabel, const void *lpInfo, long nInfoLen, const char *szCurveName,
                                 const char *szParams, long nOptions);
/* HPKE DeriveKeyPair private key as an internal key string or (VELT_ENCODE_HEX) hex; characters. */
VELT_API long HPKE_DerivePrivateKey(char *szOutput, long nOutChars, const void *lpIkm, long nIkmLen,
                                    const char *szCurveName, const char *szParams, long nOptions);

/* end of KDF_, XOF_, PRF_, HPKE_ */


/* ===== Random numbers (RNG_) ===== */

/* nOutputLen (<= 65536) random bytes; lpSeed: optional additional input. 0; 6 or 211 positive. */
VELT_API long RNG_Bytes(unsigned char *lpOutput, long nOutputLen, const unsigned char *lpSeed, long nSeedLen);
/* As RNG_Bytes after gathering keystroke entropy (option 0-3 strength, 0x100000 console). */
VELT_API long RNG_BytesWithPrompt(unsigned char *lpOutput, long nOutputLen, const char *szPrompt, long nOptions);
/* A uniformly chosen integer in [nLower, nUpper]; nLower if nUpper <= nLower. */
VELT_API long RNG_Number(long nLower, long nUpper);
/* Version-4 UUID as 36 lower-case characters; 36, or -30 if nOutChars < 36. */
VELT_API long RNG_Guid(char *szOutput, long nOutChars, long nOptions);
/* Seed files: a seed file is a regular file owned by the caller, opened without following a symbolic
   link; its mode is narrowed to 0600 when it is used, and it is locked (lockf, first 128 bytes) before
   it is read, rewritten or truncated. A symbolic link, a file that is not regular (directory, FIFO,
   device) or another user's file is refused and left untouched: -201 when updating, -202 when writing
   a new file; -205 lock failure, -204 write failure. */
/* Updates the seed file, or creates it (0600) when it does not exist; without a file name, the hardware
   level (1-3) or -214 (0x80000: no hardware). 0 or a negative code (see above). */
VELT_API long RNG_Initialize(const char *szSeedFile, long nOptions);
/* Writes a new 128-byte seed file (0600) after gathering keystroke entropy; an existing file is
   replaced in place under the lock. 0 or a negative code (see above); empty name -6. */
VELT_API long RNG_MakeSeedFile(const char *szSeedFile, const char *szPrompt, long nOptions);
/* Reseeds the generator from an existing seed file and rewrites its first 128 bytes. 0 or a negative
   code: -201 no such file or refused (see above); empty name -6. */
VELT_API long RNG_UpdateSeedFile(const char *szSeedFile, long nOptions);
/* Health check and FIPS 140-2 statistical tests; 0 pass, 1 failed, negative on error (-202 report file
   cannot be created, -204 it cannot be written). */
VELT_API long RNG_Test(const char *szFileName, long nOptions);
/* One HMAC_DRBG SHA-512 test vector in hex (option 0x10000: reseed after the first generate). */
VELT_API long RNG_TestDRBGVS(char *szOutput, long nOutChars, long nReturnedBitsLen, const char *szEntropyInput,
                             const char *szNonce, const char *szPersonalizationString,
                             const char *szAdditionalInput1, const char *szEntropyReseed,
                             const char *szAdditionalInputReseed, const char *szAdditionalInput2, long nOptions);

/* end of RNG_ */


/* ===== RSA (RSA_) ===== */

/* Internal key strings are wrapped under a per-process key made from the generator on first use. A child
   process keeps its parent's key, so key strings made before a fork stay usable in the child. When the
   generator fails while making that key, a function that makes or reads a key string gives error 212
   (-212, or 212 where the function returns positive errors), not invalid data. */

/* Generates an RSA key pair: public key file and encrypted private key file (mode 0600). Both files are
   written in full before either replaces its target; 0 or a negative code: -4 private key file cannot be
   created, -13 it cannot be written, -2/-4/-13 the same for the public key file. If the public key file cannot
   be put in place, a private key file this call created is removed again (one that existed before is not). */
VELT_API long RSA_MakeKeys(const char *szPubKeyFile, const char *szPriKeyFile, long nBits, long nExpFermat,
                           long nTests, long nCount, const char *szPassword, const void *lpSeed, long nSeedLen,
                           long nOptions);
/* As RSA_MakeKeys with a parameter string ("count=N;prf=NAME;rngseed=TEXT;tests=N"). */
VELT_API long RSA_MakeKeysXtd(const char *szPubKeyFile, const char *szPriKeyFile, const char *szPassword,
                              long nBits, long nExpFermat, const char *szParams, long nOptions);
/* Raw public-key operation in place (data length = key length); 0 or a positive error: 33 for a key
   above the size limits (see RSA_ReadPublicKey). */
VELT_API long RSA_RawPublic(unsigned char *lpData, long nDataLen, const char *szPublicKey64, long nOptions);
/* Raw private-key operation in place; 0 or a positive error (33 for a key above the size limits). */
VELT_API long RSA_RawPrivate(unsigned char *lpData, long nDataLen, const char *szPrivateKey64, long nOptions);
/* 0 for a valid private key, 1 for a valid public key, else a negative error. A private key is valid
   when 1 < p, 1 < q, p*q = n, dP = d mod (p-1), dQ = d mod (q-1), qInv < p, qInv*q = 1 mod p (or all
   five CRT fields are zero) and the pair-wise test passes; else -23. -33 for a key above the size
   limits, -8 for an unreadable one. */
VELT_API long RSA_CheckKey(const char *szKeyString, long nOptions);
/* 0 when the private and public key strings form a pair. */
VELT_API long RSA_KeyMatch(const char *szPrivateKey64, const char *szPublicKey64);
/* 32-bit hash code of a key's public part (0 on error). */
VELT_API long RSA_KeyHashCode(const char *szKeyString);
/* Bit length of the key's modulus. */
VELT_API long RSA_KeyBits(const char *szKeyString);
/* Length of the key's modulus in bytes. */
VELT_API long RSA_KeyBytes(const char *szKeyString);
/* Public key string of a private key string. */
VELT_API long RSA_PublicKeyFromPrivate(char *szOutput, long nOutChars, const char *szKeyString, long nOptions);

/* Encrypts with PKCS #1 v1.5 or OAEP (options); returns the block length written. */
VELT_API long RSA_Encrypt(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput, long nInputLen,
                          const char *szPublicKeyFile, const char *szParams, long nOptions);
/* Decrypts a PKCS #1 v1.5 or OAEP block; returns the message length. */
VELT_API long RSA_Decrypt(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput, long nInputLen,
                          const char *szPrivateKeyFile, const char *szPassword, const char *szParams,
                          long nOptions);
/* Encodes a message into a block of nOutBytes octets (EME-PKCS1, OAEP or EMSA-PKCS1). */
VELT_API long RSA_EncodeMsg(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput, long nInputLen,
                            long nOptions);
/* Decodes a block; returns the message length (lpOutput may be null). */
VELT_API long RSA_DecodeMsg(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput, long nInputLen,
                            long nOptions);

/* Reads a private key from any supported form into a private key string. -33 for a key above the size
   limits (see RSA_ReadPublicKey); -8 for an encrypted key whose iteration count is above 10,000,000
   (refused before any derivation), or when no key can be read. */
VELT_API long RSA_ReadAnyPrivateKey(char *szOutput, long nOutChars, const char *szKeyFileOrString,
                                    const char *szPassword, long nOptions);
/* Reads a public key from any supported form (key files and strings, or an X.509 certificate) into a
   public key string; -33 for a key above the size limits (see RSA_ReadPublicKey). */
VELT_API long RSA_ReadAnyPublicKey(char *szOutput, long nOutChars, const char *szKeyFileOrString, long nOptions);
/* Reads an unencrypted PKCS #8 or PKCS #1 private key (DER or PEM). -33 for a key above the size limits
   (see RSA_ReadPublicKey); -8 for a version-0 RSAPrivateKey with elements after qInv; -19 for version 1. */
VELT_API long RSA_ReadPrivateKeyInfo(char *szOutput, long nOutChars, const char *szKeyFileOrString, long nOptions);
/* Reads a password-encrypted PKCS #8 private key (DER or PEM). Iteration counts (PBKDF2, PBKDF1 and the
   PKCS #12 derivation) above 10,000,000 are refused with -8 before any key is derived; -33 for a key
   above the size limits (see RSA_ReadPublicKey); -15 when decryption fails. */
VELT_API long RSA_ReadEncPrivateKey(char *szOutput, long nOutChars, const char *szKeyFileOrString,
                                    const char *szPassword, long nOptions);
/* Reads a PKCS #1 or SubjectPublicKeyInfo public key (DER or PEM). Every RSA key reader and key string
   refuses moduli above 16,384 bits, and public exponents above 64 bits with moduli above 3,072 bits,
   with -33 (BAD_KEY_LEN_ERROR). */
VELT_API long RSA_ReadPublicKey(char *szOutput, long nOutChars, const char *szKeyFileOrString, long nOptions);
/* Writes the EncryptedPrivateKeyInfo of the first pkcs8ShroudedKeyBag of a PKCS #12 file (file name, PEM
   or base64 string) as DER to szOutputFile (mode 0600). No password is taken, so bags inside encrypted
   ContentInfos are not seen. Returns the size of the file written; -20 when there is no key bag, -2 when
   the file cannot be created, -7 for input that is not a PKCS #12 file. The MAC is not checked: call
   PFX_VerifySig for integrity. nOptions: 0. */
VELT_API long RSA_GetPrivateKeyFromPFX(const char *szOutputFile, const char *szPfxFile, long nOptions);
/* Reads the RSA private key of the first pkcs8ShroudedKeyBag of a PKCS #12 file (file name, PEM or base64
   string), decrypting encrypted ContentInfos and the key with szPassword, into a private key string (output
   convention: null szOutput or nOutChars <= 0 returns the length needed; -30 when too short). nOptions:
   0x2000000 for plain base64 output. -15 for a wrong password (the padding or the decrypted data fails);
   -20 when there is no key bag; -7 for a negative iteration count or input that is not a PKCS #12 file;
   -8 for an iteration count above 10,000,000 (refused before deriving). The MAC is not checked: call
   PFX_VerifySig for integrity. */
VELT_API long RSA_ReadPrivateKeyFromPFX(char *szOutput, long nOutChars, const char *szPfxFile,
                                        const char *szPassword, long nOptions);
/* Reads the RSA public key of an X.509 certificate (file, PEM or base64) as a public key string. Returns
   its length. Errors: -6 empty argument, -19 the key is not rsaEncryption, -36 unreadable key, -33 key
   above the size limits, -30 output too short, and the certificate reader's codes (-1, -8, -7). */
VELT_API long RSA_GetPublicKeyFromCert(char *szOutput, long nOutChars, const char *szCertFile, long nOptions);
/* Saves a public key file (DER, or PEM by option); 0 or a positive error: 2 cannot create (or the target
   is not a regular file), 4 write failure, 13 flush failure. */
VELT_API long RSA_SavePublicKey(const char *szOutputFile, const char *szKeyString, long nOptions);
/* Saves an unencrypted private key file (PKCS #8, or PKCS #1 PEM by option), mode 0600; 0 or a positive
   error: 2 cannot create (or the target is not a regular file), 4 write failure, 13 flush failure. */
VELT_API long RSA_SavePrivateKeyInfo(const char *szOutputFile, const char *szKeyString, long nOptions);
/* Saves a password-encrypted private key file, mode 0600; 0 or a positive error (2, 4, 13 as above). The
   readers refuse iteration counts above 10,000,000, so a larger nCount makes a file that cannot be read back. */
VELT_API long RSA_SaveEncPrivateKey(const char *szOutputFile, const char *szKeyString, long nCount,
                                    const char *szPassword, long nOptions);
/* As RSA_SaveEncPrivateKey with a parameter string ("count=N;prf=NAME"); codes returned negative. */
VELT_API long RSA_SaveEncKey(const char *szOutputFile, const char *szKeyString, const char *szPassword,
                             const char *szParams, long nOptions);
/* Base64 of the key's "Modulus" or "Exponent". */
VELT_API long RSA_KeyValue(char *szOutput, long nOutChars, const char *szKeyString, const char *szFieldName,
                           long nOptions);

/* end of RSA_ */


/* ===== Password-based encryption (PBE_) ===== */

/* PBKDF2 (RFC 8018) of dkLen bytes; PRF in option bits 0x0F (0 HMAC-SHA-1, 3 SHA-256, 4 SHA-384,
   5 SHA-512, 6 SHA-224). 0, or the error code returned positive. */
VELT_API long PBE_Kdf2(unsigned char *lpDerivedKey, long dkLen, const void *lpPwd, long pwdLen, const void *lpSalt,
                       long saltLen, long nCount, long nOptions);
/* PBKDF2 of a text password and a hex salt, written as 2*dkLen lower-case hex characters; 0, or the
   error code returned positive. */
VELT_API long PBE_Kdf2Hex(char *szOutput, long nMaxChars, long dkLen, const char *szPwd, const char *szSaltHex,
                          long nCount, long nOptions);
/* scrypt (RFC 7914) of dkLen bytes with cost N (a power of 2), block size r and parallelism p; 0 or a
   negative error code. nOptions is not used. */
VELT_API long PBE_Scrypt(unsigned char *lpDerivedKey, long dkLen, const void *lpPwd, long pwdLen, const void *lpSalt,
                         long saltLen, long nParamN, long nParamR, long nParamP, long nOptions);
/* scrypt of a text password and a hex salt, written as 2*dkLen lower-case hex characters; 0 or a
   negative error code. */
VELT_API long PBE_ScryptHex(char *szOutput, long nMaxChars, long dkLen, const char *szPwd, const char *szSaltHex,
                            long nParamN, long nParamR, long nParamP, long nOptions);

/* end of PBE_ */


/* ===== Elliptic curves (ECC_) ===== */

/* Curves: the prime curves secp192r1, secp224r1, secp256r1, secp384r1, secp521r1, secp256k1,
   brainpoolP256r1, brainpoolP384r1, brainpoolP512r1 (aliases "P-256", "prime256v1" etc., any letter
   case) and the safe curves X25519, Ed25519, X448, Ed448. A public key string is the base64 of the DER
   SubjectPublicKeyInfo (it begins with "M"); a private key string is an internal key string that begins
   with "P" (valid in this process only), or plain base64 DER with VELT_KEY_UNWRAPPED. Text outputs:
   a null buffer or a length below 1 returns the required length (excluding the NUL); a shorter buffer
   gives -30. Every function returns a negative error code on failure. */
#define VELT_ECC_PUBLICKEY 0x1          /* ECC_ReadKeyByCurve, safe curves: the hex is a public key */
#define VELT_KEY_FORMAT_PEM 0x10000     /* key files as PEM (64-character lines, LF) instead of DER */
#define VELT_KEY_TYPE_PKCS8 0x40000     /* ECC_SaveKey: prime private key as PKCS #8 PrivateKeyInfo */
#define VELT_KEY_PKCS8_V1 0x80000       /* ECC_SaveKey: safe-curve private key as version 1 */
#define VELT_QUERY_GETTYPE 0x100000     /* ECC_QueryKey: return the type (1 number, 2 string) */
#define VELT_KEY_UNWRAPPED 0x2000000    /* output private key strings as plain base64 DER */

/* Generates a key pair: the public key (SubjectPublicKeyInfo) to szPubKeyFile and the private key,
   encrypted with szPassword as PKCS #8 EncryptedPrivateKeyInfo, to szPriKeyFile (mode 0600).
   szParams: "count=N;prf=hmacWithSHA256;rngseed=TEXT" (any part optional). nOptions: the password-based
   encryption options (PRF in the low 4 bits, PBES2 cipher bits) and VELT_KEY_FORMAT_PEM; the PBES1
   selector 0x8000000 gives -17. Returns 0. Errors: -6 missing argument or unknown parameter name,
   -8 bad parameter value, -21 unknown curve, -19 encryption failure, -2 cannot create a file. */
VELT_API long ECC_MakeKeys(const char *szPubKeyFile, const char *szPriKeyFile, const char *szCurveName,
                           const char *szPassword, const char *szParams, long nOptions);
/* Key string of a hexadecimal key on a named curve. Prime curves: "04"||X||Y or "02"/"03"||X (a point,
   giving a public key string) or a private scalar (giving a private key string). Safe curves: the
   private key bytes, or the public key bytes with VELT_ECC_PUBLICKEY. Returns the string length.
   Errors: -6 empty argument, -8 invalid hex, -21 unknown curve, -33 wrong length, -36 invalid point,
   or a scalar of 0 or not below the order. */
VELT_API long ECC_ReadKeyByCurve(char *szOutput, long nOutChars, const char *szHexKey, const char *szCurveName,
                                 long nOptions);
/* Saves a key string unencrypted: a prime private key as ECPrivateKey (VELT_KEY_TYPE_PKCS8: PKCS #8),
   a safe-curve private key as OneAsymmetricKey version 2 (VELT_KEY_PKCS8_V1: version 1), a public key
   as SubjectPublicKeyInfo; DER, or PEM with VELT_KEY_FORMAT_PEM. Private key files get mode 0600.
   Returns 0. Errors: -6, -8 invalid key string, -36 invalid key, -2 cannot create the file, -4. */
VELT_API long ECC_SaveKey(const char *szOutputFile, const char *szKeyString, long nOptions);
/* Saves a private key string encrypted as PKCS #8 EncryptedPrivateKeyInfo; szParams and nOptions as for
   ECC_MakeKeys. Returns 0. Errors: -6, -17 PBES1 selector, -36 not a private key, -19, -2, -4. */
VELT_API long ECC_SaveEncKey(const char *szOutputFile, const char *szKeyString, const char *szPassword,
                             const char *szParams, long nOptions);
/* Private key string of a key file, PEM string or key string (ECPrivateKey, PKCS #8 plain, or encrypted
   with szPassword). nOptions: VELT_KEY_UNWRAPPED. Returns the string length. Errors: -6, -8 "Unable to
   extract a private key", -33 wrong safe-curve key length, -36 scalar out of range, or the file
   reader's code. */
VELT_API long ECC_ReadPrivateKey(char *szOutput, long nOutChars, const char *szKeyFileOrString,
                                 const char *szPassword, long nOptions);
/* Public key string of a public key file, PEM string or key string, or the public key stored inside a
   private key, or the elliptic-curve public key of an X.509 certificate. Returns the string
   length. Errors: -6, -8 "Unable to extract a public key", -33. */
VELT_API long ECC_ReadPublicKey(char *szOutput, long nOutChars, const char *szKeyFileOrString, long nOptions);
/* Public key string of a private key string. Returns the string length. Errors: -6, -8 invalid key
   string, -36 not a private key, -11 private scalar out of range. */
VELT_API long ECC_PublicKeyFromPrivate(char *szOutput, long nOutChars, const char *szKeyString, long nOptions);
/* Answers a query about a key string: "curveName", "keyBits", "isPrivate", "privateKey" (hex, "0" for a
   public key), "publicKey" (hex), "isValid" (case-insensitive; a query beginning with a keyword matches
   it). Returns the number, or the length of the string written. VELT_QUERY_GETTYPE: returns 1 (number)
   or 2 (string) without reading the key. Errors: -29 unknown query, -6 empty key string, -8, -36. */
VELT_API long ECC_QueryKey(char *szOutput, long nOutChars, const char *szKeyString, const char *szQuery,
                           long nOptions);
/* 32-bit hash code of a key's public key (the same for a private key and its public key): the first four
   bytes of the MD5 digest of the public key octets, as a signed integer. Returns 0 on failure with the
   error (6, 8 or 36) recorded. */
VELT_API long ECC_KeyHashCode(const char *szKeyString);
/* ECDH shared secret of a private and a public key string on the same curve: the x-coordinate of d*Q
   (prime curves, field length) or the X25519/X448 value (32/56 bytes). A null buffer or a length below 1
   returns the required length. Returns the number of bytes. Errors: -6, -8 undecodable string,
   -19 curve not usable for ECDH (Ed25519, Ed448), -21 different prime curves, -36 wrong or invalid key,
   -11 invalid result (including an all-zero X25519/X448 value), -30 buffer too short. */
VELT_API long ECC_DHSharedSecret(unsigned char *lpZZ, long nOutBytes, const char *szPrivateKey,
                                 const char *szPublicKey, long nOptions);

/* end of ECC_ */


/* ===== Signatures (SIG_) ===== */

/* Algorithm ids (bits 0-7 of nOptions, used only when szAlgName is empty or null):
   PKCS #1 v1.5 0x00 sha1WithRSAEncryption, 0x01 md5, 0x02 md2, 0x03 sha256, 0x04 sha384, 0x05 sha512,
   0x06 sha224; ECDSA 0x10 SHA-1, 0x20 SHA-224, 0x30 SHA-256, 0x40 SHA-384, 0x50 SHA-512; RSA-PSS 0xB0 SHA-1,
   0xB3 SHA-256, 0xB4 SHA-384, 0xB5 SHA-512, 0xB6 SHA-224; 0xC0 Ed25519, 0xC1 Ed448.
   Names (case-insensitive): sha1WithRSAEncryption .. md2WithRSAEncryption, RSA-SHA1 .. RSA-SHA512, RSA-MD5,
   ecdsaWithSHA1 .. ecdsaWithSHA512, RSA-PSS-SHA1 .. RSA-PSS-SHA512, Ed25519, Ed448. dsaWithSha1 is in the
   table for certificates and CMS only: SIG_ functions refuse it with -19. */
#define VELT_SIG_SHA1WITHRSA 0x00
#define VELT_SIG_SHA256WITHRSA 0x03
#define VELT_SIG_SHA384WITHRSA 0x04
#define VELT_SIG_SHA512WITHRSA 0x05
#define VELT_SIG_SHA224WITHRSA 0x06
#define VELT_SIG_ECDSA_SHA1 0x10
#define VELT_SIG_ECDSA_SHA224 0x20
#define VELT_SIG_ECDSA_SHA256 0x30
#define VELT_SIG_ECDSA_SHA384 0x40
#define VELT_SIG_ECDSA_SHA512 0x50
#define VELT_SIG_RSA_PSS_SHA1 0xB0
#define VELT_SIG_RSA_PSS_SHA256 0xB3
#define VELT_SIG_RSA_PSS_SHA384 0xB4
#define VELT_SIG_RSA_PSS_SHA512 0xB5
#define VELT_SIG_RSA_PSS_SHA224 0xB6
#define VELT_SIG_ED25519 0xC0
#define VELT_SIG_ED448 0xC1
/* Option flags. */
#define VELT_SIG_USEDIGEST 0x1000     /* the data is the message digest, not the message */
#define VELT_SIG_DETERMINISTIC 0x2000 /* ECDSA: nonce by RFC 6979 instead of random */
#define VELT_SIG_ASN1DER 0x4000       /* ECDSA: value is DER SEQUENCE { r, s } instead of r || s */
#ifndef VELT_ENCODE_BASE64URL
#define VELT_ENCODE_BASE64URL 0x40000 /* output base64url without padding (hex takes precedence) */
#endif
#define VELT_PSS_SALTLEN_HLEN 0        /* PSS salt length = digest length (default) */
#define VELT_PSS_SALTLEN_MAX 0x200000  /* PSS salt length = emLen - hLen - 2 */
#define VELT_PSS_SALTLEN_20 0x300000   /* PSS salt length 20 */
#define VELT_PSS_SALTLEN_ZERO 0x400000 /* PSS salt length 0 */
#define VELT_MGF1_SHA1 0x800000        /* PSS: MGF1 with SHA-1 instead of the message hash */

/* Signs nDataLen bytes of lpData (or, with VELT_SIG_USEDIGEST, the digest they hold) and writes the
   signature as base64 (default), lower-case hex (VELT_ENCODE_HEX) or base64url (VELT_ENCODE_BASE64URL) to
   szOutput, which holds nOutChars characters plus a NUL.
   szKeyFile: private key file, PEM string or key string (RSA internal key string, EC "M..."/"P..." string);
   szPassword for an encrypted key, else "" or null. szAlgName: a table name, or empty to take the id from
   nOptions; "RSA-PSS-<hash>/<hex>" signs with that salt. nOptions: id, VELT_SIG_USEDIGEST,
   VELT_SIG_DETERMINISTIC, VELT_SIG_ASN1DER, encoding, PSS salt length and MGF1 flags.
   A null szOutput or nOutChars < 1 returns the length needed (for a DER ECDSA value the longest any
   signature of the curve can take; the signature itself may be shorter). Returns the number of characters
   written. Errors: -6 missing key or negative length, -14 null data with a length, -17 unknown id,
   -19 dsaWithSha1 or EdDSA with a digest, -21 unknown name, -26 wrong digest length, -36 wrong key type,
   -8 unreadable key, -39 PSS encoding failed, -24 no usable nonce, -30 buffer too short. */
VELT_API long SIG_SignData(char *szOutput, long nOutChars, const unsigned char *lpData, long nDataLen,
                           const char *szKeyFile, const char *szPassword, const char *szAlgName, long nOptions);
/* As SIG_SignData over the digest of the file szDataFile (hashed with the algorithm's hash; EdDSA cannot
   sign files: -19). A file that cannot be read returns the hash error. */
VELT_API long SIG_SignFile(char *szOutput, long nOutChars, const char *szDataFile, const char *szKeyFile,
                           const char *szPassword, const char *szAlgName, long nOptions);
/* Verifies szSignature (strict hex, else base64url, else base64) over nDataLen bytes of lpData (or the
   digest, VELT_SIG_USEDIGEST) with a public key, certificate or private key (file or string).
   ECDSA values may be r || s or DER; RSA-PSS accepts any salt length (MGF1 hash as chosen by
   VELT_MGF1_SHA1). Returns 0 when the signature is valid. Errors: -22 invalid signature, -7 signature not
   hex/base64 or not well-formed DER, -8 DER without two INTEGERs, -26 wrong signature or digest length,
   -6, -17, -19, -21 and key errors as for SIG_SignData. */
VELT_API long SIG_VerifyData(const char *szSignature, const unsigned char *lpData, long nDataLen,
                             const char *szCertOrKey, const char *szAlgName, long nOptions);
/* As SIG_VerifyData over the digest of the file szDataFile; 0 when valid. */
VELT_API long SIG_VerifyFile(const char *szSignature, const char *szDataFile, const char *szCertOrKey,
                             const char *szAlgName, long nOptions);

/* end of SIG_ */


/* ===== X.509 and OCSP (X509_, OCSP_) ===== */

/* ----- Reading, querying and verifying certificates, requests and CRLs ----- */

/* A certificate argument (szCertFile) is a file name (DER or PEM) or the certificate itself as PEM or
   base64 text. Text outputs: the buffer is emptied first; a null buffer or nOutChars of 0 or less
   returns the required length (excluding the NUL); a result that does not fit whole gives -30 (never a
   truncated result). Unless a function says otherwise, failures are negative error codes: -6 empty
   argument, -1 file not found, -8 unreadable data, -7 not a certificate ("Not a valid X.509
   certificate"). */
#define VELT_X509_LDAP 0x1000      /* names in RFC 4514 form (reverse order, "," delimiter) */
#define VELT_X509_DECIMAL 0x8000   /* serial numbers in decimal instead of hexadecimal */
#define VELT_X509_LATIN1 0x400000  /* names: UTF-8 values converted to Latin-1 */
#ifndef VELT_X509_UTF8
#define VELT_X509_UTF8 0x800000 /* names: values output as UTF-8 */
#endif
#ifndef VELT_X509_FORMAT_PEM
#define VELT_X509_FORMAT_PEM 0x10000 /* X509_SaveFileFromString: write PEM "CERTIFICATE" */
#endif
/* Returns 0 when the current UTC time lies within the certificate's validity (both bounds valid).
   Failures are POSITIVE codes: 16 expired or not yet valid, 7 validity unreadable, 6 empty argument,
   1/8/7 the reader's code. nOptions: reserved, 0. */
VELT_API long X509_CertIsValidNow(const char *szCertFile, long nOptions);
/* Verifies the signature of a certificate, CRL or certificate request (file, PEM or base64) with the
   public key of szIssuerCert; an empty szIssuerCert verifies a request with its own key. Algorithms:
   RSA PKCS #1 v1.5, RSA-PSS (hash, MGF1 hash and exact salt length from the parameters; trailer 1),
   ECDSA (DER signature), Ed25519, Ed448, DSA with SHA-1. Returns 0 when the signature verifies.
   Failures are POSITIVE codes: 22 signature invalid, or the signed part's signature algorithm differs
   from the outer one; 6 empty argument; 19 unsupported algorithm or key; 36 unreadable issuer key;
   7/8/10 malformed input; 1 file not found. nOptions: reserved, 0. */
VELT_API long X509_VerifyCert(const char *szCertToVerify, const char *szIssuerCert, long nOptions);
/* Lower-case hexadecimal digest of the certificate's DER. nOptions: hash selector in the low 4 bits
   (0 SHA-1, 1 MD5, 2 MD2, 3 SHA-256, 4 SHA-384, 5 SHA-512, 6 SHA-224, ...). Returns the length of the
   hex string; -30 when szHash is too short. */
VELT_API long X509_CertThumb(const char *szCertFile, char *szHash, long nHashLen, long nOptions);
/* notBefore / notAfter as "YYYY-MM-DDThh:mm:ssZ" (UTC). Returns 20 (also with a null buffer); -8 when
   the validity cannot be read; -30 when the buffer is too short. nOptions: reserved, 0. */
VELT_API long X509_CertIssuedOn(const char *szCertFile, char *szOutput, long nOutChars, long nOptions);
VELT_API long X509_CertExpiresOn(const char *szCertFile, char *szOutput, long nOutChars, long nOptions);
/* The serial number: the INTEGER's content octets (a leading 00 included) in lower-case hexadecimal,
   or in decimal with VELT_X509_DECIMAL. Returns the length; -7 no serial number; -30. */
VELT_API long X509_CertSerialNumber(const char *szCertFile, char *szOutput, long nOutChars, long nOptions);
/* Lower-case hexadecimal digest of the DER of SEQUENCE { issuer Name, serialNumber INTEGER }.
   nOptions: hash selector as for X509_CertThumb. Returns the length; -6 when nOutChars is negative;
   -7 no issuer or serial; -30 when the buffer is too short. */
VELT_API long X509_HashIssuerAndSN(const char *szCertFile, char *szOutput, long nOutChars, long nOptions);
/* The issuer / subject Name as text ("CN=Alice;O=Org"); szDelim: its first character separates the
   attributes (null or empty: ";"). nOptions: VELT_X509_LDAP, VELT_X509_UTF8, VELT_X509_LATIN1.
   Returns the length; -7 no name; -30. */
VELT_API long X509_CertIssuerName(const char *szCertFile, char *szOutput, long nOutChars, const char *szDelim,
                                  long nOptions);
VELT_API long X509_CertSubjectName(const char *szCertFile, char *szOutput, long nOutChars, const char *szDelim,
                                   long nOptions);
/* Answers a query about a certificate. szQuery (case-insensitive; a query that begins with a keyword
   matches it; an optional "/N" suffix needs N >= 1): numbers version, sigAlgID, keyUsageFlags, isCA;
   strings serialNumber, signatureAlgorithm, signatureValue (hex, without the unused-bits octet),
   keyUsageString, notBefore, notAfter, issuerName, subjectName, subjectPublicKeyAlgorithm,
   subjectKeyIdentifier (hex), authorityKeyIdentifier (hex), rfc822Name, extKeyUsageString,
   cRLDistributionPointsURI, authorityInfoAccessURI, subjectAltName ("rfc882Name=..;dNSName=..;
   iPAddress=.."), hashAlgorithm, pssParams. A missing extension gives an empty string or 0. Returns the
   number, or the length of the string. nOptions: VELT_QUERY_GETTYPE returns 1 (number) or 2 (string)
   without reading the certificate; VELT_X509_DECIMAL and the name options apply. Errors: -29 unknown
   query or "/0", -6 empty argument, -21 sigAlgID without a table row, -30, reader errors. */
VELT_API long X509_QueryCert(char *szOutput, long nOutChars, const char *szCertFile, const char *szQuery,
                             long nOptions);
/* The keyUsage bits (digitalSignature 0x1 ... decipherOnly 0x100), 0 without a keyUsage extension;
   negative reader errors. */
VELT_API long X509_KeyUsageFlags(const char *szCertFile);
/* The certificate's DER as base64 text. Returns the length; -30 when the buffer is too short.
   nOptions: reserved, 0. */
VELT_API long X509_ReadStringFromFile(char *szOutput, long nOutChars, const char *szCertFile, long nOptions);
/* Writes the certificate given as base64 text to szNewCertFile as DER, or as PEM with
   VELT_X509_FORMAT_PEM. Returns 0; -8 "Not valid X.509 data"; -2 cannot create the file; -6. */
VELT_API long X509_SaveFileFromString(const char *szNewCertFile, const char *szCertString, long nOptions);


/* ----- Making certificates and certificate requests ----- */

/* Option bits of X509_MakeCert, X509_MakeCertSelf and X509_CertRequest (OR-ed with a signature algorithm
   id of the SIG_ table in bits 0-7, VELT_SIG_DETERMINISTIC and VELT_PSS_SALTLEN_ZERO). Id 0 selects
   sha1WithRSAEncryption; ids 0x10-0x5F and 0xC0-0xC1 take an elliptic-curve key, 0xB0-0xB6 RSA-PSS with an
   rsaEncryption key, the others RSA PKCS #1 v1.5. */
#ifndef VELT_X509_FORMAT_PEM
#define VELT_X509_FORMAT_PEM 0x10000 /* certificates: write PEM (default DER) */
#endif
#ifndef VELT_X509_FORMAT_BIN
#define VELT_X509_FORMAT_BIN 0x20000 /* requests: write DER (default PEM) */
#endif
#define VELT_X509_REQ_NO_ATTRS 0x100000 /* requests without extensions: no attributes field (default A0 00) */
#ifndef VELT_X509_UTF8
#define VELT_X509_UTF8 0x800000 /* distinguished-name values as UTF8String */
#endif
#define VELT_X509_AUTHKEYID 0x1000000 /* X509_MakeCert: authorityKeyIdentifier from the issuer's SKI */
#define VELT_X509_NO_BASIC 0x2000000  /* no basicConstraints extension */
#define VELT_X509_CA_TRUE 0x4000000   /* X509_MakeCert: basicConstraints cA TRUE */
#define VELT_X509_VERSION1 0x8000000  /* version 1 certificate: no version field, no extensions */

/* Key-usage bits (nKeyUsageFlags and the keyUsage keyword). */
#define VELT_X509_KEYUSAGE_DIGITALSIGNATURE 0x0001
#define VELT_X509_KEYUSAGE_NONREPUDIATION 0x0002
#define VELT_X509_KEYUSAGE_KEYENCIPHERMENT 0x0004
#define VELT_X509_KEYUSAGE_DATAENCIPHERMENT 0x0008
#define VELT_X509_KEYUSAGE_KEYAGREEMENT 0x0010
#define VELT_X509_KEYUSAGE_KEYCERTSIGN 0x0020
#define VELT_X509_KEYUSAGE_CRLSIGN 0x0040
#define VELT_X509_KEYUSAGE_ENCIPHERONLY 0x0080
#define VELT_X509_KEYUSAGE_DECIPHERONLY 0x0100

/* Extension parameter string (szExtensions): keyword=value pairs separated by ";", keywords ignoring case,
   values optionally in single quotes; a non-empty string without any "=" is one e-mail address.
     rfc822Name= dnsname= uri= ipaddress=  subjectAltName entries in the order given (long forms
       subjectAltNameRfc822Name, subjectAltNameDnsName, subjectAltNameURI, subjectAltNameIPaddress);
       IPv4 dotted quad, or IPv6 with all eight groups (no "::")
     keyUsage=name,...        digitalSignature nonRepudiation keyEncipherment dataEncipherment keyAgreement
                              keyCertSign cRLSign encipherOnly decipherOnly, and noncritical (written as an
                              explicit BOOLEAN FALSE); an unknown name fails the call (6)
     extKeyUsage=name,...     serverAuth clientAuth codeSigning emailProtection timeStamping OCSPSigning,
                              and critical
     sMIMECapabilities=hex,...  DER SEQUENCEs in hexadecimal
     1.2.3.4=#hexDER[,critical]  any extension with that OID and value
   Certificates only: notBefore= and notAfter= (ISO 8601 date or date-time, UTC; a date alone means 00:00:01
   and 23:59:59), serialNumber= (even-length hex, "#x" hex or "#d" decimal; written as a minimal non-negative
   INTEGER), subjectKeyIdentifier= (even-length hex), certificatePolicies= (dotted OID),
   cRLDistributionPoints= (URI).
   A string that yields one extension twice (including one the options add) fails with 6. */

/* Makes a certificate for a subject's public key, signed with the issuer's private key, and writes it to
   szNewCertFile (DER, or PEM with VELT_X509_FORMAT_PEM).
   szIssuerCertFile: the issuer's certificate (file, PEM or base64). szSubjectPubKeyFile: the subject's
   public key (file, PEM, base64 DER or key string). szIssuerPriKeyFile with szPassword ("" for a plain key):
   the issuer's private key, which must belong to the issuer certificate. nCertNum: serial number (unsigned,
   unless serialNumber= is given); nYearsValid: years of validity from notBefore (1 or more unless notAfter=
   is given). szDistName: the subject's distinguished name ("$" for an empty Name); an empty szDistName
   issues the certificate from the request (file, PEM or base64) in szSubjectPubKeyFile, whose signature is
   checked and whose subject, key, keyUsage, extKeyUsage and subjectAltName are taken. nKeyUsageFlags:
   VELT_X509_KEYUSAGE_ bits OR-ed with the string's. nOptions: algorithm id and VELT_X509_ flags.
   Returns 0 on success, or a POSITIVE error code (never negated), also recorded for VELT_ErrorCode:
   6 missing argument, bad string, bad validity or an extension twice; 17 unknown algorithm id or the
   dsaWithSha1 id; 1 unreadable key or certificate input; 8 unreadable issuer certificate, public key or
   request; 15 unreadable RSA private key; 19 an rsassaPss private key; 36 key of the wrong type;
   21 issuer key does not match the issuer certificate; 25 VELT_X509_AUTHKEYID with an issuer certificate
   without subjectKeyIdentifier; 22 request signature invalid; 2 or 4 output file not written (a failed
   call leaves no output file). */
VELT_API long X509_MakeCert(const char *szNewCertFile, const char *szIssuerCertFile,
                            const char *szSubjectPubKeyFile, const char *szIssuerPriKeyFile, long nCertNum,
                            long nYearsValid, const char *szDistName, const char *szExtensions,
                            long nKeyUsageFlags, const char *szPassword, long nOptions);
/* Makes a self-signed certificate (basicConstraints cA TRUE unless VELT_X509_NO_BASIC) for the private key
   szPriKeyFile; arguments and options as X509_MakeCert (szDistName must not be empty). Returns 0 or a
   POSITIVE error code (never negated), as X509_MakeCert. */
VELT_API long X509_MakeCertSelf(const char *szNewCertFile, const char *szPriKeyFile, long nCertNum,
                                long nYearsValid, const char *szDistName, const char *szExtensions,
                                long nKeyUsageFlags, const char *szPassword, long nOptions);
/* Makes a PKCS #10 certificate request for the private key szPriKeyFile and the subject szDistName ("$" for
   an empty Name), with the extensions of szExtensions (subjectAltName, keyUsage, extKeyUsage and OID
   keywords) in an extensionRequest attribute, and writes it to szNewReqFile as PEM ("CERTIFICATE REQUEST"),
   or DER with VELT_X509_FORMAT_BIN. Without extensions the attributes field is empty (A0 00), or left out
   with VELT_X509_REQ_NO_ATTRS. Returns 0 or a POSITIVE error code (never negated): 6, 17, 1, 15, 19, 36,
   2 or 4 as for X509_MakeCert. */
VELT_API long X509_CertRequest(const char *szNewReqFile, const char *szPriKeyFile, const char *szDistName,
                               const char *szExtensions, const char *szPassword, long nOptions);


/* ----- Certificates from a certificates-only CMS signed-data object ----- */

/* The certificates of a CMS signed-data object (file, PEM or base64 text; normally certificates-only, as
   made with VELT_CMS_CERTS_ONLY), counted and indexed from 1 in the order of the certificates field.
   X509_GetCertCountInP7Chain returns the number of certificates, or a negative error (-1 cannot open,
   -8 not signed-data, -10 no content, -6 no input). */
VELT_API long X509_GetCertCountInP7Chain(const char *szFileIn, long nOptions);
/* Writes certificate nIndex as DER to szNewCertFile and returns its size in bytes; nIndex <= 0 returns the
   count instead, an index beyond the set returns 0. Errors: -2 cannot create the file, and as above. */
VELT_API long X509_GetCertFromP7Chain(const char *szNewCertFile, const char *szFileIn, long nIndex, long nOptions);
/* Certificate nIndex as base64 DER in szOutput (nOutChars characters plus a NUL); returns its length (the
   length needed for a null szOutput or nOutChars 0). nIndex <= 0 returns the count, an index beyond the set
   0. Errors: -6 negative nOutChars, null szOutput with nOutChars > 0 or no input, -30 buffer too short. */
VELT_API long X509_ReadCertStringFromP7Chain(char *szOutput, long nOutChars, const char *szFileIn, long nIndex,
                                             long nOptions);


/* ----- Certificates from a PKCS #12 file ----- */

/* Writes one certificate of a PKCS #12 file (file name, PEM or base64 string) as DER to szOutputFile: the
   certificate whose localKeyID equals that of the first key bag having one; a single certificate is taken
   as it is; with several and none matching (or no key localKeyID), the last. szPassword (may be null or
   empty) decrypts encrypted ContentInfos; a ContentInfo that cannot be read is skipped with its code
   recorded (15 wrong password, 19 unsupported scheme such as pbeWithSHAAnd128BitRC2-CBC). Returns the size
   of the file written; -20 when no certificate is found; -2 when the file cannot be created; -7 for input
   that is not a PKCS #12 file. nOptions: 0x400 writes every certificate of the file (in file order) as a
   certificates-only CMS signed-data file (DER) instead, returning its size. The MAC is not checked: call PFX_VerifySig for integrity. */
VELT_API long X509_GetCertFromPFX(const char *szOutputFile, const char *szPfxFile, const char *szPassword,
                                  long nOptions);
/* As X509_GetCertFromPFX, returning the certificate as base64 text (output convention: null szOutput or
   nOutChars <= 0 returns the length needed; -30 when too short). nOptions: 0; 0x400 gives -17. The MAC
   is not checked: call PFX_VerifySig for integrity. */
VELT_API long X509_ReadCertStringFromPFX(char *szOutput, long nOutChars, const char *szPfxFile,
                                         const char *szPassword, long nOptions);


/* end of X509_, OCSP_ */


/* ===== CMS, S/MIME and compression (CMS_, SMIME_, COMPR_) ===== */

/* ----- Reading and verifying signed-data ----- */

/* Every function takes the SignedData (a ContentInfo of type signedData) as a file name (DER/BER, PEM or
   base64 text) or as a PEM or base64 string. Errors common to all: -1 cannot open file, -8 not signed-data
   or undecodable, -10 no content, -6 missing argument. */
#ifndef VELT_CMS_BIGFILE
#define VELT_CMS_BIGFILE 0x8000000 /* stream a binary file in blocks instead of reading it whole */
#endif
#ifndef VELT_QUERY_GETTYPE
#define VELT_QUERY_GETTYPE 0x100000 /* query functions: return the type (1 number, 2 string) */
#endif

/* Verifies the signature of a SignerInfo. szCertFile: the signer's certificate (file or string), or empty
   to use the certificates inside the object (the first signer with a matching certificate is checked).
   szHexDigest: the content digest in hex (needed for a detached signature; refused for EdDSA), or empty to
   digest the eContent. With signed attributes, messageDigest must be present and equal the content digest;
   signing-certificate and algorithm-protection attributes are checked when present. VELT_CMS_BIGFILE
   streams a binary file. Returns 0 when the signature is valid. Errors: -22 invalid signature (also a
   signed-attribute set without messageDigest or with a malformed signing-certificate attribute), -21 no
   certificate matches a signer, -10 no certificate found or given, -19 unsupported algorithm, -7 a
   BIGFILE input that is not binary, -20 no eContent and no digest. */
VELT_API long CMS_VerifySigData(const char *szFileIn, const char *szCertFile, const char *szHexDigest,
                                long nOptions);
/* Writes the eContent (segments of a constructed OCTET STRING joined) to szFileOut and returns the number of
   bytes written. No signature is checked. VELT_CMS_BIGFILE streams a binary file. Errors: -20 no eContent,
   -8 content type other than data, -2 cannot create the output file. */
VELT_API long CMS_ReadSigData(const char *szFileOut, const char *szFileIn, long nOptions);
/* The eContent as a string in szDataOut (nDataOutLen characters plus a NUL) or as bytes in lpDataOut;
   returns the content length (the length needed for a null output or a length <= 0). -30 when it does not
   fit, else as CMS_ReadSigData. */
VELT_API long CMS_ReadSigDataToString(char *szDataOut, long nDataOutLen, const char *szFileIn, long nOptions);
VELT_API long CMS_ReadSigDataToBytes(unsigned char *lpDataOut, long nDataOutLen, const char *szFileIn,
                                     long nOptions);
/* Recovers the signed content digest of the signer (certificate as for CMS_VerifySigData) as lower-case hex
   in szHexDigestOut (nHexDigestLen characters plus a NUL) and returns the digest algorithm id (0 SHA-1,
   1 MD5, 3 SHA-256, 4 SHA-384, 5 SHA-512, 6 SHA-224). PKCS #1 v1.5 signers: from the signature (or the
   messageDigest attribute, checked against the signature); DSA signers: the messageDigest attribute.
   Errors: -15 the signature cannot be opened, -22 invalid signature, -20 DSA without signed attributes,
   -19 other algorithms, -30 buffer too short. */
VELT_API long CMS_GetSigDataDigest(char *szHexDigestOut, long nHexDigestLen, const char *szFileIn,
                                   const char *szCertFile, long nOptions);
/* Answers szQuery, a keyword (case-insensitive) optionally followed by "/N" (signer N, or for "certificate"
   certificate N; from 1, default 1). Numbers: Version, HASeContent, CountOfCerts, CountOfCertificates,
   CountOfSigners, CountOfSignerInfos, CountOfDigestAlgs, signerInfoVersion, HASsignedAttrs,
   HASsignedAttributes, HASsigningCertificate, HASalgorithmProtection, HASsubjectKeyIdentifier. Strings
   (written to szOutput, nOutChars characters plus a NUL; the result is the length): eContentType,
   signerIdentifier (hex DER), SigningTime ("yyyy-mm-dd hh:mm:ss" from UTCTime or GeneralizedTime),
   digestAlgorithm, signatureAlgorithm, messageDigest (hex), pssParams, signatureValue (hex),
   DigestOfSignedAttrs, DigestOfeContent, signingCertHash (hex), certificate (base64 DER). An absent string
   result returns 0. VELT_QUERY_GETTYPE returns 1 (number) or 2 (string) without reading the object.
   Errors: -29 unknown or enveloped-data keyword, or N not a number of at least 1; -11 signer N (or
   certificate N) does not exist; -30 buffer too short. */
VELT_API long CMS_QuerySigData(char *szOutput, long nOutChars, const char *szFileIn, const char *szQuery,
                               long nOptions);


/* ----- Making signed-data ----- */

/* Option bits of the CMS_Make* functions. The low byte is a signature algorithm id of the SIG_ family
   (VELT_SIG_SHA1WITHRSA .. VELT_SIG_ED448; 0 = sha1WithRSAEncryption); the content digest and every
   digestAlgorithm use that row's hash (Ed25519: SHA-512; Ed448: SHAKE256 with 64 octets). */
#define VELT_CMS_EXCLUDE_CERTS 0x100        /* no certificates field */
#define VELT_CMS_EXCLUDE_DATA 0x200         /* no eContent: a detached signature */
#define VELT_CMS_CERTS_ONLY 0x400           /* a certificates-only message of the certificate list */
#define VELT_CMS_INCLUDE_ATTRS 0x800        /* signed attributes: contentType and messageDigest at least */
#define VELT_CMS_ADD_SIGNTIME 0x1000        /* with signed attributes: signingTime (UTCTime through 2049,
                                               GeneralizedTime from 2050) */
#define VELT_CMS_ADD_SMIMECAP 0x2000        /* with signed attributes: sMIMECapabilities */
#define VELT_CMS_ADD_SIGNINGCERT 0x4000     /* with signed attributes: ESS signing certificate (v1 for SHA-1,
                                               else v2) */
#define VELT_CMS_ADD_ALGPROTECT 0x8000      /* with signed attributes: CMS algorithm protection */
#define VELT_CMS_FORMAT_BASE64 0x10000      /* output base64 text, 64-character CR LF lines (certificates-only:
                                               PEM labelled PKCS7) */
#define VELT_CMS_ADD_SIGNER 0x20000         /* add a signer to the SignedData in the input file */
#define VELT_CMS_PSEUDOSIG 0x100000         /* make a pseudo-signature / complete one */
#ifndef VELT_PSS_SALTLEN_ZERO
#define VELT_PSS_SALTLEN_ZERO 0x400000      /* PSS signer: salt length 0 (else the digest length) */
#endif
#ifndef VELT_MGF1_SHA1
#define VELT_MGF1_SHA1 0x800000             /* PSS signer: MGF1 with SHA-1 */
#endif
#define VELT_CMS_USE_SKI 0x1000000          /* identify the signer by subject key identifier (SignerInfo v3) */
#define VELT_CMS_NO_OUTER 0x2000000         /* the bare SignedData, without the outer ContentInfo */
#define VELT_CMS_RSA_SIGALG_HASH 0x4000000  /* PKCS #1 v1.5: signatureAlgorithm sha256WithRSAEncryption etc.
                                               instead of rsaEncryption */
#define VELT_CMS_BIGFILE 0x8000000          /* stream the input file (RSA signers only) */

/* Signs the content of the file szFileIn and writes a CMS SignedData (RFC 5652) to szFileOut: DER, or base64
   text with VELT_CMS_FORMAT_BASE64. szCertList: certificates separated by ";" (file names or certificate
   strings), or one PKCS #7 certificate chain; the certificate matching szPrivateKey is the signer's (it is
   moved first). szPrivateKey: an RSA or EC/Ed25519/Ed448 internal private key string. nOptions: the bits
   above. VELT_CMS_BIGFILE streams a file of any size as BER with indefinite lengths (content in 8192-octet
   segments; RSA only; not with base64, NO_OUTER, EXCLUDE_DATA, CERTS_ONLY, PSEUDOSIG or ADD_SIGNER).
   VELT_CMS_ADD_SIGNER reads the SignedData in szFileIn (version 1 or 3, eContent of type data) and adds a
   signer; VELT_CMS_CERTS_ONLY writes a certificates-only message and ignores szFileIn and the key.
   VELT_CMS_PSEUDOSIG (PKCS #1 v1.5 rows only) writes a placeholder value of 0xBB octets without a key, to be
   completed by CMS_MakeSigDataFromSigValue.
   Returns 0 on success. Errors: -6 missing argument or key (BIGFILE: also an unreadable certificate list),
   -1 input file or a certificate cannot be read, -3 read error, -20 empty input, -17 unknown algorithm id or incompatible options, -19 algorithm not
   supported in this mode, -21 the key matches no certificate, -10 no subjectKeyIdentifier (USE_SKI) or no
   data eContent (ADD_SIGNER), -8 input SignedData unreadable, -36 unusable private key, -2 output cannot be
   created, -4 write failure. A failed call leaves no output file. */
VELT_API long CMS_MakeSigData(const char *szFileOut, const char *szFileIn, const char *szCertList,
                              const char *szPrivateKey, long nOptions);
/* As CMS_MakeSigData with the bytes of the text szDataIn (without its NUL) as content (not with ADD_SIGNER
   or BIGFILE: -17). An empty text is -20. */
VELT_API long CMS_MakeSigDataFromString(const char *szFileOut, const char *szDataIn, const char *szCertList,
                                        const char *szPrivateKey, long nOptions);
/* As CMS_MakeSigData with nDataLen bytes of lpData as content; null data or nDataLen < 1 is -20. */
VELT_API long CMS_MakeSigDataFromBytes(const char *szFileOut, const unsigned char *lpData, long nDataLen,
                                       const char *szCertList, const char *szPrivateKey, long nOptions);
/* Writes a SignedData around a signature value made elsewhere: nSigLen bytes of lpSigValue over nDataLen
   bytes of lpData, signer = the first certificate of szCertList, algorithm = the low byte of nOptions, no
   signed attributes. The value is first verified with the certificate's public key over the digest of the
   content under the algorithm's own hash (EdDSA: over the content itself): -22 when it does not verify.
   With VELT_CMS_PSEUDOSIG, szCertList is instead the pseudo-signed object (file or string): the value
   replaces the placeholder of its first signer (-26 when its encoded length differs), the result must
   verify (-22) and is written (lpData is not used). Other errors: -6 missing argument, -8 not a SignedData,
   -7 no signature value found, as for CMS_MakeSigData. */
VELT_API long CMS_MakeSigDataFromSigValue(const char *szFileOut, const unsigned char *lpSigValue, long nSigLen,
                                          const unsigned char *lpData, long nDataLen, const char *szCertList,
                                          long nOptions);
/* Writes a detached SignedData (no eContent) from the content's digest szHexDigest (hexadecimal).
   The digest must have the length of the algorithm's hash (-26), at most 64 octets (-8 when longer or when
   no hex decodes). An EdDSA signer needs VELT_CMS_INCLUDE_ATTRS (-19): it signs the signed attributes.
   Other errors as for CMS_MakeSigData (CERTS_ONLY, ADD_SIGNER, BIGFILE and PSEUDOSIG: -17). Returns 0. */
VELT_API long CMS_MakeDetachedSig(const char *szFileOut, const char *szHexDigest, const char *szCertList,
                                  const char *szPrivateKey, long nOptions);


/* end of CMS_, SMIME_, COMPR_ */


/* ===== PKCS #12 (PFX_) ===== */

/* Makes a PKCS #12 file carrying one RSA private key and its certificates.
   szCertList: certificate files or base64/PEM strings separated by ";" (blanks trimmed); the first holds
   the public key of the private key. szKeyFile: a password-encrypted PKCS #8 key file read with
   szPassword, or null/empty for a certificates-only file. szFriendlyName: optional, UTF-8 (Latin-1 when
   not valid UTF-8), stored as a BMPString (UTF-16BE). The first certificate's bag and the key bag carry
   localKeyID (SHA-1 of that certificate) and friendlyName. With a password: certificates encrypted with
   pbeWithSHAAnd40BitRC2-CBC, key bag encrypted with pbeWithSHAAnd3-KeyTripleDES-CBC, iteration counts
   6000 to 6199 drawn from the library generator, and an HMAC-SHA-1 MAC with an 8-octet salt.
   nOptions: 0x2000000 certificates left plain; 0x1000000 certificates with pbeWithSHAAnd3-KeyTripleDES-CBC;
   0x4000000 key file's EncryptedPrivateKeyInfo copied as it is; 0x8000000 key SafeContents also in an
   encrypted ContentInfo (Triple DES); 0x100000 MAC salt of 20 octets and the digest algorithm without NULL;
   any of 0x1043: certificates with PBES2 aes256-CBC and the key with the PBES2 scheme of the
   RSA_SaveEncPrivateKey options AND 0x1043 (overrides 0x2000000 and 0x8000000; without a password nothing
   is encrypted); 0x10000 or 0x20000 PEM output with label PKCS12. The file is written through a temporary
   file, mode 0600.
   Returns 0 or a positive error: 6 missing certificate list, output name or password for a key file;
   21 key does not match the certificate; 15 key cannot be decrypted; 8 unreadable further certificate;
   2 cannot create the file; 13 written file cannot be read; 9999 structure could not be built; or the code
   of the failing reader. A certificate list with no item gives -6. */
VELT_API long PFX_MakeFile(const char *szFileOut, const char *szCertList, const char *szKeyFile,
                           const char *szPassword, const char *szFriendlyName, long nOptions);
/* Verifies the MAC of a PKCS #12 file (file name, PEM or base64 string) with szPassword. The MAC digest is
   taken from MacData: SHA-1, SHA-224, SHA-256, SHA-384 or SHA-512 (HMAC keyed by the PKCS #12 derivation
   over that digest); the stored MAC must have exactly the digest's length and is compared in constant
   time. Returns 0 when the MAC verifies, or when there is no MAC and szPassword is null or empty; -1 when
   it does not verify (wrong password, altered data, a cut, empty or longer MAC) or there is no MAC and a
   password is given; otherwise a positive error: 6 empty input; 19 version not 3 or another MAC algorithm
   (PBMAC1, MD5); 7 malformed MacData, data ContentInfo or negative iteration count; 8 input not a
   PKCS #12 file or an iteration count above 10,000,000 (refused before deriving). nOptions: 0. */
VELT_API long PFX_VerifySig(const char *szFileName, const char *szPassword, long nOptions);

/* end of PFX_ */


/* ===== Symmetric ciphers (CIPHER_, TDEA_, PAD_) ===== */

/*
 * Algorithm/mode/padding: a selector string such as "aes128/cbc/pkcs5" or
 * "tdea-ctr", or these option bits: algorithm 0x10 Triple DES, 0x20 AES-128,
 * 0x30 AES-192, 0x40 AES-256; mode 0x000 ECB, 0x100 CBC, 0x200 OFB,
 * 0x300 CFB, 0x400 CTR, 0x500 GCM; padding 0x10000 none, 0x20000 PKCS #5,
 * 0x30000 one-and-zeroes, 0x40000 ANSI X9.23, 0x50000 W3C (default: PKCS #5
 * in ECB and CBC, none otherwise); 0x1000 the IV precedes the ciphertext;
 * 0x2000 file decryption keeps the padding.
 */
/* Encrypts bytes; returns the output length (required length if lpOutput is null); -26 when that
 * would exceed LONG_MAX. lpOutput may be lpInput, also with the IV in front. */
VELT_API long CIPHER_EncryptBytes(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput,
                                  long nInputLen, const unsigned char *lpKey, long nKeyLen,
                                  const unsigned char *lpIV, long nIvLen, const char *szAlgModePad,
                                  long nOptions);
/* Decrypts bytes; returns the plaintext length (exact, also on a length query). lpOutput may be
 * lpInput, also with the IV in front. */
VELT_API long CIPHER_DecryptBytes(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput,
                                  long nInputLen, const unsigned char *lpKey, long nKeyLen,
                                  const unsigned char *lpIV, long nIvLen, const char *szAlgModePad,
                                  long nOptions);
/* Same as CIPHER_EncryptBytes. */
VELT_API long CIPHER_EncryptBytes2(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput,
                                   long nInputLen, const unsigned char *lpKey, long nKeyLen,
                                   const unsigned char *lpIV, long nIvLen, const char *szAlgModePad,
                                   long nOptions);
/* Same as CIPHER_DecryptBytes. */
VELT_API long CIPHER_DecryptBytes2(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput,
                                   long nInputLen, const unsigned char *lpKey, long nKeyLen,
                                   const unsigned char *lpIV, long nIvLen, const char *szAlgModePad,
                                   long nOptions);
/* CIPHER_EncryptBytes over hexadecimal strings; returns the characters written. */
VELT_API long CIPHER_EncryptHex(char *szOutput, long nOutChars, const char *szInputHex, const char *szKeyHex,
                                const char *szIvHex, const char *szAlgModePad, long nOptions);
/* CIPHER_DecryptBytes over hexadecimal strings; returns the characters written. */
VELT_API long CIPHER_DecryptHex(char *szOutput, long nOutChars, const char *szInputHex, const char *szKeyHex,
                                const char *szIvHex, const char *szAlgModePad, long nOptions);
/* Encrypts a file into another; 0 or a negative code: -1 input cannot be opened (the output is then not
   touched), -2 output cannot be created or is not a regular file, -4 write or flush failure, -12 input and
   output are the same file. The output replaces its target only when the whole file was written. */
VELT_API long CIPHER_FileEncrypt(const char *szFileOut, const char *szFileIn, const unsigned char *lpKey,
                                 long nKeyLen, const unsigned char *lpIV, long nIvLen, const char *szAlgModePad,
                                 long nOptions);
/* Decrypts a file into another (output mode 0600); codes as CIPHER_FileEncrypt, plus -15 for bad padding or
   (GCM) a tag that does not verify: the output name is then left as it was, no plaintext is written there. */
VELT_API long CIPHER_FileDecrypt(const char *szFileOut, const char *szFileIn, const unsigned char *lpKey,
                                 long nKeyLen, const unsigned char *lpIV, long nIvLen, const char *szAlgModePad,
                                 long nOptions);
/* Older form: encrypts (fEncrypt nonzero) or decrypts nBytes without padding, lpOutput may be
 * lpData; 0 on success. */
VELT_API long CIPHER_Bytes(long fEncrypt, unsigned char *lpOutput, const unsigned char *lpData, long nDataLen,
                           const unsigned char *lpKey, const unsigned char *lpIV, const char *szAlgModePad,
                           long nOptions);
/* Older form over hexadecimal strings, output as long as the input; 0 on success. */
VELT_API long CIPHER_Hex(long fEncrypt, char *szOutput, long nOutChars, const char *szInput, const char *szKey,
                         const char *szIV, const char *szAlgModePad, long nOptions);
/* Older file form; 0 or a positive code (1, 2, 4, 12 as CIPHER_FileEncrypt); decrypted output 0600. */
VELT_API long CIPHER_File(long fEncrypt, const char *szFileOut, const char *szFileIn, const unsigned char *lpKey,
                          const unsigned char *lpIV, const char *szAlgModePad, long nOptions);
/* Triple DES on bytes with a mode word ("ECB", "CBC", "CFB", "OFB", "CTR"), lpOutput may be
 * lpInput; 0 on success. */
VELT_API long TDEA_BytesMode(unsigned char *lpOutput, const unsigned char *lpInput, long nBytes,
                             const unsigned char *lpKey, long fEncrypt, const char *szMode,
                             const unsigned char *lpIV);
/* Triple DES on hexadecimal strings; the output is as long as the input; 0 on success. */
VELT_API long TDEA_HexMode(char *szOutput, const char *szInput, const char *szKey, long fEncrypt,
                           const char *szMode, const char *szIV);
/* Triple DES on base64 strings; the output must fit in the input's length; 0 on success. */
VELT_API long TDEA_B64Mode(char *szOutput, const char *szInput, const char *szKey, long fEncrypt,
                           const char *szMode, const char *szIV);
/* Triple DES on files (ECB and CBC padded); 0 or a positive code as CIPHER_File. */
VELT_API long TDEA_File(const char *szFileOut, const char *szFileIn, const unsigned char *lpKey, long fEncrypt,
                        const char *szMode, const unsigned char *lpIV);
/* Pads bytes to a multiple of nBlkLen (8 or 16); returns the padded length; -26 for nBytes above
 * LONG_MAX - nBlkLen. */
VELT_API long PAD_BytesBlock(unsigned char *lpOutput, long nOutputLen, const unsigned char *lpInput,
                             long nBytes, long nBlkLen, long nOptions);
/* Checks and removes padding; returns the unpadded length. */
VELT_API long PAD_UnpadBytes(unsigned char *lpOutput, long nOutputLen, const unsigned char *lpInput,
                             long nBytes, long nBlkLen, long nOptions);
/* Pads a hexadecimal string; returns its new length in characters. */
VELT_API long PAD_HexBlock(char *szOutput, long nOutChars, const char *szInput, long nBlkLen, long nOptions);
/* Removes padding from a hexadecimal string; returns its new length. */
VELT_API long PAD_UnpadHex(char *szOutput, long nOutChars, const char *szInput, long nBlkLen, long nOptions);

/* Authenticated encryption and key wrap */
/*
 * AEAD algorithm bits: 0x520 AES-128-GCM, 0x530 AES-192-GCM, 0x540 AES-256-GCM,
 * 0x550 ChaCha20-Poly1305; 0x1000 puts the 12-byte IV in front. Output:
 * [IV] || ciphertext || 16-byte tag. Key wrap bits: 0x10 (or 0x100000)
 * Triple DES (RFC 3217), 0x20/0x30/0x40 (or 0x200000/0x300000/0x400000)
 * AES-128/192/256 (RFC 3394). The output may be the input (in place, also with
 * the IV in front). A null output or an output length of 0 asks for the length.
 */
/* Encrypts and authenticates bytes (12-byte IV); returns the output length; -26 when that would
 * exceed LONG_MAX. */
VELT_API long CIPHER_EncryptAEAD(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput,
                                 long nInputLen, const unsigned char *lpKey, long nKeyLen,
                                 const unsigned char *lpIV, long nIvLen, const unsigned char *lpAAD,
                                 long nAadLen, long nOptions);
/* Checks and decrypts bytes; returns the plaintext length (-40 and a zeroed output on a bad tag). */
VELT_API long CIPHER_DecryptAEAD(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpInput,
                                 long nInputLen, const unsigned char *lpKey, long nKeyLen,
                                 const unsigned char *lpIV, long nIvLen, const unsigned char *lpAAD,
                                 long nAadLen, long nOptions);
/* Wraps key data under a key-encryption key; returns the output length; -26 for a length that is
 * not valid or whose output would exceed LONG_MAX. */
VELT_API long CIPHER_KeyWrap(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpData,
                             long nDataLen, const unsigned char *lpKEK, long nKekLen, long nOptions);
/* Unwraps a wrapped key; returns the key length (-15 and a zeroed output when the check fails). */
VELT_API long CIPHER_KeyUnwrap(unsigned char *lpOutput, long nOutBytes, const unsigned char *lpData,
                               long nDataLen, const unsigned char *lpKEK, long nKekLen, long nOptions);

/* end of CIPHER_, TDEA_, PAD_ */

#ifdef __cplusplus
}
#endif

#endif /* MORVANEVELT_H */
