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
 */
#ifndef MORVANEVELT_H
#define MORVANEVELT_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VELT_BUILDING_LIBRARY)
#define VELT_API __attribute__((visibility("default")))
#else
#define VELT_API
#endif

/* ===== General functions (VELT_, PWD_) ===== */

/* Version number of the library (230100); both pointers are reserved. */
VELT_API long VELT_Version(void *reserved1, void *reserved2);
/* Build date and time, e.g. "Dec 19 2025 13:54:35" (20 characters). */
VELT_API long VELT_CompileTime(char *szOutput, long nOutChars);
/* Detail message of the last failure (empty if none). */
VELT_API long VELT_LastError(char *szOutput, long nOutChars);
/* Code of the last failure, 0 if none. */
VELT_API long VELT_ErrorCode(void);
/* Message and symbolic name of an error code; 0 for an unknown code. */
VELT_API long VELT_ErrorLookup(char *szOutput, long nOutChars, long nErrCode);
/* Composite error line: "ERROR: msg (code): lookup: (stored) lookup: detail". */
VELT_API long VELT_FormatErrorMessage(char *szOutput, long nOutChars, long nErrCode, const char *szMsg);
/* Runs the power-up self-tests: 0 if all pass, -23 otherwise. */
VELT_API long VELT_PowerUpTests(long nOptions);
/* Module name ("Velmora", option 0) or platform name (option 64). */
VELT_API long VELT_ModuleName(char *szOutput, long nOutChars, long nOptions);
/* Platform name ("Linux"). */
VELT_API long VELT_Platform(char *szOutput, long nOutChars);
/* Reads a password from the terminal with echo off; returns its length. */
VELT_API long PWD_Prompt(char *szPassword, long nPwdLen, const char *szCaption);
/* As PWD_Prompt with a prompt text of the caller's (null: "Enter password: "). */
VELT_API long PWD_PromptEx(char *szPassword, long nPwdLen, const char *szCaption, const char *szPrompt,
                           long nOptions);

/* end of general functions */


/* ===== Secure deletion (WIPE_) ===== */

/* end of WIPE_ */


/* ===== Text encodings (CNV_) ===== */

/* end of CNV_ */


/* ===== PEM files (PEM_) ===== */

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

/* Derives nOutBytes from shared secret Z and shared info; 0. szParams: "salt=<hex>" for HKDF. */
VELT_API long KDF_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpZ, long nZLen, const void *lpInfo,
                        long nInfoLen, const char *szParams, long nOptions);
/* SHAKE128/256 or MGF1 output of a message; the output length. */
VELT_API long XOF_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpMessage, long nMsgLen,
                        long nOptions);
/* KMAC128/256 of a message under a key with a customization string; the output length. */
VELT_API long PRF_Bytes(unsigned char *lpOutput, long nOutBytes, const void *lpMessage, long nMsgLen,
                        const void *lpKey, long nKeyLen, const char *szCustom, long nOptions);
/* HPKE LabeledExtract with the hash of the curve's KEM; Nh. */
VELT_API long HPKE_LabeledExtract(unsigned char *lpOutput, long nOutBytes, const void *lpSalt, long nSaltLen,
                                  const char *szLabel, const void *lpIkm, long nIkmLen, const char *szCurveName,
                                  const char *szParams, long nOptions);
/* HPKE LabeledExpand to nOutBytes; 0. */
VELT_API long HPKE_LabeledExpand(unsigned char *lpOutput, long nOutBytes, const void *lpPrk, long nPrkLen,
                                 const char *szLabel, const void *lpInfo, long nInfoLen, const char *szCurveName,
                                 const char *szParams, long nOptions);
/* HPKE DeriveKeyPair private key as an internal key string or (VELT_ENCODE_HEX) hex; characters. */
VELT_API long HPKE_DerivePrivateKey(char *szOutput, long nOutChars, const void *lpIkm, long nIkmLen,
                                    const char *szCurveName, const char *szParams, long nOptions);

/* end of KDF_, XOF_, PRF_, HPKE_ */


/* ===== Random numbers (RNG_) ===== */

/* end of RNG_ */


/* ===== RSA (RSA_) ===== */

/* end of RSA_ */


/* ===== Password-based encryption (PBE_) ===== */

/* end of PBE_ */


/* ===== Elliptic curves (ECC_) ===== */

/* end of ECC_ */


/* ===== Signatures (SIG_) ===== */

/* end of SIG_ */


/* ===== X.509 and OCSP (X509_, OCSP_) ===== */

/* end of X509_, OCSP_ */


/* ===== CMS, S/MIME and compression (CMS_, SMIME_, COMPR_) ===== */

/* end of CMS_, SMIME_, COMPR_ */


/* ===== PKCS #12 (PFX_) ===== */

/* end of PFX_ */


/* ===== Symmetric ciphers (CIPHER_, TDEA_, PAD_) ===== */

/* end of CIPHER_, TDEA_, PAD_ */

#ifdef __cplusplus
}
#endif

#endif /* MORVANEVELT_H */
