// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "navigator/core/ModelChart.hpp"

namespace halvex::navigator {
namespace {

TEST(ModelChart, PanMovesTheView) {
  ModelChart chart;
  chart.SetView(0, 100, 100, 0);
  chart.WorldPan(10, -5);
  EXPECT_EQ(chart.WorldLeft(), 10);
  EXPECT_EQ(chart.WorldTop(), 95);
}

}  // namespace
}  // namespace halvex::navigator
