/* A stand-in bus library that offers only the open call, for the binding tests. */
#include <stdint.h>

__attribute__((visibility("default"))) int16_t QZDLLibfind(const char* address, int16_t* ibsta,
                                                           int16_t* iberr, int32_t* ibcntl) {
    (void)address;
    *ibsta = 0x0100;
    *iberr = 0;
    *ibcntl = 0;
    return 42;
}
