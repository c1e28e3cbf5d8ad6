// Station table and address allocation.
#include "bus/station_table.h"

#include "common/constants.h"
#include "common/cp1252.h"
#include "common/ports.h"
#include "common/text.h"

namespace velora {

StationTable::StationTable(LogSink& log, OperatorUi& ui, UserTable& users)
    : log_(log), ui_(ui), users_(users) {}

void StationTable::Reset() {
  addressInUse_.fill(false);
  sessionOfAddress_.fill(0);
  for (int a : {0, 1, 2, 3, 254, 255})
    addressInUse_[a] = true;
  for (Tuserdata& user : users_)
    user.Online = false;
  sessions_.clear();
  CountChanged();
}

std::uint8_t StationTable::GetFreeAddr(std::size_t index) {
  for (int a = 1; a <= 255; ++a) {
    if (addressInUse_[a]) continue;
    const auto address = static_cast<std::uint8_t>(a);
    addressInUse_[a] = true;
    sessionOfAddress_[a] = static_cast<std::uint8_t>(index);
    if (address < LowestAddress) LowestAddress = address;
    if (address > HighestAddress) HighestAddress = address;
    return address;
  }
  ui_.ShowMessage("Kritischer Fehler: keine freie Adresse für neuen TI, 0 vergeben!"_cp);
  return 0;
}

bool StationTable::AlreadyRegistered(std::string_view nameField) const {
  const std::string name = AsciiUpper(nameField.substr(0, nameField.find('\0')));
  for (const auto& session : sessions_) {
    if (AsciiUpper(session->UserName()) == name) return true;
  }
  return false;
}

void StationTable::Add(std::unique_ptr<TProcess> session) {
  sessions_.push_back(std::move(session));
  CountChanged();
}

TProcess* StationTable::SessionAt(std::uint8_t address) {
  if (!addressInUse_[address]) return nullptr;
  const std::size_t index = sessionOfAddress_[address];
  if (index >= sessions_.size() || sessions_[index]->Address() != address) return nullptr;
  return sessions_[index].get();
}

void StationTable::UnregisterMe(std::size_t index) {
  if (index >= sessions_.size()) {
    log_.MainLog(std::to_string(index) + " kann nicht mehr abgemeldet werden.", true);
    return;
  }
  TProcess& session = *sessions_[index];
  log_.MainLog("TI Nr. " + std::to_string(index + 1) + " abgemeldet, Name:" + session.UserName(),
               true);
  const std::uint8_t address = session.Address();
  session.ReleaseOnlineMark();
  sessions_.erase(sessions_.begin() + static_cast<std::ptrdiff_t>(index));
  for (std::size_t i = index; i < sessions_.size(); ++i) {
    const std::uint8_t moved = sessions_[i]->Address();
    if (moved != NoAddress) --sessionOfAddress_[moved];
  }
  // Address 0 is the "no free address" mark and stays reserved.
  if (address != NoAddress) {
    addressInUse_[address] = false;
    sessionOfAddress_[address] = 0;
  }

  if (address == LowestAddress) {
    // A session without an address (0) is never polled and does not bound the sweep.
    LowestAddress = 255;
    for (const auto& s : sessions_) {
      if (s->Address() != NoAddress && s->Address() < LowestAddress) LowestAddress = s->Address();
    }
    log_.MainLog("Neue niedrigste Adresse:" + std::to_string(LowestAddress), true);
  } else if (address == HighestAddress) {
    HighestAddress = 0;
    for (const auto& s : sessions_) {
      if (s->Address() > HighestAddress) HighestAddress = s->Address();
    }
    log_.MainLog(std::string("Neue höchste Adresse:"_cp) + std::to_string(HighestAddress), true);
  }
  CountChanged();
}

void StationTable::KickUser(int accountIndex) {
  for (auto& session : sessions_) {
    if (session->HoldsOnlineMark() && session->UserIndex() == accountIndex) {
      session->LoadContentFile("kickme");
      return;
    }
  }
}

void StationTable::CountChanged() {
  if (onCountChanged) onCountChanged(sessions_.size());
}

}  // namespace velora
