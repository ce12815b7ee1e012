/* Opens an instrument through the installed bus library and prints its identity: the proof that a
 * program built against the packages (pkg-config or CMake) finds the header and the library.
 * Usage: opensim ADDRESS */
#include <qzib32.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: opensim ADDRESS\n");
        return 2;
    }
    int16_t ibsta = 0, iberr = 0;
    int32_t ibcntl = 0;
    const int16_t ud = QZDLLibfind(argv[1], &ibsta, &iberr, &ibcntl);
    if (ud < 0) {
        fprintf(stderr, "opensim: no instrument at %s (iberr %d)\n", argv[1], iberr);
        return 1;
    }
    char identity[256];
    memset(identity, 0, sizeof identity);
    QZDLLibwrt(ud, "*IDN?", &ibsta, &iberr, &ibcntl);
    if (!(ibsta & QZ_ERR)) QZDLLilrd(ud, identity, sizeof identity - 1, &ibsta, &iberr, &ibcntl);
    if (ibsta & QZ_ERR) {
        fprintf(stderr, "opensim: *IDN? failed (iberr %d)\n", iberr);
        return 1;
    }
    QZDLLibloc(ud, &ibsta, &iberr, &ibcntl);
    printf("%s\n", identity);
    return 0;
}
