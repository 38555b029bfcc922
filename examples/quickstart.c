/* quickstart: a first look at the library through its C interface. */
#include <stdio.h>
#include <string.h>

#include "morvanevelt.h"

int main(void) {
    char text[256];
    long n;

    printf("Version:      %ld\n", VELT_Version(NULL, NULL));
    VELT_ModuleName(text, sizeof text - 1, 0);
    printf("Module:       %s\n", text);
    VELT_Platform(text, sizeof text - 1);
    printf("Platform:     %s\n", text);
    VELT_CompileTime(text, sizeof text - 1);
    printf("Built:        %s\n", text);

    /* Bytes to hexadecimal and base64, and back. */
    {
        const unsigned char data[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
        unsigned char back[16];
        CNV_HexStrFromBytes(text, sizeof text - 1, data, sizeof data);
        printf("Hex:          %s\n", text);
        n = CNV_BytesFromHexStr(back, sizeof back, "de:ad be-ef 01");
        printf("Hex decoded:  %ld bytes, %s\n", n, memcmp(back, data, sizeof data) == 0 ? "same" : "DIFFERENT");
        CNV_B64StrFromBytes(text, sizeof text - 1, data, sizeof data);
        printf("Base64:       %s\n", text);
        n = CNV_BytesFromB64Str(back, sizeof back, text);
        printf("B64 decoded:  %ld bytes, %s\n", n, memcmp(back, data, sizeof data) == 0 ? "same" : "DIFFERENT");
    }

    /* An error code and what it means. */
    n = VELT_ModuleName(text, sizeof text - 1, 1);
    VELT_ErrorLookup(text, sizeof text - 1, n);
    printf("Bad option:   %ld, %s\n", n, text);

    printf("Self-tests:   %s\n", VELT_PowerUpTests(0) == 0 ? "passed" : "FAILED");
    return 0;
}
