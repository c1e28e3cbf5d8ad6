// The pixel layout of the cycle-time and resend graphs.
#include "gui/status_graphs.h"

#include <algorithm>

namespace velora {

namespace {

// The oldest stroke that still reaches into the image; older ones have scrolled out.
constexpr int OldestVisibleAge = StatusGraphs::CycleWidth / StatusGraphs::ScrollStep;

}  // namespace

void StatusGraphs::Reset() {
  graphPrev1_ = graphPrev2_ = 0;
  columns_.clear();
  resendX_ = 0;
  ++serial_;
}

void StatusGraphs::SetMsPerPixel(int msPerPixel) {
  msPerPixel_ = std::clamp(msPerPixel, MinMsPerPixel, MaxMsPerPixel);
  ++serial_;
}

std::string StatusGraphs::ScaleLabel() const {
  return std::to_string(msPerPixel_ * CycleHeight);
}

std::string StatusGraphs::LastCycleText() const {
  return haveSample_ ? std::to_string(lastCycleMs_) : "---";
}

void StatusGraphs::AddSample(const CycleSample& sample) {
  haveSample_ = true;
  lastCycleMs_ = sample.cycleMs;
  const int value = static_cast<int>(
      std::min<std::uint32_t>(sample.cycleMs / static_cast<std::uint32_t>(msPerPixel_),
                              static_cast<std::uint32_t>(CycleHeight) * 1000));
  strokes_.push_back({graphPrev2_, graphPrev1_, value});
  while (strokes_.size() > static_cast<std::size_t>(OldestVisibleAge) + 1)
    strokes_.pop_front();
  graphPrev2_ = graphPrev1_;
  graphPrev1_ = value;

  if (sample.stationsExist) {
    // x runs from 1 to the width; the step past it clears the image and starts at 0.
    if (++resendX_ > ResendWidth) {
      columns_.clear();
      resendX_ = 0;
    }
    // Counts beyond the image height draw the same full column.
    columns_.push_back({resendX_, std::clamp(sample.sendCount, 0, ResendHeight),
                        std::clamp(sample.sendCountMax, 0, ResendHeight)});
  }
  ++serial_;
}

std::vector<GraphSegment> StatusGraphs::StrokeSegments(const Stroke& stroke, int age) {
  const int right = CycleWidth - ScrollStep * age;
  const GraphPoint p2{right - 2 * ScrollStep, CycleHeight - stroke.prev2};
  const GraphPoint p1{right - ScrollStep, CycleHeight - stroke.prev1};
  const GraphPoint p0{right, CycleHeight - stroke.value};
  return {{p2, p1, Black}, {p1, p0, Black}};
}

std::vector<GraphSegment> StatusGraphs::ColumnSegments(const Column& column) {
  const int bottom = ResendHeight - 1;
  const int sendTop = bottom - ResendPixelsPerSend * column.sendCount;
  std::vector<GraphSegment> segments{{{column.x, bottom}, {column.x, sendTop}, Black}};
  if (column.sendCountMax > column.sendCount) {
    const int maxTop = bottom - ResendPixelsPerSend * column.sendCountMax;
    segments.push_back({{column.x, sendTop - 1}, {column.x, maxTop}, LightGrey});
  }
  return segments;
}

std::vector<GraphSegment> StatusGraphs::CycleSegments() const {
  std::vector<GraphSegment> segments;
  const int newest = static_cast<int>(strokes_.size()) - 1;
  for (int i = 0; i <= newest; ++i) {
    for (const GraphSegment& s : StrokeSegments(strokes_[static_cast<std::size_t>(i)], newest - i))
      segments.push_back(s);
  }
  return segments;
}

std::vector<GraphSegment> StatusGraphs::ResendSegments() const {
  std::vector<GraphSegment> segments;
  for (const Column& column : columns_) {
    for (const GraphSegment& s : ColumnSegments(column))
      segments.push_back(s);
  }
  return segments;
}

}  // namespace velora
