/*
 * Control of the simulated driver library, for tests and benchmarks.
 * Not part of the driver library contract: a program written against the
 * real library never calls these.
 *
 * Operations are named by their exported name ("kaIOSingle"). Settings hold
 * until kaSimReset, which also restores the system read at load time.
 */
#ifndef KA_SIM_H
#define KA_SIM_H

#include "Tarvexmain.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
#define KA_SIM_RESULT(name, code, text) KA_SIM_##name = code,
#include "result_codes.def"
#undef KA_SIM_RESULT
};

/* Back to the state right after loading: closed, no locks, no settings. */
KA_API void kaSimReset(void);

/* Replace the system with one described in JSON text (the format of the
 * TARVEX_SIM_CONFIG file); kaSimReset goes back to the system read at load.
 * Returns 0, or KA_SIM_CONFIG_INVALID, whose message (kaErrorGetMessage)
 * then carries the reason, as after a refused kaConfigLoad. */
KA_API int kaSimLoadSystem(const char *json);

/* The sources of the library's one clock, which streams, timed interrupts,
 * counters and input signals follow. */
enum {
    KA_SIM_CLOCK_REAL,   /* real time, as at load */
    KA_SIM_CLOCK_FAST,   /* real time, moved on at once wherever a call would
                          * wait for it: streams run as fast as they are read or
                          * written, with the values real time would give */
    KA_SIM_CLOCK_STEPPED /* stands still until kaSimAdvanceClock moves it */
};

/* Runs the clock from another source from now on; the time it shows goes
 * on from where it is. Time-outs stay in real time. Returns 0, or
 * KA_SIM_INVALID_ARGUMENT for a source there is not. */
KA_API int kaSimClock(int source);

/* Moves a stepped or fast clock on by `seconds` (to the nearest
 * nanosecond); waiting calls look again. Returns 0, or
 * KA_SIM_INVALID_ARGUMENT in real time or for a step that is negative or
 * beyond a year. */
KA_API int kaSimAdvanceClock(double seconds);

/* The code of a result name ("NOT_OPEN"), or -1 for an unknown name. */
KA_API int kaSimResultCode(const char *name);

/* The name of a result code (1: "NOT_OPEN"), or null for a code that has none. */
KA_API const char *kaSimResultName(int code);

/* Let the operation fail with `code` on its next `times` calls (-1: always,
 * 0: never again). The failing call does nothing else and writes nothing. */
KA_API int kaSimFail(const char *operation, int code, int times);

/* Replace out-value `slot` (counted from 0 in argument order) with `value`
 * whenever the operation succeeds. For an integer slot the value is taken
 * as a 64-bit integer and its low 32 bits are stored, so raw words such as
 * 4294967295 can be given. Record operations apply the slot to that field
 * of every record. */
KA_API int kaSimOverride(const char *operation, int slot, double value);

/* Replace the text an operation writes with `text`, cut to the capacity. */
KA_API int kaSimOverrideText(const char *operation, const char *text);

/* How often the operation was called since the last reset. */
KA_API int kaSimCallCount(const char *operation);

/* The scalar arguments of the operation's last call, in argument order
 * (text and pointer arguments left out). Returns how many there were. */
KA_API int kaSimCapturedArgs(const char *operation, double *args, int capacity);

/* The text argument (host, file) of the last call; empty when none or null. */
KA_API int kaSimCapturedText(const char *operation, char *text, int capacity);

/* The bytes of array argument `index` of the last call, as received. Returns
 * the full length in bytes (copying at most `capacity`), or -1 if none. */
KA_API int kaSimCapturedBytes(const char *operation, int index, void *bytes, int capacity);

/* The address of array argument `index` of the last call (0 if none). */
KA_API unsigned long long kaSimCapturedAddress(const char *operation, int index);

/* A lock held by another owner, as a second program would hold it.
 * `device` -1 means the driver, `subdevice` -1 the whole device. */
KA_API int kaSimForeignLock(int device, int subdevice, int locked);

/* 0: not locked, 1: locked by this program, 2: locked by another owner. */
KA_API int kaSimLockState(int device, int subdevice);

/* What an input of the system sees, as text: the signal of an analog input
 * channel ("sine: amplitude 5, frequency 50 Hz, offset 0", "square: ...",
 * "constant: 1.25", "loopback: device 0, subdevice 1, channel 0"), or the
 * port whose lines a digital input reads ("lines: device 0, subdevice 2";
 * the channel is not looked at). Returns the text's full length (copying at
 * most `capacity` - 1 bytes), 0 when the input sees nothing simulated and
 * reads 0, or -1 for a device, subdevice or channel the system lacks. */
KA_API int kaSimWiring(int device, int subdevice, int channel, char *text, int capacity);

#ifdef __cplusplus
}
#endif

#endif /* KA_SIM_H */
