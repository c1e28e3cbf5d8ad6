// GraphView: paints one of the main window's graphs from StatusGraphs, as an image of the graph's
// own pixel size stretched over the widget.
#pragma once

#include <QImage>
#include <QWidget>

#include "gui/status_graphs.h"

namespace velora {

class GraphView : public QWidget {
  Q_OBJECT

 public:
  enum class Which { CycleTime, Resend };

  // Starts at the graph's pixel size; the cycle-time graph carries the hint "EKG".
  GraphView(const StatusGraphs& graphs, Which which, QWidget* parent = nullptr);

  // The picture in the graph's own pixels: white, with the segments drawn in order.
  QImage Render() const;
  // Repaints when the graphs changed since the last call; call it once per cycle.
  void Refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const StatusGraphs& graphs_;
  Which which_;
  std::uint64_t shownSerial_ = 0;
};

}  // namespace velora
