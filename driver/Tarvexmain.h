/*
 * Tarvexmain: the driver library's operations, records and constants.
 *
 * Every operation returns a 32-bit result code: 0 is success, anything else
 * an error whose text kaErrorGetMessage gives. Out-values count only after 0.
 * Inputs pass by value; out-values through pointers; text comes back in a
 * buffer followed by its capacity in bytes; a 64-bit tick count passes as two
 * 32-bit words, low word first. Batch operations take a record array and its
 * count.
 */
#ifndef TARVEXMAIN_H
#define TARVEXMAIN_H

#include <stddef.h>

#if defined(_WIN32)
#    if defined(TARVEXMAIN_BUILDING)
#        define KA_API __declspec(dllexport)
#    else
#        define KA_API __declspec(dllimport)
#    endif
#elif defined(TARVEXMAIN_BUILDING)
#    define KA_API __attribute__((visibility("default")))
#else
#    define KA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Constants */

enum {
#define KA_CONSTANT(name, value) name = value,
#define KA_CONSTANT_AGAIN(name, value)
#include "ka_constants.def"
#undef KA_CONSTANT
#undef KA_CONSTANT_AGAIN
};

/* Records: arrays of 32-bit signed fields with no gaps. */

/* One transfer of kaIOSingle; value and resultCode are written back. */
typedef struct kaSingleRecord {
    int device;
    int subdevice;
    int channel;
    int direction;
    int value;
    int timeOut;
    int flags;
    int resultCode;
} kaSingleRecord;

/* One entry of a stream channel list. */
typedef struct kaStreamConfigRecord {
    int channel;
    int streamConfig;
    int reference;
    int flags;
} kaStreamConfigRecord;

/* The whole trigger set-up of one stream; tick counts are low word first. */
typedef struct kaStreamTriggerRecord {
    int acqStartTrigType;
    int acqStartTrigEdge;
    int acqStartTrigChan;
    int acqStartTicksLow;
    int acqStartTicksHigh;
    int acqStartReserved[10];
    int scanStartTrigType;
    int scanStartTicksLow;
    int scanStartTicksHigh;
    int scanStartReserved[10];
    int convStartTrigType;
    int convStartTicksLow;
    int convStartTicksHigh;
    int convStartReserved[10];
    int scanStopTrigType;
    int scanStopCount;
    int scanStopReserved[10];
    int acqStopTrigType;
    int acqStopCount;
    int acqStopReserved[10];
    int flags;
} kaStreamTriggerRecord;

/* One entry of kaIOStreamStart; resultCode is written back. */
typedef struct kaStreamStartRecord {
    int device;
    int subdevice;
    int startMode;
    int timeOut;
    int flags;
    int resultCode;
} kaStreamStartRecord;

/* One entry of kaIOStreamStop; resultCode is written back. */
typedef struct kaStreamStopRecord {
    int device;
    int subdevice;
    int stopMode;
    int flags;
    int resultCode;
} kaStreamStopRecord;

/* Open, locks, reset, error texts */
KA_API int kaOpen(int flags);
KA_API int kaClose(int flags);
KA_API int kaLockDriver(int lock, int flags);
KA_API int kaLockDevice(int device, int lock, int flags);
KA_API int kaLockSubdevice(int device, int subdevice, int lock, int flags);
KA_API int kaIOResetDevice(int device, int flags);
KA_API int kaIOResetSubdevice(int device, int subdevice, int flags);
KA_API int kaErrorGetMessage(int errorCode, char *errorMsg, int count);

/* Interrupts */
KA_API int kaIOIrqStart(int device, int subdevice, int channel, int irqSource, int irqEdge,
                        int irqArg, int flags);
KA_API int kaIOIrqStop(int device, int subdevice, int channel, int flags);
KA_API int kaIOIrqWait(int device, int subdevice, int channel, int *irqCount, int *value,
                       int timeOut, int flags);

/* Single values */
KA_API int kaIOSingleConfig(int device, int subdevice, int channel, int singleConfig, int ref,
                            int trigChan, int trigType, int trigEdge, int flags);
KA_API int kaIOSingle(kaSingleRecord *singleList, int count, int flags);

/* Streaming */
KA_API int kaIOStreamConfig(int device, int subdevice, kaStreamConfigRecord *configList, int count,
                            kaStreamTriggerRecord *trigger, int fifoIrqThreshold, int flags);
KA_API int kaIOStreamStart(kaStreamStartRecord *startList, int count, int flags);
KA_API int kaIOStreamStop(kaStreamStopRecord *stopList, int count, int flags);
KA_API int kaIOStreamRead(int device, int subdevice, int readMode, int *values, int *count,
                          int flags);
KA_API int kaIOStreamWrite(int device, int subdevice, int writeMode, int *values, int *count,
                           int flags);
KA_API int kaIOStreamStatus(int device, int subdevice, int wait, int *status, int *count,
                            int flags);
KA_API int kaIOStreamFrequencyToTicks(int device, int subdevice, int timer, double *frequency,
                                      int *ticksLow, int *ticksHigh, int flags);
KA_API int kaIOStreamTimeToTicks(int device, int subdevice, int timer, double *time, int *ticksLow,
                                 int *ticksHigh, int flags);

/* Queries */
KA_API int kaQueryVersionLibrary(int *version);
KA_API int kaQueryVersionMainDriver(int *version);
KA_API int kaQueryVersionDeviceDriver(int device, int *version);
KA_API int kaQueryNumberDevices(int *number);
KA_API int kaQueryNumberSubdevices(int device, int *number);
KA_API int kaQueryNumberChannels(int device, int subdevice, int *number);
KA_API int kaQueryNumberRanges(int device, int subdevice, int unit, int *number);
KA_API int kaQueryRangeByMinMax(int device, int subdevice, int unit, double *min, double *max,
                                int *maxData, int *range);
KA_API int kaQueryRangeInfo(int device, int subdevice, int range, int *unit, double *min,
                            double *max, int *maxData);
KA_API int kaQuerySubdeviceByType(int device, int startSubdevice, int type, int subtype,
                                  int *subdevice);
KA_API int kaQuerySubdeviceType(int device, int subdevice, int *type, int *subtype);
KA_API int kaQuerySubdeviceCaps(int device, int subdevice, int *caps);
KA_API int kaQuerySubdeviceCapsArgs(int device, int subdevice, int cap, int *args, int count);
KA_API int kaQueryNameDevice(int device, char *name, int count);
KA_API int kaQueryNameDeviceDriver(int device, char *name, int count);
KA_API int kaQueryDescriptionDevice(int device, char *description, int count);
KA_API int kaQueryInfoDevice(int device, int *vendorId, int *deviceId, int *serialNo, int *busType,
                             int *busNo, int *devNo, int *funcNo, int *plugged);

/* Remote queries: the host comes first, the rest is the local twin's. */
KA_API int kaRQueryNumberDevices(const char *host, int *number);
KA_API int kaRQueryNumberSubdevices(const char *host, int device, int *number);
KA_API int kaRQueryNumberChannels(const char *host, int device, int subdevice, int *number);
KA_API int kaRQueryNumberRanges(const char *host, int device, int subdevice, int unit, int *number);
KA_API int kaRQueryNameDevice(const char *host, int device, char *name, int count);
KA_API int kaRQueryDescriptionDevice(const char *host, int device, char *description, int count);
KA_API int kaRQueryInfoDevice(const char *host, int device, int *vendorId, int *deviceId,
                              int *serialNo, int *busType, int *busNo, int *devNo, int *funcNo,
                              int *plugged);
KA_API int kaRQuerySubdeviceType(const char *host, int device, int subdevice, int *type,
                                 int *subtype);
KA_API int kaRQueryRangeInfo(const char *host, int device, int subdevice, int range, int *unit,
                             double *min, double *max, int *maxData);

/* Utilities */
KA_API int kaUtilityExtractValues(int channel, int *aiBuffer, int aiBufferCount,
                                  kaStreamConfigRecord *configList, int configListCount,
                                  int *chanBuffer, int *chanBufferCount);
KA_API int kaUtilityPhysicalToDigital(double min, double max, int maxData, double physical,
                                      int *digital);
KA_API int kaUtilityDigitalToPhysical(double min, double max, int maxData, int digital,
                                      int moduleType, double refValue, double *physical);
KA_API int kaUtilityPWMStart(int device, int subdevice1, int subdevice2, int subdevice3, int ref,
                             int prescaler, int dutyCycle, int flags);
KA_API int kaUtilityPWMStop(int device, int subdevice1);
KA_API int kaConfigLoad(const char *configFile);

#ifdef __cplusplus
}
#endif

/* The layouts are part of the contract: check them wherever this is built. */
#ifdef __cplusplus
#    define KA_STATIC_ASSERT static_assert
#else
#    define KA_STATIC_ASSERT _Static_assert
#endif
KA_STATIC_ASSERT(sizeof(int) == 4, "fields are 32-bit");
KA_STATIC_ASSERT(sizeof(kaSingleRecord) == 32, "single record");
KA_STATIC_ASSERT(offsetof(kaSingleRecord, value) == 16, "single record value");
KA_STATIC_ASSERT(offsetof(kaSingleRecord, resultCode) == 28, "single record errno");
KA_STATIC_ASSERT(sizeof(kaStreamConfigRecord) == 16, "stream channel record");
KA_STATIC_ASSERT(offsetof(kaStreamConfigRecord, flags) == 12, "stream channel flags");
KA_STATIC_ASSERT(sizeof(kaStreamTriggerRecord) == 264, "trigger record");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, acqStartTicksLow) == 12, "acq ticks");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, scanStartTrigType) == 60, "scan start");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, scanStartTicksLow) == 64, "scan ticks");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, convStartTrigType) == 112, "conv start");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, convStartTicksLow) == 116, "conv ticks");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, scanStopTrigType) == 164, "scan stop");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, scanStopCount) == 168, "scan stop count");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, acqStopTrigType) == 212, "acq stop");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, acqStopCount) == 216, "acq stop count");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, flags) == 260, "trigger flags");
KA_STATIC_ASSERT(sizeof(kaStreamStartRecord) == 24, "stream start record");
KA_STATIC_ASSERT(offsetof(kaStreamStartRecord, resultCode) == 20, "stream start errno");
KA_STATIC_ASSERT(sizeof(kaStreamStopRecord) == 20, "stream stop record");
KA_STATIC_ASSERT(offsetof(kaStreamStopRecord, resultCode) == 16, "stream stop errno");
#undef KA_STATIC_ASSERT

#endif /* TARVEXMAIN_H */
