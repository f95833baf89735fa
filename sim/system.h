// The simulated system: devices, subdevices, channels and ranges as the
// library reports them, read from JSON (the format docs/user-guide.md
// describes, with its limits).
#ifndef TARVEX_SIM_SYSTEM_H
#define TARVEX_SIM_SYSTEM_H

#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sim
{

struct Range {
    int unit = 0;
    double min = 0.0;
    double max = 0.0;
    int maxData = 0;
};

// What an analog input channel sees.
struct Signal {
    enum class Kind { Constant, Sine, Square, Sawtooth, Loopback };
    Kind kind = Kind::Constant;
    double value = 0.0;     // constant level; offset of the periodic kinds
    double amplitude = 0.0; // periodic kinds, peak
    double frequency = 0.0; // periodic kinds, Hz
    int device = -1;        // loopback: the analog output channel it reads
    int subdevice = -1;
    int channel = -1;
};

// Another subdevice whose outputs this one reads.
struct Loopback {
    int device = -1;
    int subdevice = -1;
    int channel = 0; // for analog loopbacks: the output channel
    bool Present() const { return device >= 0; }
};

struct Subdevice {
    int type = 0;
    int subtype = 0;
    int caps = 0;
    int channels = 0;
    std::vector<Range> ranges;
    std::map<int, std::vector<int>> capArgs; // capability selector -> values
    std::map<int, Signal> signals;           // analog input channel -> signal
    Loopback loopback;                       // digital input lines -> output port
    double irqRateHz = 0.0;                  // external interrupt rate
    int bufferValues = 65536;                // stream buffer of the driver, in values
};

// The first seven integers of the device information, in query order.
struct DeviceInfo {
    int vendorId = 0;
    int deviceId = 0;
    int serialNo = 0;
    int busType = 0;
    int busNo = 0;
    int devNo = 0;
    int funcNo = 0;
};

struct Device {
    std::string name;
    std::string description;
    std::string driverName;
    int driverVersion = 0;
    DeviceInfo info;
    bool plugged = true;
    std::vector<Subdevice> subdevices;
};

struct System {
    int libraryVersion = 0;
    int mainDriverVersion = 0;
    std::vector<Device> devices;
    std::map<std::string, System> hosts; // remote computers by host name
};

// A description the library refuses; what() is "<place>: <reason>", the
// place being a file, "line L, column C" or a path such as
// "system.devices[0].name".
class SystemError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

System ParseSystem(std::string_view json);
// Reads the file in chunks, so that only the described system is held.
System LoadSystemFile(const std::string &path);
const std::string &DefaultSystemJson();

// The value of a named driver constant ("KA_TYPE_AI"), if there is one.
bool ConstantValue(const std::string &name, int &value);

} // namespace sim

#endif
