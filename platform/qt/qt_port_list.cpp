// Port numbers of the serial devices.
#include "platform/qt/qt_port_list.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <array>
#include <string_view>
#include <tuple>

namespace velora {

namespace {

constexpr std::array<std::string_view, 4> Families{"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM",
                                                   "/dev/rfcomm"};

// Family rank, the device's name without its trailing number, and that number.
std::tuple<std::size_t, std::string, long> SortKey(const std::string& device) {
  std::size_t digits = device.size();
  while (digits > 0 && device[digits - 1] >= '0' && device[digits - 1] <= '9')
    --digits;
  const std::string stem = device.substr(0, digits);
  const long number = digits < device.size() ? std::stol(device.substr(digits, 9)) : -1;
  const auto family = std::find(Families.begin(), Families.end(), stem);
  return {static_cast<std::size_t>(family - Families.begin()), stem, number};
}

}  // namespace

std::vector<std::string> OrderSerialDevices(std::vector<std::string> devices) {
  std::sort(devices.begin(), devices.end());
  devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
  std::stable_sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
    return SortKey(a) < SortKey(b);
  });
  if (devices.size() > static_cast<std::size_t>(MaxPortNumber)) devices.resize(MaxPortNumber);
  return devices;
}

std::vector<SerialPortEntry> NumberSerialDevices(const std::vector<std::string>& devices) {
  std::vector<SerialPortEntry> entries;
  int number = 0;
  for (const std::string& device : OrderSerialDevices(devices)) {
    ++number;
    entries.push_back({number, device, "COM" + std::to_string(number) + " (" + device + ")"});
  }
  return entries;
}

std::vector<SerialPortEntry> ListSerialPorts() {
  std::vector<std::string> devices;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    devices.push_back(info.systemLocation().toStdString());
  return NumberSerialDevices(devices);
}

std::vector<std::string> SerialPortLabels() {
  std::vector<std::string> labels;
  for (const SerialPortEntry& entry : ListSerialPorts())
    labels.push_back(entry.label);
  return labels;
}

std::string DeviceForPortNumber(int number) {
  for (const SerialPortEntry& entry : ListSerialPorts()) {
    if (entry.number == number) return entry.device;
  }
  return {};
}

}  // namespace velora
