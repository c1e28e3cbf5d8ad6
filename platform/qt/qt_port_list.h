// Port numbers of the serial devices: COM n (1-9) is the n-th device of the system in a stable
// order (ttyS, ttyUSB, ttyACM, rfcomm, then any others), as the configuration dialog lists them.
#pragma once

#include <string>
#include <vector>

namespace velora {

inline constexpr int MaxPortNumber = 9;

struct SerialPortEntry {
  int number = 0;      // 1..9
  std::string device;  // "/dev/ttyUSB0"
  std::string label;   // "COM1 (/dev/ttyUSB0)"
};

// Orders device paths by family, then by their number; keeps at most MaxPortNumber of them.
std::vector<std::string> OrderSerialDevices(std::vector<std::string> devices);
std::vector<SerialPortEntry> NumberSerialDevices(const std::vector<std::string>& devices);

// The system's serial devices, numbered.
std::vector<SerialPortEntry> ListSerialPorts();
// The labels of the system's serial devices ("COM1 (/dev/ttyUSB0)"), for the configuration
// dialog's port list.
std::vector<std::string> SerialPortLabels();
// The device of COM n, or empty when the system has no such port.
std::string DeviceForPortNumber(int number);

}  // namespace velora
