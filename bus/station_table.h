// The station table: which one-byte addresses are taken, the session behind each, the bounds of
// the polling sweep; registration, removal and kicking of stations. It is also the directory
// through which a session's services reach other sessions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "bus/figures.h"
#include "common/records.h"
#include "session/process.h"
#include "session/service.h"

namespace velora {

class StationTable : public SessionDirectory {
 public:
  // Registrations and removals are counted into `network`.
  StationTable(LogSink& log, OperatorUi& ui, UserTable& users, Clock& clock,
               NetworkFigures& network);

  // At every start of the server: sweep bounds, reserved addresses, online marks, no sessions.
  void Reset();
  // Hands out the lowest free address to the session that will stand at the given index; 0 when
  // none is free, with a critical message the first time until an address is free again (the
  // calculator asks again at every invitation).
  std::uint8_t GetFreeAddr(std::size_t index);
  // The index of the present session with the name of this 8-byte name field (case ignored),
  // or Count().
  std::size_t IndexOfName(std::string_view nameField) const;
  bool AlreadyRegistered(std::string_view nameField) const {
    return IndexOfName(nameField) < Count();
  }
  // An id for a session about to be created.
  SessionId NewId() { return nextId_++; }
  // Appends a session created by the caller at the end of the list, under the id it was created
  // with (a new one when it has none).
  SessionId Add(std::unique_ptr<TProcess> session);
  // Removes the station with its event lines, then its figures in the detailed log. A station an
  // administrator kicked leaves as kicked, whatever the cause given.
  void UnregisterMe(std::size_t index, RemovalCause cause = RemovalCause::Logout);

  // SessionDirectory.
  bool KickUser(int accountIndex) override;
  bool Notify(std::string_view userName, std::string_view text) override;

  std::size_t Count() const { return sessions_.size(); }
  TProcess& Session(std::size_t index) { return *sessions_[index].session; }
  const TProcess& Session(std::size_t index) const { return *sessions_[index].session; }
  SessionId IdAt(std::size_t index) const { return sessions_[index].id; }
  StationFigures& Figures(std::size_t index) { return sessions_[index].figures; }
  const StationFigures& Figures(std::size_t index) const { return sessions_[index].figures; }
  // Every station as the views show it, in the table's order.
  std::vector<StationRow> Rows() const;
  StationRow Row(std::size_t index) const;
  // The index of a present session, or Count() when it has gone.
  std::size_t IndexOf(SessionId id) const;
  // The session at an address in use, or null.
  TProcess* SessionAt(std::uint8_t address);
  const TProcess* SessionAt(std::uint8_t address) const {
    return const_cast<StationTable*>(this)->SessionAt(address);
  }
  bool AddressInUse(std::uint8_t address) const { return addressInUse_[address]; }
  std::uint8_t SessionOfAddress(std::uint8_t address) const { return sessionOfAddress_[address]; }
  // The figures of the station at the address, if one is there.
  StationFigures* FiguresAt(std::uint8_t address) {
    return SessionAt(address) != nullptr ? &Figures(sessionOfAddress_[address]) : nullptr;
  }
  std::uint8_t LowestAddress() const { return lowestAddress_; }
  std::uint8_t HighestAddress() const { return highestAddress_; }

  // Called with the number of sessions whenever it changes (the main window's counter).
  void SetCountHandler(std::function<void(std::size_t)> handler) { onCount_ = std::move(handler); }

 private:
  struct Station {
    SessionId id;
    std::unique_ptr<TProcess> session;
    StationFigures figures;
    bool kicked = false;  // by an administrator; its logout is the kick's
  };
  void CountChanged();

  LogSink& log_;
  OperatorUi& ui_;
  UserTable& users_;
  Clock& clock_;
  NetworkFigures& network_;
  std::vector<Station> sessions_;
  SessionId nextId_ = 1;
  std::array<bool, 256> addressInUse_{};
  std::array<std::uint8_t, 256> sessionOfAddress_{};
  std::uint8_t lowestAddress_ = 255;
  std::uint8_t highestAddress_ = 0;
  bool exhaustionShown_ = false;
  std::function<void(std::size_t)> onCount_;
};

}  // namespace velora
