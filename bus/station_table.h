// The station table: which one-byte addresses are taken, the session behind each, the bounds of
// the polling sweep; registration, removal and kicking of stations.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "session/process.h"

namespace velora {

class LogSink;
class OperatorUi;

class StationTable {
 public:
  StationTable(LogSink& log, OperatorUi& ui, UserTable& users);

  // At every start of the server: reserved addresses marked, online marks cleared, no sessions.
  void Reset();
  // Hands out the lowest free address to the session that will stand at the given index; 0 and a
  // critical message when none is free.
  std::uint8_t GetFreeAddr(std::size_t index);
  // True when a present session has the name of this 8-byte name field (case ignored).
  bool AlreadyRegistered(std::string_view nameField) const;
  // Appends a session created by the caller at the end of the list.
  void Add(std::unique_ptr<TProcess> session);
  void UnregisterMe(std::size_t index);
  // Shows the page "kickme" on the session that holds the account's online mark.
  void KickUser(int accountIndex);

  std::size_t Count() const { return sessions_.size(); }
  TProcess& Session(std::size_t index) { return *sessions_[index]; }
  const TProcess& Session(std::size_t index) const { return *sessions_[index]; }
  // The session at an address in use, or null.
  TProcess* SessionAt(std::uint8_t address);
  bool AddressInUse(std::uint8_t address) const { return addressInUse_[address]; }
  std::uint8_t SessionOfAddress(std::uint8_t address) const { return sessionOfAddress_[address]; }

  std::uint8_t LowestAddress = 255;
  std::uint8_t HighestAddress = 0;

  // Called with the number of sessions whenever it changes (the main window's counter).
  std::function<void(std::size_t)> onCountChanged;

 private:
  void CountChanged();

  LogSink& log_;
  OperatorUi& ui_;
  UserTable& users_;
  std::vector<std::unique_ptr<TProcess>> sessions_;
  std::array<bool, 256> addressInUse_{};
  std::array<std::uint8_t, 256> sessionOfAddress_{};
};

}  // namespace velora
