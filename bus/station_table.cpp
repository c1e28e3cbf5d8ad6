// Station table and address allocation.
#include "bus/station_table.h"

#include "common/constants.h"
#include "common/cp1252.h"
#include "common/ports.h"
#include "common/text.h"

namespace velora {

StationTable::StationTable(LogSink& log, OperatorUi& ui, UserTable& users, Clock& clock,
                           NetworkFigures& network)
    : log_(log), ui_(ui), users_(users), clock_(clock), network_(network) {}

void StationTable::Reset() {
  lowestAddress_ = 255;
  highestAddress_ = 0;
  addressInUse_.fill(false);
  sessionOfAddress_.fill(0);
  for (int a : {0, 1, 2, 3, 254, 255})
    addressInUse_[a] = true;
  exhaustionShown_ = false;
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
    if (address < lowestAddress_) lowestAddress_ = address;
    if (address > highestAddress_) highestAddress_ = address;
    return address;
  }
  if (!exhaustionShown_) {
    ui_.ShowMessage("Kritischer Fehler: keine freie Adresse für neuen TI, 0 vergeben!"_cp);
  }
  exhaustionShown_ = true;
  return 0;
}

std::size_t StationTable::IndexOfName(std::string_view nameField) const {
  const std::string name = AsciiUpper(nameField.substr(0, nameField.find('\0')));
  for (std::size_t i = 0; i < sessions_.size(); ++i) {
    if (AsciiUpper(sessions_[i].session->UserName()) == name) return i;
  }
  return sessions_.size();
}

SessionId StationTable::Add(std::unique_ptr<TProcess> session) {
  const SessionId id = session->Id() != 0 ? session->Id() : nextId_++;
  if (id >= nextId_) nextId_ = id + 1;
  Station station{id, std::move(session), {}};
  station.figures.registeredAt = clock_.LocalNow();
  station.figures.registeredTick = clock_.TickMs();
  sessions_.push_back(std::move(station));
  ++network_.registrations;
  CountChanged();
  return id;
}

std::size_t StationTable::IndexOf(SessionId id) const {
  for (std::size_t i = 0; i < sessions_.size(); ++i) {
    if (sessions_[i].id == id) return i;
  }
  return sessions_.size();
}

TProcess* StationTable::SessionAt(std::uint8_t address) {
  if (!addressInUse_[address]) return nullptr;
  const std::size_t index = sessionOfAddress_[address];
  if (index >= sessions_.size() || Session(index).Address() != address) return nullptr;
  return &Session(index);
}

void StationTable::UnregisterMe(std::size_t index, RemovalCause cause) {
  if (index >= sessions_.size()) {
    log_.MainLog(std::to_string(index) + " kann nicht mehr abgemeldet werden.", true);
    return;
  }
  TProcess& session = Session(index);
  log_.MainLog("TI Nr. " + std::to_string(index + 1) + " abgemeldet, Name:" + session.UserName(),
               true);
  if (log_.Enabled(1)) log_.Log(RemovalFiguresLine(Row(index), clock_.TickMs()));
  ++network_.Removals(sessions_[index].kicked ? RemovalCause::Kick : cause);
  const std::uint8_t address = session.Address();
  session.ReleaseOnlineMark();
  sessions_.erase(sessions_.begin() + static_cast<std::ptrdiff_t>(index));
  for (std::size_t i = index; i < sessions_.size(); ++i) {
    const std::uint8_t moved = Session(i).Address();
    if (moved != NoAddress) --sessionOfAddress_[moved];
  }
  // Address 0 is the "no free address" mark and stays reserved.
  if (address != NoAddress) {
    addressInUse_[address] = false;
    sessionOfAddress_[address] = 0;
    exhaustionShown_ = false;
  }

  if (address == lowestAddress_) {
    // A session without an address (0) is never polled and does not bound the sweep.
    lowestAddress_ = 255;
    for (const Station& s : sessions_) {
      const std::uint8_t a = static_cast<std::uint8_t>(s.session->Address());
      if (a != NoAddress && a < lowestAddress_) lowestAddress_ = a;
    }
    log_.MainLog("Neue niedrigste Adresse:" + std::to_string(lowestAddress_), true);
  } else if (address == highestAddress_) {
    highestAddress_ = 0;
    for (const Station& s : sessions_) {
      const std::uint8_t a = static_cast<std::uint8_t>(s.session->Address());
      if (a > highestAddress_) highestAddress_ = a;
    }
    log_.MainLog(std::string("Neue höchste Adresse:"_cp) + std::to_string(highestAddress_), true);
  }
  CountChanged();
}

bool StationTable::KickUser(int accountIndex) {
  for (Station& station : sessions_) {
    TProcess& session = *station.session;
    if (session.HoldsOnlineMark() && session.UserIndex() == accountIndex) {
      station.kicked = true;
      session.LoadContentFile(KickFile);
      return true;
    }
  }
  return false;
}

bool StationTable::Notify(std::string_view userName, std::string_view text) {
  const std::string name = AsciiUpper(userName);
  for (Station& station : sessions_) {
    if (AsciiUpper(station.session->UserName()) != name) continue;
    station.session->QueueNotice(text);
    return true;
  }
  return false;
}

StationRow StationTable::Row(std::size_t index) const {
  const Station& station = sessions_[index];
  const TProcess& session = *station.session;
  StationRow row;
  row.id = station.id;
  row.tiNumber = static_cast<int>(index + 1);
  row.address = static_cast<std::uint8_t>(session.Address());
  row.name = session.UserName();
  row.model = session.CalcType();
  if (session.HoldsOnlineMark() && !session.LoginPending()) {
    const std::size_t account = static_cast<std::size_t>(session.UserIndex());
    if (account < users_.size()) row.account = users_[account].Name;
  }
  row.sendCount = session.Link().SendCount();
  row.sendCountMax = session.Link().SendCountMax();
  row.figures = station.figures;
  return row;
}

std::vector<StationRow> StationTable::Rows() const {
  std::vector<StationRow> rows;
  rows.reserve(sessions_.size());
  for (std::size_t i = 0; i < sessions_.size(); ++i)
    rows.push_back(Row(i));
  return rows;
}

void StationTable::CountChanged() {
  if (onCount_) onCount_(sessions_.size());
}

}  // namespace velora
