// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PageWarmer.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace halvex::platform {
namespace {

// The warmer only readies pages: what the owner wrote before, during and
// after warming is what the buffer holds, including at its unaligned ends.
TEST(PageWarmer, KeepsEveryByteTheOwnerWrites) {
  constexpr std::size_t kBytes = (std::size_t{24} << 20) + 123;
  std::string text;
  text.reserve(kBytes);
  text.assign(1000, 'a');
  {
    PageWarmer warmer(text.data() + 1, text.capacity() - 1);
    for (std::size_t i = text.size(); i < kBytes; ++i) {
      text.push_back(static_cast<char>('a' + i % 26));
    }
  }
  ASSERT_EQ(text.size(), kBytes);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < kBytes; ++i) {
    wrong += text[i] != (i < 1000 ? 'a' : static_cast<char>('a' + i % 26)) ? 1 : 0;
  }
  EXPECT_EQ(wrong, 0u);
}

TEST(PageWarmer, StopsEarlyAndIgnoresSmallOrMissingBuffers) {
  std::string big(std::size_t{16} << 20, 'x');
  PageWarmer early(big.data(), big.size());
  early.Stop();
  early.Stop();  // a second stop is harmless
  EXPECT_EQ(big.find_first_not_of('x'), std::string::npos);

  char small[64] = {};
  { PageWarmer none(small, sizeof small); }
  { PageWarmer none(nullptr, std::size_t{1} << 30); }
  EXPECT_EQ(small[0], 0);
}

}  // namespace
}  // namespace halvex::platform
