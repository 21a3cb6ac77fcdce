// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace halvex::platform {

// A local date and time broken down into its fields, as shown to the user
// and used in folder and file names. Months and days count from 1.
struct LocalDateTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Source of the current local time. Code that needs "now" takes a Clock so
// that tests can pin the time down.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() const = 0;
};

// The machine's clock in the local time zone.
class SystemClock final : public Clock {
 public:
  LocalDateTime Now() const override;
};

// A clock that always answers the time it was last given.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(const LocalDateTime& time) : time_(time) {}
  LocalDateTime Now() const override { return time_; }
  void Set(const LocalDateTime& time) { time_ = time; }

 private:
  LocalDateTime time_;
};

}  // namespace halvex::platform
