/*
 * How calls of the simulated library cost as the simulated system grows. For each system file
 * given, with its number of devices, the program loads the file and runs each operation on the last
 * device:
 *
 *   bench_scaling time DEVICES FILE [DEVICES FILE ...]
 *     prints "DEVICES|OPERATION|SECONDS", processor time per call, the
 *     best of five rounds;
 *   bench_scaling count DEVICES FILE [DEVICES FILE ...]
 *     under valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no:
 *     loads uninstrumented, collects only the measured calls and dumps each
 *     operation's count labelled "DEVICES|OPERATION|CALLS", and the cost of
 *     collecting itself as operation "nothing".
 *
 * The devices are copies of the built-in TX-PCI-1616 (bench_scaling.py
 * writes them), each wired to itself: its digital input port reads its
 * digital output port, so a write of the output port moves the lines that
 * an interrupt on the input port watches.
 */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <valgrind/callgrind.h>

#include "Tarvexmain.h"

enum { kInputPort = 4, kOutputPort = 5, kWatchedLine = 0 };

static void check(int code, const char *what)
{
    if (code != 0) {
        fprintf(stderr, "bench_scaling: %s failed with code %d\n", what, code);
        exit(1);
    }
}

static void armLineIrq(int device)
{
    check(kaIOIrqStart(device, kInputPort, kWatchedLine, KA_IRQ_SOURCE_DIO_LINE, KA_IRQ_EDGE_RISING,
                       0, KA_IO_IRQ_START_NO_FLAGS),
          "kaIOIrqStart");
}

static void disarmLineIrq(int device)
{
    check(kaIOIrqStop(device, kInputPort, kWatchedLine, KA_IO_IRQ_STOP_NO_FLAGS), "kaIOIrqStop");
}

/* Every other write raises the watched line, so half the calls fire. */
static void writeOutputPort(int device, long call)
{
    kaSingleRecord record = {device, kOutputPort, 0, KA_DIR_OUTPUT, (int)(call & 1), 0, 0, 0};
    check(kaIOSingle(&record, 1, KA_IO_SINGLE_NO_FLAGS), "kaIOSingle");
    check(record.resultCode, "the digital output write");
}

/* The writes must have reached the interrupt through the wiring: the wait
 * answers at once when the interrupt fired, else fails after 1 ms. */
static void checkFiredAndDisarm(int device)
{
    int fired = 0, value = 0;
    check(kaIOIrqWait(device, kInputPort, kWatchedLine, &fired, &value, 1, KA_IO_IRQ_WAIT_NO_FLAGS),
          "kaIOIrqWait after the writes");
    disarmLineIrq(device);
}

static void startAndStopIrq(int device, long call)
{
    (void)call;
    armLineIrq(device);
    disarmLineIrq(device);
}

static void closeLibrary(int device)
{
    (void)device;
    check(kaClose(KA_CLOSE_NO_FLAGS), "kaClose");
}

static void openLibrary(int device)
{
    (void)device;
    check(kaOpen(KA_OPEN_NO_FLAGS), "kaOpen");
}

static void openAndClose(int device, long call)
{
    (void)call;
    openLibrary(device);
    closeLibrary(device);
}

/* Locks every device and releases it again: a lock check must cost the same
 * whatever the program locked before. */
static void lockEveryDeviceOnce(int lastDevice)
{
    for (int device = 0; device <= lastDevice; ++device) {
        check(kaLockDevice(device, KA_LOCK_SET, KA_LOCK_DEVICE_NO_FLAGS), "kaLockDevice");
        check(kaLockDevice(device, KA_LOCK_RELEASE, KA_LOCK_DEVICE_NO_FLAGS), "kaLockDevice");
    }
}

struct Operation {
    const char *name;
    void (*setUp)(int device);
    void (*call)(int device, long call);
    void (*tearDown)(int device);
};

static const struct Operation kOperations[] = {
    {"kaIOSingle DO write, IRQ armed", armLineIrq, writeOutputPort, checkFiredAndDisarm},
    {"kaIOIrqStart + kaIOIrqStop", NULL, startAndStopIrq, NULL},
    {"kaOpen + kaClose", closeLibrary, openAndClose, openLibrary},
    {"kaIOSingle DO write, all locked once", lockEveryDeviceOnce, writeOutputPort, NULL},
};

static void run(const struct Operation *op, int device, long calls)
{
    for (long call = 0; call < calls; ++call)
        op->call(device, call);
}

static double processSeconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static double secondsPerCall(const struct Operation *op, int device, long calls)
{
    const double start = processSeconds();
    run(op, device, calls);
    return (processSeconds() - start) / (double)calls;
}

/* Rounds of at least 5 ms, so that the clock's resolution does not count;
 * the best round, so that other work on the machine does not either. */
static double bestSecondsPerCall(const struct Operation *op, int device)
{
    long calls = 2;
    while (secondsPerCall(op, device, calls) * (double)calls < 5e-3)
        calls *= 2;
    double best = secondsPerCall(op, device, calls);
    for (int round = 1; round < 5; ++round) {
        const double seconds = secondsPerCall(op, device, calls);
        best = seconds < best ? seconds : best;
    }
    return best;
}

/* Instructions repeat exactly, so a few calls suffice where each costs much;
 * an even number, so that the writes fire for exactly half of them. */
static long countedCalls(int devices)
{
    const long calls = 20000 / devices;
    return 2 * (calls > 2 ? calls : 2);
}

/* One dump of the operation's calls; with no operation, of what collecting
 * costs by itself, which bench_scaling.py takes off the others. */
static void count(const struct Operation *op, int devices)
{
    const long calls = op ? countedCalls(devices) : 1;
    CALLGRIND_TOGGLE_COLLECT;
    if (op)
        run(op, devices - 1, calls);
    CALLGRIND_TOGGLE_COLLECT;
    char label[128];
    snprintf(label, sizeof label, "%d|%s|%ld", devices, op ? op->name : "nothing", calls);
    CALLGRIND_DUMP_STATS_AT(label);
}

static void measure(int devices, const char *file, int counting)
{
    CALLGRIND_STOP_INSTRUMENTATION;
    check(kaConfigLoad(file), "kaConfigLoad");
    openLibrary(0);
    int loaded = 0;
    check(kaQueryNumberDevices(&loaded), "kaQueryNumberDevices");
    if (loaded != devices) {
        fprintf(stderr, "bench_scaling: %s holds %d devices, not %d\n", file, loaded, devices);
        exit(1);
    }
    CALLGRIND_START_INSTRUMENTATION;
    if (counting)
        count(NULL, devices);
    const int device = devices - 1;
    for (size_t i = 0; i < sizeof kOperations / sizeof *kOperations; ++i) {
        const struct Operation *op = &kOperations[i];
        if (op->setUp)
            op->setUp(device);
        run(op, device, 2); /* the first calls set up what later ones reuse */
        if (counting)
            count(op, devices);
        else
            printf("%d|%s|%.9g\n", devices, op->name, bestSecondsPerCall(op, device));
        if (op->tearDown)
            op->tearDown(device);
    }
    closeLibrary(device);
}

int main(int argc, char **argv)
{
    const int counting = argc > 1 && strcmp(argv[1], "count") == 0;
    if (argc < 4 || argc % 2 != 0 || (!counting && strcmp(argv[1], "time") != 0)) {
        fprintf(stderr, "usage: bench_scaling time|count DEVICES FILE [DEVICES FILE ...]\n");
        return 2;
    }
    for (int i = 2; i < argc; i += 2)
        measure(atoi(argv[i]), argv[i + 1], counting);
    return 0;
}
