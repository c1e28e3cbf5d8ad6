// The station list's table model.
#include "gui/station_model.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/constants.h"
#include "common/cp1252.h"
#include "common/date_time.h"
#include "platform/qt/qt_text.h"

namespace velora {

namespace {

QString CountWithRun(std::uint64_t count, std::uint32_t run) {
  return QString("%1 (%2)").arg(count).arg(run);
}

}  // namespace

void StationModel::Update(std::vector<StationRow> rows, std::uint32_t nowTick) {
  nowTick_ = nowTick;
  const auto staysIn = [&rows](SessionId id) {
    return std::any_of(rows.begin(), rows.end(), [id](const StationRow& r) { return r.id == id; });
  };
  // The stations that left, from the back so that the rows before stay where they are.
  for (int i = static_cast<int>(rows_.size()) - 1; i >= 0; --i) {
    if (staysIn(rows_[static_cast<std::size_t>(i)].id)) continue;
    beginRemoveRows({}, i, i);
    rows_.erase(rows_.begin() + i);
    endRemoveRows();
  }
  // Fresh figures for those that stay; newcomers go to the end.
  std::vector<StationRow> added;
  for (StationRow& row : rows) {
    const auto kept = std::find_if(rows_.begin(), rows_.end(),
                                   [&row](const StationRow& r) { return r.id == row.id; });
    if (kept != rows_.end()) {
      *kept = std::move(row);
    } else {
      added.push_back(std::move(row));
    }
  }
  if (!rows_.empty()) {
    emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, ColumnCount - 1));
  }
  if (added.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  std::move(added.begin(), added.end(), std::back_inserter(rows_));
  endInsertRows();
}

const StationRow* StationModel::Station(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
  return &rows_[static_cast<std::size_t>(row)];
}

int StationModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int StationModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant StationModel::data(const QModelIndex& index, int role) const {
  const StationRow* row = Station(index.row());
  if (row == nullptr || index.column() < 0 || index.column() >= ColumnCount) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Display(*row, index.column());
    case SortRole:
      return SortKey(*row, index.column());
    case Qt::TextAlignmentRole: {
      const bool text = index.column() == ColName || index.column() == ColModel ||
                        index.column() == ColAccount || index.column() == ColSince;
      return QVariant::fromValue(Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight));
    }
    default:
      return {};
  }
}

QVariant StationModel::Display(const StationRow& row, int column) const {
  const StationFigures& f = row.figures;
  switch (column) {
    case ColTiNumber:
      return row.tiNumber;
    case ColAddress:
      return row.address;
    case ColName:
      return ToQString(row.name);
    case ColModel:
      return ToQString(CalcTypeName(row.model));
    case ColAccount:
      return ToQString(row.account);
    case ColSince:
      return QString::fromStdString(FormatDateTimeC(f.registeredAt));
    case ColLastHeard:
      return f.heard ? QString("vor %1 s").arg((nowTick_ - f.lastHeardTick) / 1000)
                     : QString("nie");
    case ColSent:
      return QVariant::fromValue(f.framesSent);
    case ColReceived:
      return QVariant::fromValue(f.framesReceived);
    case ColResends:
      return CountWithRun(f.resends, f.longestResendRun);
    case ColSilent:
      return CountWithRun(f.silentTurns, f.silentRun);
  }
  return {};
}

QVariant StationModel::SortKey(const StationRow& row, int column) const {
  const StationFigures& f = row.figures;
  switch (column) {
    case ColSince:
      // Ticks wrap after 49 days; the date does not.
      return QString::fromStdString(FormatLogFileStamp(f.registeredAt));
    case ColLastHeard:
      // Never heard sorts as the longest silence.
      return f.heard ? qint64{nowTick_ - f.lastHeardTick} : std::numeric_limits<qint64>::max();
    case ColResends:
      return QVariant::fromValue(f.resends);
    case ColSilent:
      return QVariant::fromValue(f.silentTurns);
    default:
      return Display(row, column);
  }
}

QVariant StationModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case ColTiNumber:
      return "TI Nr.";
    case ColAddress:
      return "Adresse";
    case ColName:
      return "Name";
    case ColModel:
      return "Typ";
    case ColAccount:
      return "Angemeldet als";
    case ColSince:
      return "seit";
    case ColLastHeard:
      return ToQString("zuletzt gehört"_cp);
    case ColSent:
      return "gesendet";
    case ColReceived:
      return "empfangen";
    case ColResends:
      return ToQString("wiederholt (längste Folge)"_cp);
    case ColSilent:
      return "ohne Antwort (Folge)";
  }
  return {};
}

}  // namespace velora
