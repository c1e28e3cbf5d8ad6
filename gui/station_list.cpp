// The station list's window.
#include "gui/station_list.h"

#include <QHeaderView>
#include <QHideEvent>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace velora {

TFormStations::TFormStations(QWidget* parent) : QWidget(parent), table_(new QTableView) {
  setWindowFlag(Qt::Window);  // a window of its own, also when it has a parent
  setWindowTitle("Stationsliste");
  sorted_.setSourceModel(&model_);
  sorted_.setSortRole(StationModel::SortRole);

  table_->setObjectName("TableStations");
  table_->setModel(&sorted_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setAlternatingRowColors(true);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSortingEnabled(true);
  table_->sortByColumn(StationModel::ColTiNumber, Qt::AscendingOrder);
  table_->resizeColumnsToContents();
  // A newcomer's name or account may need wider columns.
  connect(&model_, &QAbstractItemModel::rowsInserted, this,
          [this] { table_->resizeColumnsToContents(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(table_);
  resize(table_->horizontalHeader()->length() + 40, 260);
}

void TFormStations::Refresh(std::vector<StationRow> rows, std::uint32_t nowTick) {
  // In place of a current row that is removed, Qt makes the next one current and selects it. A
  // station that leaves takes the selection with it instead, so the graph goes back to the first.
  const auto leaves = [this, &rows](const QModelIndex& index) {
    const StationRow* station =
        index.isValid() ? model_.Station(sorted_.mapToSource(index).row()) : nullptr;
    return station != nullptr && std::none_of(rows.begin(), rows.end(), [station](auto& row) {
             return row.id == station->id;
           });
  };
  QItemSelectionModel& selection = *table_->selectionModel();
  if (leaves(selection.currentIndex()))
    selection.setCurrentIndex({}, QItemSelectionModel::NoUpdate);
  const QModelIndexList selected = selection.selectedRows();
  if (!selected.isEmpty() && leaves(selected.front())) selection.clearSelection();
  model_.Update(std::move(rows), nowTick);
}

const StationRow* TFormStations::Selected() const {
  const QModelIndexList selected = table_->selectionModel()->selectedRows();
  if (selected.isEmpty()) return nullptr;
  return model_.Station(sorted_.mapToSource(selected.front()).row());
}

void TFormStations::hideEvent(QHideEvent* event) {
  // Minimising is not closing.
  if (!event->spontaneous()) table_->clearSelection();
  QWidget::hideEvent(event);
}

}  // namespace velora
