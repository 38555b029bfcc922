/* Compiled as C99 (-pedantic) and as C++: the public header must be plain. */
#include "morvanevelt.h"

typedef long (*cnv_fn)(char *, long, const unsigned char *, long);

int main(void) {
    cnv_fn f = CNV_HexStrFromBytes;
    long (*version)(void *, void *) = VELT_Version;
    long (*wipe)(const char *, long) = WIPE_File;
    return (f && version && wipe) ? 0 : 1;
}
