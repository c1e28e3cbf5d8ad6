// StationModel: the registered stations and their link figures as a table for the station list.
// A row keeps its identity (the session's id) across updates, so that a view's selection and
// sorting survive the refresh of every cycle while stations come and go.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

#include "bus/figures.h"

namespace velora {

class StationModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    ColTiNumber,
    ColAddress,
    ColName,
    ColModel,
    ColAccount,
    ColSince,
    ColLastHeard,
    ColSent,
    ColReceived,
    ColResends,
    ColSilent,
    ColumnCount
  };
  // What a column sorts by: numbers as numbers, whatever the text shows.
  static constexpr int SortRole = Qt::UserRole;

  using QAbstractTableModel::QAbstractTableModel;

  // The stations now, as the server lists them, seen at the server's tick nowTick.
  void Update(std::vector<StationRow> rows, std::uint32_t nowTick);
  // The station shown in a row of this model (not of a proxy over it); null when there is none.
  const StationRow* Station(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  QVariant Display(const StationRow& row, int column) const;
  QVariant SortKey(const StationRow& row, int column) const;

  std::vector<StationRow> rows_;
  std::uint32_t nowTick_ = 0;
};

}  // namespace velora
