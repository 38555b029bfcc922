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

/* end of HASH_, HMAC_ */


/* ===== Key derivation (KDF_, XOF_, PRF_, HPKE_) ===== */

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
/* Updates or creates the seed file; without one, the hardware level (1-3) or -214 (0x80000: no hardware). */
VELT_API long RNG_Initialize(const char *szSeedFile, long nOptions);
/* Writes a new 128-byte seed file (0600) after gathering keystroke entropy. */
VELT_API long RNG_MakeSeedFile(const char *szSeedFile, const char *szPrompt, long nOptions);
/* Reseeds the generator from an existing seed file and rewrites the file. */
VELT_API long RNG_UpdateSeedFile(const char *szSeedFile, long nOptions);
/* Health check and FIPS 140-2 statistical tests; 0 pass, 1 failed, negative on error. */
VELT_API long RNG_Test(const char *szFileName, long nOptions);
/* One HMAC_DRBG SHA-512 test vector in hex (option 0x10000: reseed after the first generate). */
VELT_API long RNG_TestDRBGVS(char *szOutput, long nOutChars, long nReturnedBitsLen, const char *szEntropyInput,
                             const char *szNonce, const char *szPersonalizationString,
                             const char *szAdditionalInput1, const char *szEntropyReseed,
                             const char *szAdditionalInputReseed, const char *szAdditionalInput2, long nOptions);

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
