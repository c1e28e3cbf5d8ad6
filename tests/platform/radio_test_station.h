// A scripted station on the virtual radio for tests: transmits given bytes at given times and
// records what it hears.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/virtual/virtual_radio.h"

namespace velora::testing {

class RadioTestStation : public RadioStation {
 public:
  RadioTestStation(VirtualRadio& radio, std::string name)
      : modem(radio.Attach(*this, std::move(name))) {}

  void ByteHeard(std::uint8_t byte) override {
    heard += static_cast<char>(byte);
    heardAtUs.push_back(modem->scheduler().NowUs());
  }
  void TransmitEmpty() override {
    txEmptyAtUs.push_back(modem->scheduler().NowUs());
    if (releaseWhenEmpty) modem->SetTransmitter(false);
  }

  // At the given time: transmitter on, the bytes queued; off again once they have left.
  void TransmitAt(std::int64_t atUs, std::string bytes) {
    Scheduler& scheduler = modem->scheduler();
    scheduler.ScheduleAfter(atUs - scheduler.NowUs(), [this, bytes] {
      modem->SetTransmitter(true);
      modem->Queue(bytes);
    });
  }

  std::unique_ptr<RadioModem> modem;
  std::string heard;
  std::vector<std::int64_t> heardAtUs;
  std::vector<std::int64_t> txEmptyAtUs;
  bool releaseWhenEmpty = true;
};

}  // namespace velora::testing
