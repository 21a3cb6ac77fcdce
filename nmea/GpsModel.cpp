// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/GpsModel.hpp"

#include <algorithm>

namespace halvex::nmea {
namespace {

template <typename T>
void Check(bool ok, T& field, T value, const char* message) {
  if (!ok) {
    throw EGPSError(message);
  }
  field = value;
}

bool InIndex(int index, std::size_t count) {
  return index >= 0 && static_cast<std::size_t>(index) < count;
}

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

// --- TSatellite ---

void TSatellite::SetAzimuth(int value) {
  Check(value >= 0 && value <= 359, FAzimuth, value, "Azimuth must be between 0 and 360.");
}

void TSatellite::SetElevation(int value) {
  Check(value >= 0 && value <= 90, FElevation, value, "Elevation must be between 0 and 90.");
}

void TSatellite::SetSignalToNoiseRatio(int value) {
  Check(value >= 0 && value <= 99, FSignalToNoiseRatio, value,
        "SignalToNoiseRatio must be between 0 and 99.");
}

// --- TSatellites ---

bool TSatellites::Add(std::unique_ptr<TSatellite>& item) {
  if (!item || Count() >= kMaxCount || IndexOf(item->PseudoRandomCode()) >= 0) {
    return false;
  }
  items_.push_back(std::move(item));
  return true;
}

bool TSatellites::Insert(int index, std::unique_ptr<TSatellite>& item) {
  if (!item || Count() >= kMaxCount || !InIndex(index, items_.size()) ||
      IndexOf(item->PseudoRandomCode()) >= 0) {
    return false;
  }
  items_.insert(items_.begin() + index, std::move(item));
  return true;
}

void TSatellites::Delete(int index) {
  if (InIndex(index, items_.size())) {
    items_.erase(items_.begin() + index);
  }
}

void TSatellites::DeleteById(int satelliteId) {
  for (int i = Count() - 1; i >= 0; --i) {
    if (items_[static_cast<std::size_t>(i)]->PseudoRandomCode() == satelliteId) {
      Delete(i);
      return;
    }
  }
}

int TSatellites::IndexOf(int satelliteId) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]->PseudoRandomCode() == satelliteId) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

TSatellite* TSatellites::GetById(int satelliteId) const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if ((*it)->PseudoRandomCode() == satelliteId) {
      return it->get();
    }
  }
  return nullptr;
}

TSatellite* TSatellites::GetItem(int index) const {
  return InIndex(index, items_.size()) ? items_[static_cast<std::size_t>(index)].get() : nullptr;
}

bool TSatellites::SetItem(int index, std::unique_ptr<TSatellite>& item) {
  if (!item || !InIndex(index, items_.size())) {
    return false;
  }
  items_[static_cast<std::size_t>(index)] = std::move(item);
  return true;
}

// --- TGPSPosition ---

TGPSPosition::TGPSPosition() { Reset(); }

void TGPSPosition::Reset() {
  FLatitude_Degree = 0;
  FLatitude_Minute = 0;
  FLatitude_Second = 0.0L;
  FLatitude_Direction = TCardinalPoint::cpNorth;
  FLongitude_Degree = 0;
  FLongitude_Minute = 0;
  FLongitude_Second = 0.0L;
  FLongitude_Direction = TCardinalPoint::cpEast;
  FAltitude = 0.0L;
  FHeading = 0.0L;
  FSpeed_Knots = 0.0L;
  FSpeed_KMH = 0.0L;
  FDay = 1;
  FMonth = 1;
  FYear = 1900;
  FHour = 0;
  FMinute = 0;
  FSecond = 0;
  FMagnetic_Variation = 0.0L;
  FMagnetic_Variation_Direction = TCardinalPoint::cpEast;
  FMagnetic_Heading = 0.0L;
  FSatellite_Count = 0;
  FPDOP = -1.0L;
  FHDOP = -1.0L;
  FVDOP = -1.0L;
  FFix = -1;
  FMode1 = 0;
  FMode2 = 0;
  FSatellites.Clear();
}

TDateTime TGPSPosition::DateTime() const {
  return EncodeDateTime(FYear, FMonth, FDay, FHour, FMinute, FSecond, FMillisecond).value_or(0.0);
}

void TGPSPosition::SetDateTime(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  FYear = static_cast<std::uint16_t>(p.year);
  FMonth = static_cast<std::uint16_t>(p.month);
  FDay = static_cast<std::uint16_t>(p.day);
  FHour = static_cast<std::uint16_t>(p.hour);
  FMinute = static_cast<std::uint16_t>(p.minute);
  FSecond = static_cast<std::uint16_t>(p.second);
  FMillisecond = static_cast<std::uint16_t>(p.millisecond);
}

#define HALVEX_LATLON_SETTERS(Class)                                                 \
  void Class::SetLatitude_Degree(int value) {                                        \
    Check(value >= 0 && value <= 90, FLatitude_Degree, value,                        \
          "Latitude Degree must be between 0 and 90.");                              \
  }                                                                                  \
  void Class::SetLatitude_Minute(int value) {                                        \
    Check(value >= 0 && value <= 59, FLatitude_Minute, value,                        \
          "Latitude Minute must be between 0 and 60.");                              \
  }                                                                                  \
  void Class::SetLatitude_Second(long double value) {                                \
    Check(value >= 0.0L && value < 60.0L, FLatitude_Second, value,                   \
          "Latitude Second must be between 0 and 60.");                              \
  }                                                                                  \
  void Class::SetLatitude_Direction(TCardinalPoint value) {                          \
    Check(value == TCardinalPoint::cpNorth || value == TCardinalPoint::cpSouth,      \
          FLatitude_Direction, value, "Latitude Direction must be north or south."); \
  }                                                                                  \
  void Class::SetLongitude_Degree(int value) {                                       \
    Check(value >= 0 && value <= 180, FLongitude_Degree, value,                      \
          "Longitude Degree must be between 0 and 180.");                            \
  }                                                                                  \
  void Class::SetLongitude_Minute(int value) {                                       \
    Check(value >= 0 && value <= 59, FLongitude_Minute, value,                       \
          "Longitude Minute must be between 0 and 60.");                             \
  }                                                                                  \
  void Class::SetLongitude_Second(long double value) {                               \
    Check(value >= 0.0L && value < 60.0L, FLongitude_Second, value,                  \
          "Longitude Second must be between 0 and 60.");                             \
  }                                                                                  \
  void Class::SetLongitude_Direction(TCardinalPoint value) {                         \
    Check(value == TCardinalPoint::cpEast || value == TCardinalPoint::cpWest,        \
          FLongitude_Direction, value, "Longitude Direction must be east or west."); \
  }

// The position and the waypoint validate their coordinates alike.
HALVEX_LATLON_SETTERS(TGPSPosition)
HALVEX_LATLON_SETTERS(TWayPoint)
#undef HALVEX_LATLON_SETTERS

void TGPSPosition::SetHeading(long double value) {
  Check(value >= 0.0L && value < 360.0L, FHeading, value, "Heading must be between 0 and 360.");
}

void TGPSPosition::SetMagnetic_Heading(long double value) {
  Check(value >= 0.0L && value < 360.0L, FMagnetic_Heading, value,
        "Magnetic Heading must be between 0 and 360.");
}

void TGPSPosition::SetMagnetic_Variation(long double value) {
  Check(value >= 0.0L && value < 100.0L, FMagnetic_Variation, value,
        "Magnetic Variation must be between 0 and 99.9.");
}

void TGPSPosition::SetMagnetic_Variation_Direction(TCardinalPoint value) {
  Check(value == TCardinalPoint::cpEast || value == TCardinalPoint::cpWest,
        FMagnetic_Variation_Direction, value, "Magnetic Variation Direction must be east or west.");
}

void TGPSPosition::SetPDOP(long double value) {
  Check(value >= -1.0L && value < 100.0L, FPDOP, value, "PDOP must be between 0 and 99.9.");
}

void TGPSPosition::SetHDOP(long double value) {
  Check(value >= -1.0L && value < 100.0L, FHDOP, value, "HDOP must be between 0 and 99.9.");
}

void TGPSPosition::SetVDOP(long double value) {
  Check(value >= -1.0L && value < 100.0L, FVDOP, value, "VDOP must be between 0 and 99.9.");
}

// --- TWayPoints ---

bool TWayPoints::Add(std::unique_ptr<TWayPoint>& item) {
  if (!item) {
    return false;
  }
  const int index = IndexOf(item->Name);
  if (index >= 0) {
    items_[static_cast<std::size_t>(index)] = std::move(item);
  } else if (Count() < kMaxCount) {
    items_.push_back(std::move(item));
  } else {
    return false;
  }
  return true;
}

bool TWayPoints::Insert(int index, std::unique_ptr<TWayPoint>& item) {
  if (!item) {
    return false;
  }
  const int existing = IndexOf(item->Name);
  if (existing >= 0) {
    items_[static_cast<std::size_t>(existing)] = std::move(item);
    return true;
  }
  if (!InIndex(index, items_.size()) || Count() >= kMaxCount) {
    return false;
  }
  items_.insert(items_.begin() + index, std::move(item));
  return true;
}

void TWayPoints::Delete(int index) {
  if (InIndex(index, items_.size())) {
    items_.erase(items_.begin() + index);
  }
}

void TWayPoints::Delete(std::string_view wayPointName) {
  for (int i = Count() - 1; i >= 0; --i) {
    if (SameTextIgnoringCase(items_[static_cast<std::size_t>(i)]->Name, wayPointName)) {
      Delete(i);
      return;
    }
  }
}

int TWayPoints::IndexOf(std::string_view wayPointName) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (SameTextIgnoringCase(items_[i]->Name, wayPointName)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

TWayPoint* TWayPoints::GetByName(std::string_view wayPointName) const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (SameTextIgnoringCase((*it)->Name, wayPointName)) {
      return it->get();
    }
  }
  return nullptr;
}

TWayPoint* TWayPoints::GetItem(int index) const {
  return InIndex(index, items_.size()) ? items_[static_cast<std::size_t>(index)].get() : nullptr;
}

bool TWayPoints::SetItem(int index, std::unique_ptr<TWayPoint>& item) {
  if (!item || !InIndex(index, items_.size())) {
    return false;
  }
  items_[static_cast<std::size_t>(index)] = std::move(item);
  return true;
}

// --- TRoute ---

std::string TRoute::WayPointListToStr() const {
  std::string text;
  for (std::size_t i = 0; i < WayPoints.size(); ++i) {
    if (i > 0) {
      text += ',';
    }
    text += WayPoints[i];
  }
  return text;
}

}  // namespace halvex::nmea
