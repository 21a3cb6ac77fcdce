// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/CoordGrid.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace halvex::geodesy {
namespace {

constexpr std::size_t kLengthPrefixBytes = sizeof(std::uint64_t);
constexpr std::uint64_t kMaxOffset = (std::uint64_t{1} << 40) - 1;
// Below this size the buffer is never compacted: the waste is too small to
// be worth a pass over every cell.
constexpr std::size_t kCompactAtLeast = std::size_t{1} << 16;

}  // namespace

std::size_t CoordGrid::StoredBytes(std::uint64_t word) const {
  const std::uint64_t length = word & kLongLength;
  if (length < kLongLength) {
    return static_cast<std::size_t>(length);
  }
  std::uint64_t longLength = 0;
  std::memcpy(&longLength, text_.data() + (word >> kLengthBits), kLengthPrefixBytes);
  return kLengthPrefixBytes + static_cast<std::size_t>(longLength);
}

std::string_view CoordGrid::View(std::uint64_t word) const {
  const std::uint64_t length = word & kLongLength;
  const auto offset = static_cast<std::size_t>(word >> kLengthBits);
  if (length < kLongLength) {
    return {text_.data() + offset, static_cast<std::size_t>(length)};
  }
  std::uint64_t longLength = 0;
  std::memcpy(&longLength, text_.data() + offset, kLengthPrefixBytes);
  return {text_.data() + offset + kLengthPrefixBytes, static_cast<std::size_t>(longLength)};
}

void CoordGrid::Release(std::uint64_t word) {
  if (word != 0) {
    unused_ += StoredBytes(word);
  }
}

std::uint64_t CoordGrid::Store(std::string_view text) {
  if (text.empty()) {
    return 0;
  }
  const std::size_t offset = text_.size();
  const bool isLong = text.size() >= kLongLength;
  const std::size_t bytes = text.size() + (isLong ? kLengthPrefixBytes : 0);
  if (offset + bytes > kMaxOffset) {
    throw std::length_error("coordinate grid text exceeds 1 TiB");
  }
  if (isLong) {
    const std::uint64_t length = text.size();
    text_.append(reinterpret_cast<const char*>(&length), kLengthPrefixBytes);
  }
  text_.append(text);
  return (static_cast<std::uint64_t>(offset) << kLengthBits) |
         (isLong ? kLongLength : static_cast<std::uint64_t>(text.size()));
}

void CoordGrid::CompactIfWasteful() {
  if (unused_ == 0) {
    return;
  }
  if (unused_ == text_.size()) {
    // Every cell is empty: nothing to copy.
    text_.clear();
    unused_ = 0;
    return;
  }
  if (text_.size() < kCompactAtLeast || unused_ <= text_.size() / 2) {
    return;
  }
  std::string fresh;
  fresh.reserve(text_.size() - unused_);
  for (std::uint64_t& word : cells_) {
    if (word == 0) {
      continue;
    }
    const std::string_view view = View(word);
    const std::size_t offset = fresh.size();
    if ((word & kLongLength) == kLongLength) {
      const std::uint64_t length = view.size();
      fresh.append(reinterpret_cast<const char*>(&length), kLengthPrefixBytes);
    }
    fresh.append(view);
    word = (static_cast<std::uint64_t>(offset) << kLengthBits) | (word & kLongLength);
  }
  text_.swap(fresh);
  unused_ = 0;
}

void CoordGrid::Resize(std::size_t cols, std::size_t rows) {
  if (cols == cols_) {
    for (std::size_t i = rows * cols; i < cells_.size(); ++i) {
      Release(cells_[i]);
    }
    cells_.resize(rows * cols, 0);
  } else {
    std::vector<std::uint64_t> resized(rows * cols, 0);
    for (std::size_t row = 0; row < rows_; ++row) {
      for (std::size_t col = 0; col < cols_; ++col) {
        const std::uint64_t word = cells_[row * cols_ + col];
        if (row < rows && col < cols) {
          resized[row * cols + col] = word;
        } else {
          Release(word);
        }
      }
    }
    cells_.swap(resized);
  }
  cols_ = cols;
  rows_ = rows;
  CompactIfWasteful();
}

std::string_view CoordGrid::Cell(std::size_t col, std::size_t row) const {
  return View(cells_[row * cols_ + col]);
}

void CoordGrid::SetCell(std::size_t col, std::size_t row, std::string_view text) {
  // A text taken from this grid would move when the buffer grows.
  const std::less<const char*> before;
  if (!text.empty() && !before(text.data(), text_.data()) &&
      before(text.data(), text_.data() + text_.size())) {
    const std::string copy(text);
    SetCell(col, row, copy);
    return;
  }
  std::uint64_t& word = cells_[row * cols_ + col];
  const std::uint64_t length = word & kLongLength;
  if (!text.empty() && length < kLongLength && text.size() <= length) {
    const auto offset = static_cast<std::size_t>(word >> kLengthBits);
    std::memcpy(text_.data() + offset, text.data(), text.size());
    unused_ += static_cast<std::size_t>(length) - text.size();
    word = (word & ~kLongLength) | static_cast<std::uint64_t>(text.size());
  } else {
    const std::uint64_t stored = Store(text);
    Release(word);
    word = stored;
  }
  CompactIfWasteful();
}

void CoordGrid::AppendRow(std::span<const std::string_view> texts) {
  const std::size_t base = cells_.size();
  cells_.resize(base + cols_, 0);
  ++rows_;
  const std::size_t n = std::min(texts.size(), cols_);
  for (std::size_t col = 0; col < n; ++col) {
    SetCell(col, rows_ - 1, texts[col]);
  }
}

void CoordGrid::InsertRows(std::size_t first, std::size_t count) {
  first = std::min(first, rows_);
  const auto at = cells_.begin() + static_cast<std::ptrdiff_t>(first * cols_);
  cells_.insert(at, count * cols_, 0);
  rows_ += count;
}

void CoordGrid::RemoveRows(std::size_t first, std::size_t count) {
  if (first >= rows_) {
    return;
  }
  count = std::min(count, rows_ - first);
  const auto begin = cells_.begin() + static_cast<std::ptrdiff_t>(first * cols_);
  const auto end = begin + static_cast<std::ptrdiff_t>(count * cols_);
  for (auto it = begin; it != end; ++it) {
    Release(*it);
  }
  cells_.erase(begin, end);
  rows_ -= count;
  CompactIfWasteful();
}

void CoordGrid::MoveColumn(std::size_t from, std::size_t to) {
  if (from >= cols_ || to >= cols_ || from == to) {
    return;
  }
  for (std::size_t row = 0; row < rows_; ++row) {
    const auto rowBegin = cells_.begin() + static_cast<std::ptrdiff_t>(row * cols_);
    if (from < to) {
      std::rotate(rowBegin + static_cast<std::ptrdiff_t>(from),
                  rowBegin + static_cast<std::ptrdiff_t>(from + 1),
                  rowBegin + static_cast<std::ptrdiff_t>(to + 1));
    } else {
      std::rotate(rowBegin + static_cast<std::ptrdiff_t>(to),
                  rowBegin + static_cast<std::ptrdiff_t>(from),
                  rowBegin + static_cast<std::ptrdiff_t>(from + 1));
    }
  }
}

void CoordGrid::ClearRows(std::size_t first) {
  for (std::size_t i = std::min(first, rows_) * cols_; i < cells_.size(); ++i) {
    Release(cells_[i]);
    cells_[i] = 0;
  }
  CompactIfWasteful();
}

void CoordGrid::Reserve(std::size_t rows, std::size_t textBytes) {
  cells_.reserve(rows * cols_);
  text_.reserve(textBytes);
}

std::size_t CoordGrid::MemoryBytes() const {
  return cells_.capacity() * sizeof(std::uint64_t) + text_.capacity();
}

bool operator==(const CoordGrid& a, const CoordGrid& b) {
  if (a.cols_ != b.cols_ || a.rows_ != b.rows_) {
    return false;
  }
  for (std::size_t i = 0; i < a.cells_.size(); ++i) {
    if (a.View(a.cells_[i]) != b.View(b.cells_[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace halvex::geodesy

namespace halvex::geodesy {

void ClearGrid(CoordGrid& grid) {
  grid.SetRowCount(9);
  grid.ClearRows(1);
}

void SetGridHeader(CoordGrid& grid, std::string_view header) {
  constexpr std::size_t kMaxWords = 12;
  constexpr std::size_t kMaxWordChars = 11;
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  const auto isBlank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  };
  while (words.size() < kMaxWords) {
    while (pos < header.size() && isBlank(header[pos])) {
      ++pos;
    }
    if (pos == header.size()) {
      break;
    }
    const std::size_t start = pos;
    while (pos < header.size() && !isBlank(header[pos]) && pos - start < kMaxWordChars) {
      ++pos;
    }
    words.push_back(header.substr(start, pos - start));
  }
  if (grid.RowCount() == 0) {
    return;
  }
  std::size_t col = 0;
  while (col < grid.ColCount()) {
    for (const std::string_view word : words) {
      if (col >= grid.ColCount()) {
        break;
      }
      grid.SetCell(col++, 0, word);
    }
    ++col;
  }
}

void NumberGridRows(CoordGrid& grid) {
  if (grid.ColCount() == 0) {
    return;
  }
  for (std::size_t row = 1; row < grid.RowCount(); ++row) {
    grid.SetCell(0, row, std::to_string(row));
  }
}

int FitGridColumns(int gridWidthPixels, std::size_t columnCount) {
  if (columnCount == 0 || gridWidthPixels <= 10) {
    return 0;
  }
  return static_cast<int>(static_cast<std::size_t>(gridWidthPixels - 10) / columnCount);
}

}  // namespace halvex::geodesy
