/* A program outside the project, built against the installed library. */
#include <stdio.h>
#include <string.h>

#include <morvanevelt.h>

int main(void) {
    char hex[16];
    const unsigned char b[] = {0x01, 0xAB};
    if (VELT_Version(NULL, NULL) != 230100) return 1;
    if (CNV_HexStrFromBytes(hex, sizeof hex - 1, b, 2) != 4 || strcmp(hex, "01AB") != 0) return 2;
    printf("consumer ok\n");
    return 0;
}
