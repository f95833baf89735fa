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

/* One transfer of kaIOSingle; iValue and iErrno are written back. */
typedef struct kaSingleRecord {
    int iDevice;
    int iSubdevice;
    int iChannel;
    int iDir;
    int iValue;
    int iTimeOut;
    int iFlags;
    int iErrno;
} kaSingleRecord;

/* One entry of a stream channel list. */
typedef struct kaStreamConfigRecord {
    int iChannel;
    int iStreamConfig;
    int iRef;
    int iFlags;
} kaStreamConfigRecord;

/* The whole trigger set-up of one stream; tick counts are low word first. */
typedef struct kaStreamTriggerRecord {
    int iAcqStartTrigType;
    int iAcqStartTrigEdge;
    int iAcqStartTrigChan;
    int iAcqStartTicksLow;
    int iAcqStartTicksHigh;
    int iAcqStartReserved[10];
    int iScanStartTrigType;
    int iScanStartTicksLow;
    int iScanStartTicksHigh;
    int iScanStartReserved[10];
    int iConvStartTrigType;
    int iConvStartTicksLow;
    int iConvStartTicksHigh;
    int iConvStartReserved[10];
    int iScanStopTrigType;
    int iScanStopCount;
    int iScanStopReserved[10];
    int iAcqStopTrigType;
    int iAcqStopCount;
    int iAcqStopReserved[10];
    int iFlags;
} kaStreamTriggerRecord;

/* One entry of kaIOStreamStart; iErrno is written back. */
typedef struct kaStreamStartRecord {
    int iDevice;
    int iSubdevice;
    int iStartMode;
    int iTimeOut;
    int iFlags;
    int iErrno;
} kaStreamStartRecord;

/* One entry of kaIOStreamStop; iErrno is written back. */
typedef struct kaStreamStopRecord {
    int iDevice;
    int iSubdevice;
    int iStopMode;
    int iFlags;
    int iErrno;
} kaStreamStopRecord;

/* Open, locks, reset, error texts */
KA_API int kaOpen(int iFlags);
KA_API int kaClose(int iFlags);
KA_API int kaLockDriver(int iLock, int iFlags);
KA_API int kaLockDevice(int iDevice, int iLock, int iFlags);
KA_API int kaLockSubdevice(int iDevice, int iSubdevice, int iLock, int iFlags);
KA_API int kaIOResetDevice(int iDevice, int iFlags);
KA_API int kaIOResetSubdevice(int iDevice, int iSubdevice, int iFlags);
KA_API int kaErrorGetMessage(int iErrorCode, char *pcErrorMsg, int iCount);

/* Interrupts */
KA_API int kaIOIrqStart(int iDevice, int iSubdevice, int iChannel, int iIrqSource, int iIrqEdge,
                        int iIrqArg, int iFlags);
KA_API int kaIOIrqStop(int iDevice, int iSubdevice, int iChannel, int iFlags);
KA_API int kaIOIrqWait(int iDevice, int iSubdevice, int iChannel, int *piIrqCount, int *piValue,
                       int iTimeOut, int iFlags);

/* Single values */
KA_API int kaIOSingleConfig(int iDevice, int iSubdevice, int iChannel, int iSingleConfig, int iRef,
                            int iTrigChan, int iTrigType, int iTrigEdge, int iFlags);
KA_API int kaIOSingle(kaSingleRecord *pSingleList, int iCount, int iFlags);

/* Streaming */
KA_API int kaIOStreamConfig(int iDevice, int iSubdevice, kaStreamConfigRecord *pConfigList,
                            int iCount, kaStreamTriggerRecord *pTrigger, int iFifoIrqThreshold,
                            int iFlags);
KA_API int kaIOStreamStart(kaStreamStartRecord *pStartList, int iCount, int iFlags);
KA_API int kaIOStreamStop(kaStreamStopRecord *pStopList, int iCount, int iFlags);
KA_API int kaIOStreamRead(int iDevice, int iSubdevice, int iReadMode, int *piValues, int *piCount,
                          int iFlags);
KA_API int kaIOStreamWrite(int iDevice, int iSubdevice, int iWriteMode, int *piValues, int *piCount,
                           int iFlags);
KA_API int kaIOStreamStatus(int iDevice, int iSubdevice, int iWait, int *piStatus, int *piCount,
                            int iFlags);
KA_API int kaIOStreamFrequencyToTicks(int iDevice, int iSubdevice, int iTimer, double *pdFrequency,
                                      int *piTicksLow, int *piTicksHigh, int iFlags);
KA_API int kaIOStreamTimeToTicks(int iDevice, int iSubdevice, int iTimer, double *pdTime,
                                 int *piTicksLow, int *piTicksHigh, int iFlags);

/* Queries */
KA_API int kaQueryVersionLibrary(int *piVersion);
KA_API int kaQueryVersionMainDriver(int *piVersion);
KA_API int kaQueryVersionDeviceDriver(int iDevice, int *piVersion);
KA_API int kaQueryNumberDevices(int *piNumber);
KA_API int kaQueryNumberSubdevices(int iDevice, int *piNumber);
KA_API int kaQueryNumberChannels(int iDevice, int iSubdevice, int *piNumber);
KA_API int kaQueryNumberRanges(int iDevice, int iSubdevice, int iUnit, int *piNumber);
KA_API int kaQueryRangeByMinMax(int iDevice, int iSubdevice, int iUnit, double *pdMin,
                                double *pdMax, int *piMaxData, int *piRange);
KA_API int kaQueryRangeInfo(int iDevice, int iSubdevice, int iRange, int *piUnit, double *pdMin,
                            double *pdMax, int *piMaxData);
KA_API int kaQuerySubdeviceByType(int iDevice, int iStartSubdevice, int iType, int iSubtype,
                                  int *piSubdevice);
KA_API int kaQuerySubdeviceType(int iDevice, int iSubdevice, int *piType, int *piSubtype);
KA_API int kaQuerySubdeviceCaps(int iDevice, int iSubdevice, int *piCaps);
KA_API int kaQuerySubdeviceCapsArgs(int iDevice, int iSubdevice, int iCap, int *piArgs, int iCount);
KA_API int kaQueryNameDevice(int iDevice, char *pcName, int iCount);
KA_API int kaQueryNameDeviceDriver(int iDevice, char *pcName, int iCount);
KA_API int kaQueryDescriptionDevice(int iDevice, char *pcDescription, int iCount);
KA_API int kaQueryInfoDevice(int iDevice, int *piVendorId, int *piDeviceId, int *piSerialNo,
                             int *piBusType, int *piBusNo, int *piDevNo, int *piFuncNo,
                             int *piPlugged);

/* Remote queries: the host comes first, the rest is the local twin's. */
KA_API int kaRQueryNumberDevices(const char *pcHost, int *piNumber);
KA_API int kaRQueryNumberSubdevices(const char *pcHost, int iDevice, int *piNumber);
KA_API int kaRQueryNumberChannels(const char *pcHost, int iDevice, int iSubdevice, int *piNumber);
KA_API int kaRQueryNumberRanges(const char *pcHost, int iDevice, int iSubdevice, int iUnit,
                                int *piNumber);
KA_API int kaRQueryNameDevice(const char *pcHost, int iDevice, char *pcName, int iCount);
KA_API int kaRQueryDescriptionDevice(const char *pcHost, int iDevice, char *pcDescription,
                                     int iCount);
KA_API int kaRQueryInfoDevice(const char *pcHost, int iDevice, int *piVendorId, int *piDeviceId,
                              int *piSerialNo, int *piBusType, int *piBusNo, int *piDevNo,
                              int *piFuncNo, int *piPlugged);
KA_API int kaRQuerySubdeviceType(const char *pcHost, int iDevice, int iSubdevice, int *piType,
                                 int *piSubtype);
KA_API int kaRQueryRangeInfo(const char *pcHost, int iDevice, int iSubdevice, int iRange,
                             int *piUnit, double *pdMin, double *pdMax, int *piMaxData);

/* Utilities */
KA_API int kaUtilityExtractValues(int iChannel, int *piAIBuffer, int iAIBufferCount,
                                  kaStreamConfigRecord *pConfigList, int iConfigListCount,
                                  int *piChanBuffer, int *piChanBufferCount);
KA_API int kaUtilityPhysicalToDigital(double dMin, double dMax, int iMaxData, double dPhysical,
                                      int *piDigital);
KA_API int kaUtilityDigitalToPhysical(double dMin, double dMax, int iMaxData, int iDigital,
                                      int iModuleType, double dRefValue, double *pdPhysical);
KA_API int kaUtilityPWMStart(int iDevice, int iSubdevice1, int iSubdevice2, int iSubdevice3,
                             int iRef, int iPrescaler, int iDutyCycle, int iFlags);
KA_API int kaUtilityPWMStop(int iDevice, int iSubdevice1);
KA_API int kaConfigLoad(const char *pcConfigFile);

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
KA_STATIC_ASSERT(offsetof(kaSingleRecord, iValue) == 16, "single record value");
KA_STATIC_ASSERT(offsetof(kaSingleRecord, iErrno) == 28, "single record errno");
KA_STATIC_ASSERT(sizeof(kaStreamConfigRecord) == 16, "stream channel record");
KA_STATIC_ASSERT(offsetof(kaStreamConfigRecord, iFlags) == 12, "stream channel flags");
KA_STATIC_ASSERT(sizeof(kaStreamTriggerRecord) == 264, "trigger record");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iAcqStartTicksLow) == 12, "acq ticks");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iScanStartTrigType) == 60, "scan start");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iScanStartTicksLow) == 64, "scan ticks");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iConvStartTrigType) == 112, "conv start");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iConvStartTicksLow) == 116, "conv ticks");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iScanStopTrigType) == 164, "scan stop");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iScanStopCount) == 168, "scan stop count");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iAcqStopTrigType) == 212, "acq stop");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iAcqStopCount) == 216, "acq stop count");
KA_STATIC_ASSERT(offsetof(kaStreamTriggerRecord, iFlags) == 260, "trigger flags");
KA_STATIC_ASSERT(sizeof(kaStreamStartRecord) == 24, "stream start record");
KA_STATIC_ASSERT(offsetof(kaStreamStartRecord, iErrno) == 20, "stream start errno");
KA_STATIC_ASSERT(sizeof(kaStreamStopRecord) == 20, "stream stop record");
KA_STATIC_ASSERT(offsetof(kaStreamStopRecord, iErrno) == 16, "stream stop errno");
#undef KA_STATIC_ASSERT

#endif /* TARVEXMAIN_H */
