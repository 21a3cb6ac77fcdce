// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The receiver's state: the current fix with its satellites, the beacon
// receiver status, the navigation record, stored waypoints and the active
// route. Validating setters raise EGPSError with a fixed message and keep
// the old value; the decoder writes the fields directly.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nmea/DateTime.hpp"
#include "nmea/GpsTypes.hpp"

namespace halvex::nmea {

namespace internal {
class Decoder;
}

class TSatellite {
 public:
  int PseudoRandomCode() const { return FPseudoRandomCode; }
  int Azimuth() const { return FAzimuth; }                        // degrees
  int Elevation() const { return FElevation; }                    // degrees
  int SignalToNoiseRatio() const { return FSignalToNoiseRatio; }  // dB

  void SetPseudoRandomCode(int value) { FPseudoRandomCode = value; }
  void SetAzimuth(int value);             // 0..359
  void SetElevation(int value);           // 0..90
  void SetSignalToNoiseRatio(int value);  // 0..99

 private:
  friend class internal::Decoder;
  int FPseudoRandomCode = 0;
  int FAzimuth = 0;
  int FElevation = 0;
  int FSignalToNoiseRatio = 0;
};

// An owning list of satellites, at most one per PRN and at most
// kMaxCount in all (more than all constellations have in view, so a stream
// of garbage cannot grow it without end). Indexes outside the list are
// ignored; items that are not taken stay with the caller.
class TSatellites {
 public:
  static constexpr int kMaxCount = 256;

  // Appends the item unless it is null or its PRN is present; true when
  // the list took it (item is then empty).
  bool Add(std::unique_ptr<TSatellite>& item);
  bool Insert(int index, std::unique_ptr<TSatellite>& item);
  void Delete(int index);
  void DeleteById(int satelliteId);  // the last item with that PRN
  void Clear() { items_.clear(); }
  int IndexOf(int satelliteId) const;                          // first item with that PRN, or -1
  TSatellite* GetById(int satelliteId) const;                  // last item with that PRN, or null
  TSatellite* GetItem(int index) const;                        // null outside the list
  bool SetItem(int index, std::unique_ptr<TSatellite>& item);  // frees the previous item
  int Count() const { return static_cast<int>(items_.size()); }

 private:
  std::vector<std::unique_ptr<TSatellite>> items_;
};

class TGPSPosition {
 public:
  TGPSPosition();

  // Latitude and longitude as received, in NMEA ddmm.mmmm form (unsigned).
  long double FLatitude = 0.0L;
  long double FLongitude = 0.0L;

  int Latitude_Degree() const { return FLatitude_Degree; }
  int Latitude_Minute() const { return FLatitude_Minute; }
  long double Latitude_Second() const { return FLatitude_Second; }
  TCardinalPoint Latitude_Direction() const { return FLatitude_Direction; }
  int Longitude_Degree() const { return FLongitude_Degree; }
  int Longitude_Minute() const { return FLongitude_Minute; }
  long double Longitude_Second() const { return FLongitude_Second; }
  TCardinalPoint Longitude_Direction() const { return FLongitude_Direction; }
  long double Altitude() const { return FAltitude; }  // metres above mean sea level
  long double Heading() const { return FHeading; }    // course over ground, degrees true
  long double Speed_Knots() const { return FSpeed_Knots; }
  long double Speed_KMH() const { return FSpeed_KMH; }
  long double Magnetic_Variation() const { return FMagnetic_Variation; }  // degrees, unsigned
  TCardinalPoint Magnetic_Variation_Direction() const { return FMagnetic_Variation_Direction; }
  long double Magnetic_Heading() const { return FMagnetic_Heading; }
  std::uint16_t Day() const { return FDay; }
  std::uint16_t Month() const { return FMonth; }
  std::uint16_t Year() const { return FYear; }
  std::uint16_t Hour() const { return FHour; }
  std::uint16_t Minute() const { return FMinute; }
  std::uint16_t Second() const { return FSecond; }
  std::uint16_t Millisecond() const { return FMillisecond; }
  std::uint16_t Satellite_Count() const { return FSatellite_Count; }
  long double PDOP() const { return FPDOP; }  // -1: unknown
  long double HDOP() const { return FHDOP; }
  long double VDOP() const { return FVDOP; }
  long double Geo_Height() const { return FGeo_Height; }  // geoidal separation, metres
  int Fix() const { return FFix; }      // -1 unknown, 0 invalid, 1 GPS fix, 2 and up as reported
  int Mode1() const { return FMode1; }  // 0 unknown, 1 automatic, 2 manual
  int Mode2() const { return FMode2; }  // 0 unknown, 1 no fix, 2 2-D, 3 3-D
  TSatellites& Satellites() { return FSatellites; }
  const TSatellites& Satellites() const { return FSatellites; }

  // The UTC date and time of the fix; 0 when the parts are not a valid date.
  TDateTime DateTime() const;
  void SetDateTime(TDateTime value);

  void SetLatitude_Degree(int value);
  void SetLatitude_Minute(int value);
  void SetLatitude_Second(long double value);
  void SetLatitude_Direction(TCardinalPoint value);
  void SetLongitude_Degree(int value);
  void SetLongitude_Minute(int value);
  void SetLongitude_Second(long double value);
  void SetLongitude_Direction(TCardinalPoint value);
  void SetHeading(long double value);
  void SetMagnetic_Heading(long double value);
  void SetMagnetic_Variation(long double value);
  void SetMagnetic_Variation_Direction(TCardinalPoint value);
  void SetPDOP(long double value);
  void SetHDOP(long double value);
  void SetVDOP(long double value);
  void SetAltitude(long double value) { FAltitude = value; }
  void SetSpeed_Knots(long double value) { FSpeed_Knots = value; }
  void SetSpeed_KMH(long double value) { FSpeed_KMH = value; }
  void SetSatellite_Count(std::uint16_t value) { FSatellite_Count = value; }
  void SetGeo_Height(long double value) { FGeo_Height = value; }
  void SetFix(int value) { FFix = value; }
  void SetMode1(int value) { FMode1 = value; }
  void SetMode2(int value) { FMode2 = value; }

  // Back to "no fix": see the field defaults; Millisecond, Geo_Height,
  // FLatitude and FLongitude keep their values.
  void Reset();

 private:
  friend class internal::Decoder;
  int FLatitude_Degree = 0;
  int FLatitude_Minute = 0;
  long double FLatitude_Second = 0.0L;
  TCardinalPoint FLatitude_Direction = TCardinalPoint::cpNorth;
  int FLongitude_Degree = 0;
  int FLongitude_Minute = 0;
  long double FLongitude_Second = 0.0L;
  TCardinalPoint FLongitude_Direction = TCardinalPoint::cpEast;
  long double FAltitude = 0.0L;
  long double FHeading = 0.0L;
  long double FSpeed_Knots = 0.0L;
  long double FSpeed_KMH = 0.0L;
  long double FMagnetic_Variation = 0.0L;
  TCardinalPoint FMagnetic_Variation_Direction = TCardinalPoint::cpEast;
  long double FMagnetic_Heading = 0.0L;
  std::uint16_t FDay = 0, FMonth = 0, FYear = 0, FHour = 0, FMinute = 0, FSecond = 0,
                FMillisecond = 0;
  std::uint16_t FSatellite_Count = 0;
  long double FPDOP = 0.0L, FHDOP = 0.0L, FVDOP = 0.0L;
  long double FGeo_Height = 0.0L;
  int FFix = 0;
  int FMode1 = 0;
  int FMode2 = 0;
  TSatellites FSatellites;
};

// The signal status of a beacon receiver (MSS sentences).
struct TReceiverStatus {
  long double SignalStrength = 0.0L;
  long double SNR = 0.0L;
  long double Frequency = 0.0L;
  long double DataRate = 0.0L;

  void Reset() { *this = TReceiverStatus{}; }
};

// Navigation towards a waypoint (RMB, BWC, XTE sentences).
struct TNavigationInfo {
  std::string Origin;
  std::string Destination;
  long double RangeToDestination = -1.0L;  // nautical miles
  long double TrueBearingToDestination = 0.0L;
  long double MagneticBearingToDestination = 0.0L;
  long double VelocityTowardsDestination = 0.0L;  // knots
  long double CrossTrackError = 0.0L;             // nautical miles
  TDirection DirectionToSteer = TDirection::dirForward;

  void Reset() { *this = TNavigationInfo{}; }
};

class TWayPoint {
 public:
  std::string Name;

  int Latitude_Degree() const { return FLatitude_Degree; }
  int Latitude_Minute() const { return FLatitude_Minute; }
  long double Latitude_Second() const { return FLatitude_Second; }
  TCardinalPoint Latitude_Direction() const { return FLatitude_Direction; }
  int Longitude_Degree() const { return FLongitude_Degree; }
  int Longitude_Minute() const { return FLongitude_Minute; }
  long double Longitude_Second() const { return FLongitude_Second; }
  TCardinalPoint Longitude_Direction() const { return FLongitude_Direction; }

  // Validated as the position's setters of the same names.
  void SetLatitude_Degree(int value);
  void SetLatitude_Minute(int value);
  void SetLatitude_Second(long double value);
  void SetLatitude_Direction(TCardinalPoint value);
  void SetLongitude_Degree(int value);
  void SetLongitude_Minute(int value);
  void SetLongitude_Second(long double value);
  void SetLongitude_Direction(TCardinalPoint value);

 private:
  friend class internal::Decoder;
  int FLatitude_Degree = 0;
  int FLatitude_Minute = 0;
  long double FLatitude_Second = 0.0L;
  TCardinalPoint FLatitude_Direction = TCardinalPoint::cpNorth;
  int FLongitude_Degree = 0;
  int FLongitude_Minute = 0;
  long double FLongitude_Second = 0.0L;
  TCardinalPoint FLongitude_Direction = TCardinalPoint::cpEast;
};

// An owning list of waypoints keyed by name (compared without regard to
// letter case), at most kMaxCount of them. Indexes outside the list are
// ignored; items that are not taken stay with the caller.
class TWayPoints {
 public:
  static constexpr int kMaxCount = 10000;

  // Replaces a waypoint of the same name in place, else appends; false
  // (item kept by the caller) for a null item or a full list.
  bool Add(std::unique_ptr<TWayPoint>& item);
  // Replaces a waypoint of the same name, else inserts at 0 <= index < Count.
  bool Insert(int index, std::unique_ptr<TWayPoint>& item);
  void Delete(int index);
  void Delete(std::string_view wayPointName);  // the last of that name
  void Clear() { items_.clear(); }
  int IndexOf(std::string_view wayPointName) const;           // first of that name, or -1
  TWayPoint* GetByName(std::string_view wayPointName) const;  // last of that name, or null
  TWayPoint* GetItem(int index) const;
  bool SetItem(int index, std::unique_ptr<TWayPoint>& item);
  int Count() const { return static_cast<int>(items_.size()); }

 private:
  std::vector<std::unique_ptr<TWayPoint>> items_;
};

struct TRoute {
  // Names beyond this many are not stored by the decoder.
  static constexpr std::size_t kMaxWayPoints = 4096;

  std::string Name;
  std::vector<std::string> WayPoints;  // names in route order

  std::string Destination() const { return WayPoints.empty() ? std::string() : WayPoints.back(); }
  std::string WayPointListToStr() const;  // names joined by ","
};

// ASCII case-insensitive equality of two texts.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace halvex::nmea
