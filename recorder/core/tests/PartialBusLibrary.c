/* A stand-in bus library that offers only some functions, for the binding tests: the open call
   only, or (with MARLIN_PARTIAL_BUS_ALL_BUT_LOCAL) everything the recorder calls but go-to-local. */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

static int16_t done(int16_t* ibsta, int16_t* iberr, int32_t* ibcntl) {
    *ibsta = 0x0100;
    *iberr = 0;
    *ibcntl = 0;
    return *ibsta;
}

EXPORT int16_t QZDLLibfind(const char* address, int16_t* ibsta, int16_t* iberr, int32_t* ibcntl) {
    (void)address;
    done(ibsta, iberr, ibcntl);
    return 42;
}

#ifdef MARLIN_PARTIAL_BUS_ALL_BUT_LOCAL
EXPORT int16_t QZDLLibwrt(int16_t ud, const char* text, int16_t* ibsta, int16_t* iberr, int32_t* ibcntl) {
    (void)ud;
    (void)text;
    return done(ibsta, iberr, ibcntl);
}
EXPORT int16_t QZDLLilrd(int16_t ud, char* buffer, uint32_t count, int16_t* ibsta, int16_t* iberr,
                         int32_t* ibcntl) {
    (void)ud;
    (void)buffer;
    (void)count;
    return done(ibsta, iberr, ibcntl);
}
EXPORT int16_t QZDLLibtmo(int16_t ud, int16_t seconds, int16_t* ibsta, int16_t* iberr, int32_t* ibcntl) {
    (void)ud;
    (void)seconds;
    return done(ibsta, iberr, ibcntl);
}
EXPORT int16_t QZDLLibonl(int16_t ud, int16_t flag, int16_t* ibsta, int16_t* iberr, int32_t* ibcntl) {
    (void)ud;
    (void)flag;
    return done(ibsta, iberr, ibcntl);
}
#endif
