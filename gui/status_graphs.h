// StatusGraphs: the pixel layout of the main window's two graphs, fed with one sample per polling
// cycle. The cycle-time graph scrolls 3 pixels per cycle and draws the last three values as a
// line; the resend graph draws one column per cycle for the first station and starts over at the
// left edge once it is full. Plain C++, so the layout can be tested without a window.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace velora {

// What the polling cycle reports once per cycle.
struct CycleSample {
  std::uint32_t cycleMs = 0;  // duration of the previous cycle
  bool stationsExist = false;
  int sendCount = 0;  // of the first station
  int sendCountMax = 0;
};

struct GraphPoint {
  int x = 0;
  int y = 0;
  bool operator==(const GraphPoint&) const = default;
};

// A straight line, both ends included, in image pixels (y grows downwards).
struct GraphSegment {
  GraphPoint from;
  GraphPoint to;
  std::uint32_t rgb = 0;
  bool operator==(const GraphSegment&) const = default;
};

class StatusGraphs {
 public:
  static constexpr int CycleWidth = 100;
  static constexpr int CycleHeight = 65;
  static constexpr int ResendWidth = 49;
  static constexpr int ResendHeight = 65;
  static constexpr int ScrollStep = 3;
  static constexpr int MinMsPerPixel = 1;
  static constexpr int MaxMsPerPixel = 15;
  static constexpr int DefaultMsPerPixel = 8;
  static constexpr int ResendPixelsPerSend = 5;
  static constexpr std::uint32_t Black = 0x000000;
  static constexpr std::uint32_t LightGrey = 0xE0E0E0;

  // At every start of the server: the resend graph is cleared and the line of the cycle graph
  // starts again from the bottom; the cycle graph keeps what it shows.
  void Reset();
  void AddSample(const CycleSample& sample);

  // The vertical scale of the cycle graph, kept within 1 to 15; it applies to later samples.
  int MsPerPixel() const { return msPerPixel_; }
  void SetMsPerPixel(int msPerPixel);
  // Milliseconds at the top of the cycle graph: the scale times its height ("520" at 8).
  std::string ScaleLabel() const;
  // Duration of the last cycle in milliseconds, "---" before the first sample.
  std::string LastCycleText() const;

  // Everything the images show now, to be drawn in order on white.
  std::vector<GraphSegment> CycleSegments() const;
  std::vector<GraphSegment> ResendSegments() const;
  // x of the last resend column; 0 after a reset.
  int ResendX() const { return resendX_; }
  // Changes with every sample, reset and scale change, so a view knows when to repaint.
  std::uint64_t Serial() const { return serial_; }

 private:
  // The values a cycle plotted: the two before it and its own, in pixels above the bottom.
  struct Stroke {
    int prev2;
    int prev1;
    int value;
  };
  struct Column {
    int x;
    int sendCount;
    int sendCountMax;
  };
  static std::vector<GraphSegment> StrokeSegments(const Stroke& stroke, int age);
  static std::vector<GraphSegment> ColumnSegments(const Column& column);

  int msPerPixel_ = DefaultMsPerPixel;
  bool haveSample_ = false;
  std::uint32_t lastCycleMs_ = 0;
  int graphPrev1_ = 0;
  int graphPrev2_ = 0;
  std::deque<Stroke> strokes_;   // oldest first; one per cycle, 3 pixels apart
  std::vector<Column> columns_;  // since the resend graph was last cleared, left to right
  int resendX_ = 0;
  std::uint64_t serial_ = 0;
};

}  // namespace velora
