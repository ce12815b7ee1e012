/* qzib32: instrument bus calls over TCP/IP in the manner of the GPIB "ib" calls.
 *
 * Every call reports through the status triple the caller passes last: ibsta (status word),
 * iberr (error code) and ibcntl (byte count). All but QZDLLibfind (returns the device handle,
 * -1 on failure) and QZDLLSwapBytes (returns nothing) return the final ibsta.
 *
 * ibsta bits: QZ_ERR the call failed; QZ_TIMO (with QZ_ERR) a wait ran out or a transfer came
 * up short; QZ_CMPL the call completed. iberr: 0 none; 2 open failed or a connection-level
 * socket error; 3 no open device has the handle; 4 no memory for a file transfer; 5 a wait ran
 * out; 6 the socket layer reported an operation in progress; 7 the file of a file transfer
 * could not be opened; -1 a short write or any other failure.
 *
 * A device must not be used by two threads at once. Timeouts are whole seconds; 0 lets data
 * transfers wait without limit. A call ends within the timeout however much or little the
 * instrument sends (stale or unasked data is dropped against the same limit), and closing a
 * device takes at most 1 s. */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#if defined(QZIB32_BUILDING)
#define QZIB32_API __declspec(dllexport)
#else
#define QZIB32_API __declspec(dllimport)
#endif
#define QZIB32_CALL __stdcall
#else
#if defined(QZIB32_BUILDING)
#define QZIB32_API __attribute__((visibility("default")))
#else
#define QZIB32_API
#endif
#define QZIB32_CALL
#endif

#define QZ_ERR ((int16_t)0x8000)
#define QZ_TIMO ((int16_t)0x4000)
#define QZ_CMPL ((int16_t)0x0100)

/* iberr values, as listed above. */
#define QZ_ENONE ((int16_t)0)
#define QZ_EOPEN ((int16_t)2)
#define QZ_EUD ((int16_t)3)
#define QZ_ENOMEM ((int16_t)4)
#define QZ_ETIMEOUT ((int16_t)5)
#define QZ_EINPROGRESS ((int16_t)6)
#define QZ_EFILE ((int16_t)7)
#define QZ_EOTHER ((int16_t)-1)

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the instrument at the address (host name or dotted address; "@local" is 127.0.0.1),
 * or returns the handle of the device already open at exactly this address text. */
QZIB32_API int16_t QZIB32_CALL QZDLLibfind(const char* address, int16_t* ibsta, int16_t* iberr,
                                           int32_t* ibcntl);

/* Writes a zero-terminated text as one message. */
QZIB32_API int16_t QZIB32_CALL QZDLLibwrt(int16_t ud, const char* text, int16_t* ibsta, int16_t* iberr,
                                          int32_t* ibcntl);
/* Writes count bytes as one message. */
QZIB32_API int16_t QZIB32_CALL QZDLLilwrt(int16_t ud, const char* buffer, uint32_t count, int16_t* ibsta,
                                          int16_t* iberr, int32_t* ibcntl);
/* Reads up to and including the block marked END, without a size limit. The call cannot know
 * the buffer's size: it writes as many bytes as the instrument sends, and a longer reply than
 * the buffer holds overwrites the memory behind it. Use it only where the reply's size is
 * known; otherwise call QZDLLilrd with the buffer's size. */
QZIB32_API int16_t QZIB32_CALL QZDLLibrd(int16_t ud, char* buffer, int16_t* ibsta, int16_t* iberr,
                                         int32_t* ibcntl);
/* Reads at most count bytes; a message that does not fit is continued by the next read. */
QZIB32_API int16_t QZIB32_CALL QZDLLilrd(int16_t ud, char* buffer, uint32_t count, int16_t* ibsta,
                                         int16_t* iberr, int32_t* ibcntl);
/* Sends a file's contents as one message. */
QZIB32_API int16_t QZIB32_CALL QZDLLibwrtf(int16_t ud, const char* fileName, int16_t* ibsta, int16_t* iberr,
                                           int32_t* ibcntl);
/* Reads one message into a file (created or truncated). The file grows with whatever the
 * instrument sends; the whole transfer ends at the timeout. */
QZIB32_API int16_t QZIB32_CALL QZDLLibrdf(int16_t ud, const char* fileName, int16_t* ibsta, int16_t* iberr,
                                          int32_t* ibcntl);
/* result: 1 when the instrument has a service request pending, else 0. */
QZIB32_API int16_t QZIB32_CALL QZDLLTestSrq(int16_t ud, int16_t* result, int16_t* ibsta, int16_t* iberr,
                                            int32_t* ibcntl);
/* Waits (up to the timeout) for a service request; result: 1 when one is pending. */
QZIB32_API int16_t QZIB32_CALL QZDLLWaitSrq(int16_t ud, int16_t* result, int16_t* ibsta, int16_t* iberr,
                                            int32_t* ibcntl);
/* Serial poll: one status byte is written. */
QZIB32_API int16_t QZIB32_CALL QZDLLibrsp(int16_t ud, char* statusByte, int16_t* ibsta, int16_t* iberr,
                                          int32_t* ibcntl);
/* Sets the timeout in seconds (0: no limit on data transfers); a negative value is ignored. */
QZIB32_API int16_t QZIB32_CALL QZDLLibtmo(int16_t ud, int16_t seconds, int16_t* ibsta, int16_t* iberr,
                                          int32_t* ibcntl);
/* Remote enable on (flag 1) or off. */
QZIB32_API int16_t QZIB32_CALL QZDLLibsre(int16_t ud, int16_t flag, int16_t* ibsta, int16_t* iberr,
                                          int32_t* ibcntl);
/* Device clear. */
QZIB32_API int16_t QZIB32_CALL QZDLLibclr(int16_t ud, int16_t* ibsta, int16_t* iberr, int32_t* ibcntl);
/* Go to local. */
QZIB32_API int16_t QZIB32_CALL QZDLLibloc(int16_t ud, int16_t* ibsta, int16_t* iberr, int32_t* ibcntl);
/* END on the last block of a write on (flag 1) or off. */
QZIB32_API int16_t QZIB32_CALL QZDLLibeot(int16_t ud, int16_t flag, int16_t* ibsta, int16_t* iberr,
                                          int32_t* ibcntl);
/* flag 0 closes the device; its handle is unknown afterwards. */
QZIB32_API int16_t QZIB32_CALL QZDLLibonl(int16_t ud, int16_t flag, int16_t* ibsta, int16_t* iberr,
                                          int32_t* ibcntl);
/* Leaves the buffer unchanged: data travels in the order the caller gives it. */
QZIB32_API void QZIB32_CALL QZDLLSwapBytes(void* buffer, uint32_t elementSize, uint32_t elementCount);

#ifdef __cplusplus
}
#endif
