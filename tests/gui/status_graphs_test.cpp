// The pixel layout of the cycle-time and resend graphs, and its picture.
#include "gui/status_graphs.h"

#include <gtest/gtest.h>

#include <QColor>

#include "gui/graph_view.h"

namespace velora {
namespace {

using G = StatusGraphs;
constexpr int W = G::CycleWidth;
constexpr int H = G::CycleHeight;
constexpr int RH = G::ResendHeight;

GraphSegment Line(int x1, int y1, int x2, int y2, std::uint32_t rgb = G::Black) {
  return {{x1, y1}, {x2, y2}, rgb};
}

TEST(StatusGraphsTest, ScaleLabelAndLastCycleText) {
  G graphs;
  EXPECT_EQ(graphs.MsPerPixel(), 8);
  EXPECT_EQ(graphs.ScaleLabel(), "520");
  EXPECT_EQ(graphs.LastCycleText(), "---");
  for (const auto& [position, label] : {std::pair{1, "65"}, {15, "975"}, {0, "65"}, {16, "975"}}) {
    graphs.SetMsPerPixel(position);
    EXPECT_EQ(graphs.ScaleLabel(), label) << position;
  }
  graphs.AddSample({.cycleMs = 137});
  EXPECT_EQ(graphs.LastCycleText(), "137");
}

TEST(StatusGraphsTest, EachCycleScrollsAndDrawsTheLastThreeValues) {
  G graphs;
  graphs.AddSample({.cycleMs = 160});  // 160 div 8 = 20
  EXPECT_EQ(graphs.CycleSegments(),
            (std::vector{Line(W - 6, H, W - 3, H), Line(W - 3, H, W, H - 20)}));
  graphs.SetMsPerPixel(4);            // later values only
  graphs.AddSample({.cycleMs = 41});  // 10
  graphs.AddSample({.cycleMs = 3});   // 0
  EXPECT_EQ(graphs.CycleSegments(), (std::vector{
                                        Line(W - 12, H, W - 9, H),
                                        Line(W - 9, H, W - 6, H - 20),
                                        Line(W - 9, H, W - 6, H - 20),
                                        Line(W - 6, H - 20, W - 3, H - 10),
                                        Line(W - 6, H - 20, W - 3, H - 10),
                                        Line(W - 3, H - 10, W, H),
                                    }));

  // A start lets the line begin at the bottom again without clearing the picture.
  graphs.Reset();
  graphs.AddSample({.cycleMs = 40});
  const std::vector<GraphSegment> all = graphs.CycleSegments();
  ASSERT_EQ(all.size(), 8u);
  EXPECT_EQ(all[4], Line(W - 9, H - 20, W - 6, H - 10)) << "the older strokes stay";
  EXPECT_EQ(all[6], Line(W - 6, H, W - 3, H));
  EXPECT_EQ(all[7], Line(W - 3, H, W, H - 10));

  // Strokes that have scrolled out of the image are dropped.
  for (int i = 0; i < 200; ++i)
    graphs.AddSample({.cycleMs = 80});
  const std::vector<GraphSegment> scrolled = graphs.CycleSegments();
  ASSERT_EQ(scrolled.size(), 2u * 34);
  EXPECT_EQ(scrolled[1].to.x, 1) << "the oldest stroke kept still reaches into the image";
}

TEST(StatusGraphsTest, ResendColumnsAdvanceAndStartOverPastTheWidth) {
  G graphs;
  graphs.AddSample({.cycleMs = 100, .stationsExist = false});
  EXPECT_TRUE(graphs.ResendSegments().empty()) << "no column without stations";
  EXPECT_EQ(graphs.ResendX(), 0);

  graphs.AddSample({.cycleMs = 100, .stationsExist = true, .sendCount = 2, .sendCountMax = 5});
  graphs.AddSample({.cycleMs = 100, .stationsExist = true, .sendCount = 1, .sendCountMax = 1});
  EXPECT_EQ(graphs.ResendSegments(), (std::vector{
                                         Line(1, RH - 1, 1, RH - 11),
                                         Line(1, RH - 12, 1, RH - 26, G::LightGrey),
                                         Line(2, RH - 1, 2, RH - 6),
                                     }));
  for (int x = 3; x <= G::ResendWidth; ++x)
    graphs.AddSample({.stationsExist = true});
  EXPECT_EQ(graphs.ResendX(), G::ResendWidth);
  EXPECT_EQ(graphs.ResendSegments().size(), 50u);
  graphs.AddSample({.stationsExist = true, .sendCount = 0});
  EXPECT_EQ(graphs.ResendX(), 0);
  EXPECT_EQ(graphs.ResendSegments(), (std::vector{Line(0, RH - 1, 0, RH - 1)}))
      << "cleared, one bottom pixel at x 0";

  graphs.Reset();
  EXPECT_TRUE(graphs.ResendSegments().empty());
  graphs.AddSample({.stationsExist = true});
  EXPECT_EQ(graphs.ResendX(), 1);
}

TEST(StatusGraphsTest, ViewsPaintTheSegmentsOnWhite) {
  G graphs;
  GraphView cycle(graphs, GraphView::Which::CycleTime);
  GraphView resend(graphs, GraphView::Which::Resend);
  EXPECT_EQ(cycle.size(), QSize(W, H));
  EXPECT_EQ(cycle.toolTip(), "EKG");
  graphs.AddSample({.cycleMs = 160, .stationsExist = true, .sendCount = 1, .sendCountMax = 2});

  const QImage c = cycle.Render();
  EXPECT_EQ(c.size(), QSize(W, H));
  auto blackInColumn = [&c](int x) {
    int count = 0;
    for (int y = 0; y < H; ++y)
      count += QColor(c.pixel(x, y)) == QColor(Qt::black);
    return count;
  };
  EXPECT_GT(blackInColumn(W - 2), 0) << "the rise to the new value";
  EXPECT_EQ(blackInColumn(W - 10), 0);
  EXPECT_EQ(QColor(c.pixel(W - 1, 0)), QColor(Qt::white));

  const QImage r = resend.Render();
  EXPECT_EQ(r.size(), QSize(G::ResendWidth, RH));
  EXPECT_EQ(QColor(r.pixel(1, RH - 1)), QColor(Qt::black));
  EXPECT_EQ(QColor(r.pixel(1, RH - 6)), QColor(Qt::black)) << "5 x 1 + 1 pixels high";
  EXPECT_EQ(QColor(r.pixel(1, RH - 7)), QColor(0xE0, 0xE0, 0xE0));
  EXPECT_EQ(QColor(r.pixel(1, RH - 11)), QColor(0xE0, 0xE0, 0xE0));
  EXPECT_EQ(QColor(r.pixel(1, RH - 12)), QColor(Qt::white));
  EXPECT_EQ(QColor(r.pixel(0, RH - 1)), QColor(Qt::white));
}

}  // namespace
}  // namespace velora
