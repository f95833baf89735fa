// Operations the simulated boards do not carry out yet. They take part in
// call accounting and failure injection like every other operation, and
// answer KA_SIM_NOT_SUPPORTED.
#include "library.h"

using sim::Call;

#define SIM_NOT_SUPPORTED(name, ...)                                                               \
    SIM_OPERATION(name);                                                                           \
    Call call(operation_, __VA_ARGS__);                                                            \
    return call.run({}, []() -> int { return KA_SIM_NOT_SUPPORTED; })

extern "C" {

KA_API int kaIOStreamConfig(int iDevice, int iSubdevice, kaStreamConfigRecord *, int iCount,
                            kaStreamTriggerRecord *, int iFifoIrqThreshold, int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamConfig", iDevice, iSubdevice, iCount, iFifoIrqThreshold, iFlags);
}

KA_API int kaIOStreamStart(kaStreamStartRecord *, int iCount, int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamStart", iCount, iFlags);
}

KA_API int kaIOStreamStop(kaStreamStopRecord *, int iCount, int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamStop", iCount, iFlags);
}

KA_API int kaIOStreamRead(int iDevice, int iSubdevice, int iReadMode, int *, int *, int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamRead", iDevice, iSubdevice, iReadMode, iFlags);
}

KA_API int kaIOStreamWrite(int iDevice, int iSubdevice, int iWriteMode, int *, int *, int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamWrite", iDevice, iSubdevice, iWriteMode, iFlags);
}

KA_API int kaIOStreamStatus(int iDevice, int iSubdevice, int iWait, int *, int *, int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamStatus", iDevice, iSubdevice, iWait, iFlags);
}

KA_API int kaIOStreamFrequencyToTicks(int iDevice, int iSubdevice, int iTimer, double *, int *,
                                      int *, int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamFrequencyToTicks", iDevice, iSubdevice, iTimer, iFlags);
}

KA_API int kaIOStreamTimeToTicks(int iDevice, int iSubdevice, int iTimer, double *, int *, int *,
                                 int iFlags)
{
    SIM_NOT_SUPPORTED("kaIOStreamTimeToTicks", iDevice, iSubdevice, iTimer, iFlags);
}

KA_API int kaUtilityExtractValues(int iChannel, int *, int iAIBufferCount, kaStreamConfigRecord *,
                                  int iConfigListCount, int *, int *)
{
    SIM_NOT_SUPPORTED("kaUtilityExtractValues", iChannel, iAIBufferCount, iConfigListCount);
}

KA_API int kaUtilityPhysicalToDigital(double dMin, double dMax, int iMaxData, double dPhysical,
                                      int *)
{
    SIM_NOT_SUPPORTED("kaUtilityPhysicalToDigital", dMin, dMax, iMaxData, dPhysical);
}

KA_API int kaUtilityDigitalToPhysical(double dMin, double dMax, int iMaxData, int iDigital,
                                      int iModuleType, double dRefValue, double *)
{
    SIM_NOT_SUPPORTED("kaUtilityDigitalToPhysical", dMin, dMax, iMaxData, iDigital, iModuleType,
                      dRefValue);
}

KA_API int kaUtilityPWMStart(int iDevice, int iSubdevice1, int iSubdevice2, int iSubdevice3,
                             int iRef, int iPrescaler, int iDutyCycle, int iFlags)
{
    SIM_NOT_SUPPORTED("kaUtilityPWMStart", iDevice, iSubdevice1, iSubdevice2, iSubdevice3, iRef,
                      iPrescaler, iDutyCycle, iFlags);
}

KA_API int kaUtilityPWMStop(int iDevice, int iSubdevice1)
{
    SIM_NOT_SUPPORTED("kaUtilityPWMStop", iDevice, iSubdevice1);
}

KA_API int kaConfigLoad(const char *)
{
    SIM_NOT_SUPPORTED("kaConfigLoad", 0);
}

} // extern "C"
