// Painting the graphs.
#include "gui/graph_view.h"

#include <QPainter>

namespace velora {

GraphView::GraphView(const StatusGraphs& graphs, Which which, QWidget* parent)
    : QWidget(parent), graphs_(graphs), which_(which) {
  if (which_ == Which::CycleTime) {
    setFixedSize(StatusGraphs::CycleWidth, StatusGraphs::CycleHeight);
    setToolTip("EKG");
  } else {
    resize(StatusGraphs::ResendWidth, StatusGraphs::ResendHeight);
  }
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage GraphView::Render() const {
  const bool cycle = which_ == Which::CycleTime;
  QImage image(cycle ? StatusGraphs::CycleWidth : StatusGraphs::ResendWidth,
               cycle ? StatusGraphs::CycleHeight : StatusGraphs::ResendHeight,
               QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  for (const GraphSegment& s : cycle ? graphs_.CycleSegments() : graphs_.ResendSegments()) {
    painter.setPen(QPen(QColor::fromRgb(s.rgb), 0));
    painter.drawLine(s.from.x, s.from.y, s.to.x, s.to.y);
  }
  return image;
}

void GraphView::Refresh() {
  if (graphs_.Serial() == shownSerial_) return;
  shownSerial_ = graphs_.Serial();
  update();
}

void GraphView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(rect(), Render());
}

}  // namespace velora
