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

    /* An error code and what it means. */
    n = VELT_ModuleName(text, sizeof text - 1, 1);
    VELT_ErrorLookup(text, sizeof text - 1, n);
    printf("Bad option:   %ld, %s\n", n, text);

    printf("Self-tests:   %s\n", VELT_PowerUpTests(0) == 0 ? "passed" : "FAILED");
    return 0;
}
