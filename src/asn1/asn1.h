// ASN.1: the node chain with its DER encoder and BER parser, searching and
// value conversions, object identifiers, distinguished names and times.
// What other subsystems may call.
//
// A chain is a flat doubly linked list of AsnNode records in document
// (pre-order) order; nesting is told by the level field. Whoever holds the
// head owns the chain and frees it with asn_Free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

class InpStream;
struct BdNumber;

struct AsnNode {
    uint32_t id;          // class bits | 0x20 when constructed (no tag-number bits)
    uint32_t tag;         // tag number
    int64_t length;       // content octets; -1 = not yet set
    uint32_t indefinite;  // non-zero for the indefinite length form
    uint32_t level;       // nesting depth in its chain
    int64_t hdrSize;      // octets held in header; 0 = not built
    uint8_t header[8];    // identifier and length octets, as read or built
    AsnNode* next;
    AsnNode* prev;
    uint8_t* data;        // content octets (primitive nodes only)
};

// Structure template entry; a template ends with level -1 (tag -99: anything
// may follow).
struct AsnMatchItem {
    int32_t tag;
    int32_t level;
};

// OID record: content octets (at most 31 used), their count and a name (the
// table name, or the dotted form).
struct OidRec {
    uint8_t oct[32];
    int32_t length;
    char name[128];
};

// Byte source for the parser: a memory block or a standard file stream.
// The INP_ input stream of the support library is adapted onto this.
struct AsnInput {
    const uint8_t* mem = nullptr;
    size_t len = 0;
    size_t pos = 0;
    FILE* fp = nullptr;
    InpStream* inp = nullptr;
    int64_t fileSize = -1;  // regular files: the size, for the remaining-input check

    static AsnInput memory(const void* p, size_t n);
    static AsnInput file(FILE* f);
    // Reads through an INP_ stream, keeping its position in step.
    static AsnInput stream(InpStream* s);
    int getc();
    size_t read(uint8_t* out, size_t n);
    int64_t tell() const;
    bool seek(int64_t off);
    // Octets left, or -1 when unknown (pipes).
    int64_t remaining() const;
};

// Limits.
inline constexpr int kAsnMaxDepth = 200;      // open constructed elements while parsing
inline constexpr int kAsnMaxHeader = 8;       // identifier + length octets
inline constexpr uint32_t kAsnMaxBuildTag = 30;

// Fixed-capacity stack of 64-bit values. A push on a full stack or a pop on
// an empty one sets the error flag, empties the stack and returns 0.
struct STACK {
    size_t capacity;
    uint64_t* items;
    size_t count;
    int error;
};
STACK* STACK_new(size_t n);
int STACK_push(STACK* s, uint64_t value);
uint64_t STACK_pop(STACK* s);
int STACK_iserror(const STACK* s);
void STACK_clear(STACK* s);
void STACK_free(STACK** s);

// ---- Accessors ----
int64_t asn_length(const AsnNode* n);
int64_t asn_hdrSize(const AsnNode* n);
uint8_t* asn_data(const AsnNode* n);
uint32_t asn_tag(const AsnNode* n);
uint32_t asn_id(const AsnNode* n);
AsnNode* asn_next(const AsnNode* n);
int asn_isConstructed(const AsnNode* n);
int asn_isPrimitive(const AsnNode* n);
int asn_isContextSpecific(const AsnNode* n);
int asn_isTagged(const AsnNode* n, uint32_t tagno);
int asn_isIndefinite(const AsnNode* n);
int asn_isEOC(const AsnNode* n);

// ---- Constructors ----
AsnNode* asn_New();
void asn_Free(AsnNode** head);
AsnNode* asn_Start(uint32_t id, uint32_t tag);
int64_t asn_SetHeader(AsnNode* n);
AsnNode* asn_NewInteger(uint64_t value);
AsnNode* asn_NewIntegerBig(const uint8_t* octets, size_t n);
AsnNode* asn_NewNull();
AsnNode* asn_NewBoolean(int b);
AsnNode* asn_NewOID(const char* name);
AsnNode* asn_NewOIDFromDotted(const char* text);
AsnNode* asn_NewOIDFromRec(const OidRec* rec);
AsnNode* asn_NewOctetString(const uint8_t* octets, size_t n);
AsnNode* asn_NewOctetStringAsn(AsnNode* chain);
AsnNode* asn_NewBitString(uint8_t unused, const uint8_t* octets, size_t n);
AsnNode* asn_NewBitStringAsn(uint8_t unused, AsnNode* chain);
AsnNode* asn_NewPrintableString(const char* s);
AsnNode* asn_NewIA5String(const char* s);
AsnNode* asn_NewT61String(const char* s);
AsnNode* asn_NewBMPStringA(const char* s);
AsnNode* asn_NewUTF8StringA(const char* s);
AsnNode* asn_NewStringOfType(uint32_t tag, const uint8_t* octets, size_t n);
AsnNode* asn_NewUTCTime(const struct tm* t);
AsnNode* asn_NewGeneralizedTime(const struct tm* t);
AsnNode* asn_NewTime_GenOrUtc(const struct tm* t);
AsnNode* asn_NewContextImplicit(uint32_t n, const uint8_t* octets, size_t len);
AsnNode* asn_MakeStandAlone(AsnNode* node);
// Minimal INTEGER contents of an unsigned value / magnitude.
size_t asn_Long2Oct(uint8_t out[9], uint64_t value);

// ---- Joining ----
AsnNode* asn_Join(AsnNode* fresh, AsnNode* contents);
AsnNode* asn_Sequence(AsnNode* chain);
AsnNode* asn_Set(AsnNode* chain);
AsnNode* asn_ConstrContext(uint32_t n, AsnNode* chain);
AsnNode* asn_Link(AsnNode* a, AsnNode* b);
AsnNode* asn_LinkVar(AsnNode* first, ...);

// ---- Encoding ----
int64_t asn_Size(AsnNode* chain);
uint8_t* asn_Store(AsnNode* chain, int64_t* n);
int asn_Write(AsnNode* chain, FILE* f);
uint8_t* asn_StoreData(const AsnNode* node, int64_t* n);
int64_t asn_CopyData(const AsnNode* node, uint8_t* buf, int64_t max);
int asn_Write_EOC(FILE* f);
int asn_Write_OctetString(FILE* f, const uint8_t* octets, size_t n);
char* asn_ToBase64(AsnNode* chain);  // free with efree_mem

// ---- Parsing ----
AsnNode* asn_readInput(AsnInput* in, int all);
AsnNode* asn_ReadFile(FILE* f);
AsnNode* asn_ReadBytes(const uint8_t* octets, size_t n);
AsnNode* asn_ReadBytesImplicitSet(const uint8_t* octets, size_t n);
AsnNode* asn_FromBase64(const char* text);
int asn_IsMatchToList(const AsnNode* chain, const AsnMatchItem* tmpl);
AsnNode* asn_ReadByList(AsnInput* in, const AsnMatchItem* tmpl);
AsnNode* asn_ReadSequenceFromInput(AsnInput* in);
// Reads one header into work; 1 read, 0 end of input, -1 malformed.
int asn_readHeader(AsnInput* in, AsnNode* work);
uint8_t* asn_ReadNextRaw(AsnInput* in, int64_t* n, AsnNode* work);
long asn_ReadNextRawHeader(AsnInput* in, AsnNode* work);
long asn_TagLookAhead(AsnInput* in, AsnNode* work);
int asn_ParseSignedFromInput(AsnInput* in, int64_t* tbsOffset, int64_t* tbsSize, int64_t* sigAlgOffset,
                             int64_t* sigOffset);
int asn_SearchInData(int64_t* offset, int64_t* size, const uint8_t* octets, size_t n, long tag, long count,
                     long level);

// The same over an INP_ input stream (file or memory).
AsnNode* asn_ReadFromInput(InpStream* in);
AsnNode* asn_ReadImplicitSetFromInput(InpStream* in);
AsnNode* asn_ReadByList(InpStream* in, const AsnMatchItem* tmpl);
AsnNode* asn_ReadSequenceFromInput(InpStream* in);
uint8_t* asn_ReadNextRaw(InpStream* in, int64_t* n, AsnNode* work);
long asn_ReadNextRawHeader(InpStream* in, AsnNode* work);
long asn_TagLookAhead(InpStream* in, AsnNode* work);
int asn_ParseSignedFromInput(InpStream* in, int64_t* tbsOffset, int64_t* tbsSize, int64_t* sigAlgOffset,
                             int64_t* sigOffset);

// ---- Indefinite-length output ----
AsnNode* asn_NdefOpen(uint32_t tag);
AsnNode* asn_NdefOpenContext(uint32_t tag);
AsnNode* asn_NdefAppend(AsnNode* ndef, AsnNode* chain);
AsnNode* asn_NdefClose(AsnNode* ndef);
int asn_Ndef2Fixed(AsnNode** chain);

// ---- DER SET OF order ----
int asn_Compare(AsnNode* a, AsnNode* b);
void asn_Sort(AsnNode** items, size_t n);

// ---- Search and extraction (forward from the node after the given one) ----
AsnNode* asn_Find(AsnNode* node, uint32_t tag);
AsnNode* asn_FindNextAtLevel(AsnNode* node, uint32_t tag, uint32_t level);
AsnNode* asn_FindAtLevel(AsnNode* node, uint32_t tag, long count, uint32_t level);
AsnNode* asn_FindAnyAtLevel(AsnNode* node, long count, uint32_t level);
AsnNode* asn_FindTagged(AsnNode* node, uint32_t n);
AsnNode* asn_FindTaggedAtLevel(AsnNode* node, uint32_t n, uint32_t level);
AsnNode* asn_Extract(AsnNode* node, uint32_t tag, long count, long level);
AsnNode* asn_ExtractCurrent(const AsnNode* node);
AsnNode* asn_Duplicate(const AsnNode* chain);
AsnNode* asn_SeekOIDExtractByTag(AsnNode* chain, const OidRec* oid, uint32_t tag);

// Extensions (RFC 5280 section 4.1): the Extensions SEQUENCE of a
// certificate, CRL or certification request (extensionRequest attribute), or
// null. The node returned belongs to the chain.
AsnNode* asn_FindExtensions(AsnNode* chain);
// Walks Extension { extnID, critical DEFAULT FALSE, extnValue } entries of an
// Extensions SEQUENCE node and returns a copy of the extnValue OCTET STRING of
// the one whose extnID equals oid (critical flag in *critical when given).
// Only extnID fields are compared: an OID inside another extension's value is
// never taken for an extension.
AsnNode* asn_ExtensionValue(AsnNode* extensions, const OidRec* oid, int* critical);
// The same over a whole certificate, CRL or request chain.
AsnNode* asn_FindExtension(AsnNode* chain, const OidRec* oid, int* critical);

// ---- Value conversions ----
uint64_t asn_Integer2Long(const AsnNode* node);
long asn_Integer2Bytes(const AsnNode* node, uint8_t* buf, long max);
uint64_t asn_Oct2Long(const uint8_t* octets, size_t n);
long asn_Oct2BigInt(uint8_t* out, size_t outLen, const uint8_t* octets, size_t n);
int asn_BooleanValue(const AsnNode* node);
uint8_t* asn_BitString2Bytes(const AsnNode* node, int64_t* n);
uint32_t asn_BitString2Long(const AsnNode* node);
int asn_Long2BitStringOcts(uint32_t value, uint8_t out4[4], int* unused);
uint8_t* asn_OctetString2Bytes(const AsnNode* node, int64_t* n);
uint8_t* asn_TaggedOctetString2Bytes(const AsnNode* node, int64_t* n);
uint8_t* asn_Contents2Bytes(const AsnNode* node, int64_t* n);
char* asn_Contents2String(const AsnNode* node);
// UTCTime or GeneralizedTime (DER form, ending in Z) to a normalised broken-down
// time: 0; 1 for another tag; -1 for a null node, a malformed value, an
// offset, or an impossible date or time (month 13, 30 February, hour 24,
// minute or second 60).
int asn_ZuluTime2tm(const AsnNode* node, struct tm* t);
char* asn_ZuluTime2IsoString(char buf[32], const AsnNode* node);
char* asn_StoreDataString(const AsnNode* node, int latin1);
// The text asn_StoreDataString returns, with its length (it may hold NULs).
std::string asn_DataStringText(const AsnNode* node, int latin1);
char* asn_StoreUTF8String(const AsnNode* node, int64_t* n);
long asn_OidDotString(const AsnNode* node, char* buf, long max);
int asn_SetOid(OidRec* rec, const AsnNode* node);
int asn_isPrintable(const AsnNode* node);
void asn_PrintString(FILE* f, const AsnNode* node);
void asn_DisplayString(const AsnNode* node);
void asn_PrintStringMsg(FILE* f, const char* before, const AsnNode* node, const char* after);
void asn_DisplayStringMsg(const char* before, const AsnNode* node, const char* after);
AsnNode* asn_MakeDigestAlg(long code);
AsnNode* asn_MakeDigestAlgStrict(long code);
// DER-encode the chain and hash the encoding (hash selector code); the
// hashing result, or -1 when the chain encodes to nothing.
long asn_HashToBytes(AsnNode* chain, uint8_t* out, long max, long code);
long asn_HashToHex(AsnNode* chain, char* outHex, long max, long code);
// INTEGER contents into a big number, read as an unsigned big-endian
// magnitude like asn_Integer2Long; 0, or -1 for anything but an INTEGER.
int asn_Integer2BigD(const AsnNode* node, BdNumber* b);

// ---- Streaming OCTET STRING reader ----
struct RdoReader {
    AsnNode work;
    int state;  // 1 header expected, 2 inside a segment, 3 finished
    int64_t remaining;
    int unknownLength;
    int64_t segmentLeft;
    int indefDepth;
    int innerDefinite;
    int64_t innerRemaining;
    int failed;
};
RdoReader* rdo_New();
void rdo_Free(RdoReader** r);
void rdo_Init(RdoReader* r, int64_t length, int primitive);
long rdo_ReadOctetString_Part(RdoReader* r, uint8_t* buf, long max, AsnInput* in);
long rdo_ReadOctetString_Part(RdoReader* r, uint8_t* buf, long max, InpStream* in);

// ---- Object identifiers ----
int oid_SetOID(OidRec* rec, const char* name);
int oid_SetOIDFromDotted(OidRec* rec, const char* text);
int oid_SetRef(OidRec* rec);
int oid_SetRefAsDotString(OidRec* rec);
int oid_MatchName(const OidRec* rec, const char* name);
const char* oid_GetRef(const OidRec* rec);
// Dotted text of content octets (any arc size); -1 when malformed. Returns the
// full length, copying at most max - 1 characters and a NUL.
long oid_OctetsToDotted(const uint8_t* oct, size_t n, char* buf, long max);
// Encodes dotted text into out (room max); the octet count, or the one's
// complement of the offset where parsing failed.
long oid_DottedToOctets(const char* text, uint8_t* out, size_t max);
// Number of rows and row access of the OID table (for tests and dumps).
size_t oid_TableSize();
const char* oid_TableName(size_t i);
const char* oid_TableDotted(size_t i);

// ---- Distinguished names ----
struct DnEntry {
    const char* attrib;  // long name (static)
    char* value;         // owned
    size_t valueLen;     // octets (a #x value may hold NULs)
    char* oid;           // owned, dotted-OID attributes only
    DnEntry* next;
};
struct DnList {
    long count;
    DnEntry* first;
};
DnList* dn_New();
void dn_Free(DnList** list);
long dn_parse(DnList* list, const char* text);
long dn_count(const DnList* list);
const char* dn_attribname(const DnList* list, long i);
const char* dn_value(const DnList* list, long i);
const char* dn_oid(const DnList* list, long i);
void dn_printf(const DnList* list);
const char* dn_code(const char* longName);
const char* dn_desc(const char* longName);
int isValidPrintableString(const char* s);
int isValidIA5String(const char* s);
// Checks the dotted OIDs and "#" DER values of a parsed list ("Bad OID",
// "Bad ASN.1" detail); 0 or a negative error.
long dn_check(const DnList* list);
// Name SEQUENCE from an entry list; option 0x800000 selects UTF8String values.
AsnNode* dn_MakeName(const DnList* list, long options);
// Name from DN text; null with error 6 "Invalid distinguished name string".
AsnNode* dn_MakeNameFromString(const char* text, long options, long* error);
// Name text (library form, or RFC 4514 with option 0x1000) under the output
// convention; -7 malformed, -30 too small.
long x509getDNStringFromAsn(char* out, long max, AsnNode* name, const char* delimiter, long options);
// 1 when two Names match (identical DER, or equal attribute sets).
int x509matchNames(AsnNode* a, AsnNode* b);
int x509matchIssuerAndSN(AsnNode* a, AsnNode* b);

// ---- Times ----
struct tm* gt_normalizetm(struct tm* t);
int isotime_iso2tmgmt(struct tm* t, const char* text, const char* defaultTime);
long isotime_tm2isogmt(char* out, long max, const struct tm* t);
long isotime_tm2isostring(char out[32], const struct tm* t);

// ---- Text helpers shared with PEM and dumps ----
int asn_utf8_valid(const uint8_t* p, size_t n);
