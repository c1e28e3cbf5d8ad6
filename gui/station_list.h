// TFormStations: the station list, a window of its own beside the main window. It lists the
// registered stations with their link figures, sortable by any column and refreshed once per
// cycle; the station selected in it is the one the main window's resend graph follows.
#pragma once

#include <QSortFilterProxyModel>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "bus/figures.h"
#include "gui/station_model.h"

class QTableView;

namespace velora {

class TFormStations : public QWidget {
  Q_OBJECT

 public:
  explicit TFormStations(QWidget* parent = nullptr);

  // The stations now, at the server's tick nowTick; the selection and the order stay.
  void Refresh(std::vector<StationRow> rows, std::uint32_t nowTick);
  // The selected station as of the last refresh; null when none is selected.
  const StationRow* Selected() const;
  QTableView* Table() const { return table_; }

 protected:
  // A closed list selects nothing, so the graph does not follow a station out of sight.
  void hideEvent(QHideEvent* event) override;

 private:
  StationModel model_;
  QSortFilterProxyModel sorted_;
  QTableView* table_;
};

}  // namespace velora
