// SPDX-License-Identifier: GPL-3.0-or-later
//
// The sentence decoder: a table of {kind, decoder}; each decoder writes its
// fields into the data model and reports what changed through the flags;
// the common tail fires the events from the flags in one fixed order.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/NmeaText.hpp"

namespace halvex::nmea {
namespace internal {

class Decoder {
 public:
  Decoder(TRaxCustomGPSReceiver& receiver, std::string_view sentence)
      : r_(receiver), p_(*receiver.FPosition), s_(sentence) {
    for (std::size_t i = 0; i < s_.size() && commaCount_ < kCommas; ++i) {
      if (s_[i] == ',') {
        commas_[commaCount_++] = i;
      }
    }
  }

  void Run() {
    try {
      if (Dispatch()) {
        Tail();
      }
    } catch (...) {
      // A failure ends this sentence's decoding: values stored so far stay
      // and no tail event fires.
    }
  }

 private:
  static constexpr std::size_t kCommas = 24;  // enough for every numbered field read

  using Handler = bool (Decoder::*)();
  struct Kind {
    std::string_view letters;
    Handler handler;
  };

  // --- Field walking ---

  // Field `index` (1 = the first after the name): the text up to the next
  // ","; a "last" field with no comma after it runs up to the "*". Absent
  // when the sentence ends before it.
  std::optional<std::string_view> Field(int index, bool last = false) const {
    const auto i = static_cast<std::size_t>(index);
    if (i > commaCount_) {
      return std::nullopt;
    }
    const std::size_t start = commas_[i - 1] + 1;
    if (i < commaCount_) {
      return s_.substr(start, commas_[i] - start);
    }
    if (!last) {
      return std::nullopt;
    }
    const std::size_t star = s_.find('*', start);
    if (star == std::string_view::npos) {
      return std::nullopt;
    }
    return s_.substr(start, star - start);
  }

  // The field, or `fallback` when it is empty or absent.
  std::string_view Value(int index, std::string_view fallback, bool last = false) const {
    const auto field = Field(index, last);
    return field && !field->empty() ? *field : fallback;
  }

  static bool Is(std::string_view field, char letter) {
    return field.size() == 1 && (field[0] == letter || field[0] == letter + 32);
  }

  static void Real(std::string_view field, long double& target) {
    long double value = 0.0L;
    if (ReadReal(field, value)) {
      target = value;
    }
  }

  // A compared value: stored, and the flag raised, when it differs.
  static void Compared(std::string_view field, long double& target, bool& changed) {
    long double value = 0.0L;
    if (ReadReal(field, value) && !CompareFloats(value, target)) {
      target = value;
      changed = true;
    }
  }

  static void Integer(std::string_view field, int& target) {
    int value = 0;
    if (ReadInteger(field, value)) {
      target = value;
    }
  }

  static void Unsigned16(std::string_view field, std::uint16_t& target) {
    int value = 0;
    if (ReadInteger(field, value)) {
      target = static_cast<std::uint16_t>(value);
    }
  }

  // --- Common rules ---

  void Latitude(int index) {
    int degree = 0, minute = 0;
    long double second = 0.0L;
    const std::string_view field = Value(index, "");
    if (ExtractCoord(field, degree, minute, second) &&
        (degree != p_.FLatitude_Degree || minute != p_.FLatitude_Minute ||
         !CompareFloats(second, p_.FLatitude_Second))) {
      latitudeChanged_ = true;
      p_.FLatitude_Degree = degree;
      p_.FLatitude_Minute = minute;
      p_.FLatitude_Second = second;
      Real(field, p_.FLatitude);
    }
  }

  void NorthSouth(int index) {
    const std::string_view field = Value(index, "");
    if (field.empty()) {
      return;
    }
    const TCardinalPoint direction =
        Is(field, 'N') ? TCardinalPoint::cpNorth : TCardinalPoint::cpSouth;
    if (direction != p_.FLatitude_Direction) {
      p_.FLatitude_Direction = direction;
      if (p_.FLatitude_Degree > 0 || p_.FLatitude_Minute > 0 || p_.FLatitude_Second > 0.0L) {
        latitudeChanged_ = true;
      }
    }
  }

  void Longitude(int index) {
    int degree = 0, minute = 0;
    long double second = 0.0L;
    const std::string_view field = Value(index, "");
    if (ExtractCoord(field, degree, minute, second) &&
        (degree != p_.FLongitude_Degree || minute != p_.FLongitude_Minute ||
         !CompareFloats(second, p_.FLongitude_Second))) {
      longitudeChanged_ = true;
      p_.FLongitude_Degree = degree;
      p_.FLongitude_Minute = minute;
      p_.FLongitude_Second = second;
      Real(field, p_.FLongitude);
    }
  }

  void EastWest(int index) {
    const std::string_view field = Value(index, "");
    if (field.empty()) {
      return;
    }
    const TCardinalPoint direction =
        Is(field, 'E') ? TCardinalPoint::cpEast : TCardinalPoint::cpWest;
    if (direction != p_.FLongitude_Direction) {
      p_.FLongitude_Direction = direction;
      if (p_.FLongitude_Degree > 0 || p_.FLongitude_Minute > 0 || p_.FLongitude_Second > 0.0L) {
        longitudeChanged_ = true;
      }
    }
  }

  void Time(int index) {
    std::uint16_t hour = 0, minute = 0, second = 0, millisecond = 0;
    if (ExtractUTCTime(Value(index, ""), hour, minute, second, millisecond)) {
      p_.FHour = hour;
      p_.FMinute = minute;
      p_.FSecond = second;
      p_.FMillisecond = millisecond;
    }
  }

  void FixStatus(std::string_view field) {
    if (Is(field, 'A')) {
      if (p_.FFix < 1) {
        p_.FFix = 1;
      }
    } else {
      p_.FFix = 0;
    }
  }

  static TDirection Steer(std::string_view field) {
    if (Is(field, 'L')) {
      return TDirection::dirLeft;
    }
    if (Is(field, 'R')) {
      return TDirection::dirRight;
    }
    return TDirection::dirForward;
  }

  // --- Kinds ---

  bool Zda() {
    Time(1);
    int value = 0;
    if (!ReadInteger(Value(2, "1"), value)) {
      return false;
    }
    p_.FDay = static_cast<std::uint16_t>(value);
    if (!ReadInteger(Value(3, "1"), value)) {
      return false;
    }
    p_.FMonth = static_cast<std::uint16_t>(value);
    if (!ReadInteger(Value(4, "1900"), value)) {
      return false;
    }
    p_.FYear = static_cast<std::uint16_t>(value);
    return true;
  }

  bool Gga() {
    Time(1);
    Latitude(2);
    NorthSouth(3);
    Longitude(4);
    EastWest(5);
    int quality = 0;
    p_.FFix = ReadInteger(Value(6, ""), quality) ? quality : -1;
    Unsigned16(Value(7, "0"), p_.FSatellite_Count);
    Real(Value(8, "-1"), p_.FHDOP);
    Compared(Value(9, "0"), p_.FAltitude, altitudeChanged_);
    Real(Value(11, "0"), p_.FGeo_Height);
    return true;
  }

  bool Gll() {
    Latitude(1);
    NorthSouth(2);
    Longitude(3);
    EastWest(4);
    Time(5);
    FixStatus(Value(6, "", true));
    return true;
  }

  bool Vtg() {
    Compared(Value(1, "0"), p_.FHeading, headingChanged_);
    Real(Value(3, "0"), p_.FMagnetic_Heading);
    Compared(Value(5, "0"), p_.FSpeed_Knots, speedChanged_);
    Real(Value(7, "0", true), p_.FSpeed_KMH);
    return true;
  }

  bool Rmc() {
    Time(1);
    FixStatus(Value(2, ""));
    Latitude(3);
    NorthSouth(4);
    Longitude(5);
    EastWest(6);
    bool speed = false;
    Compared(Value(7, "0"), p_.FSpeed_Knots, speed);
    if (speed) {
      speedChanged_ = true;
      p_.FSpeed_KMH = p_.FSpeed_Knots / 0.5397L;
    }
    Compared(Value(8, "0"), p_.FHeading, headingChanged_);
    std::uint16_t year = 0, month = 0, day = 0;
    if (ExtractUTCDate(Value(9, ""), year, month, day)) {
      p_.FYear = year;
      p_.FMonth = month;
      p_.FDay = day;
    }
    Real(Value(10, "0"), p_.FMagnetic_Variation);
    const std::string_view variation = Value(11, "", true);
    if (!variation.empty()) {
      p_.FMagnetic_Variation_Direction =
          Is(variation, 'E') ? TCardinalPoint::cpEast : TCardinalPoint::cpWest;
    }
    return true;
  }

  bool Gsa() {
    p_.FMode1 = Value(1, "") == "M" ? 2 : 1;
    Integer(Value(2, "0"), p_.FMode2);
    Real(Value(15, "-1"), p_.FPDOP);
    Real(Value(16, "-1"), p_.FHDOP);
    Real(Value(17, "-1", true), p_.FVDOP);
    return true;
  }

  bool Mss() {
    TReceiverStatus& status = *r_.FReceiverStatus;
    Real(Value(1, "0"), status.SignalStrength);
    Real(Value(2, "0"), status.SNR);
    Real(Value(3, "0"), status.Frequency);
    Real(Value(4, "0"), status.DataRate);
    return true;
  }

  bool Bwc() {
    TNavigationInfo& info = *r_.FNavigationInfo;
    Real(Value(6, "0"), info.TrueBearingToDestination);
    Real(Value(8, "0"), info.MagneticBearingToDestination);
    Real(Value(10, "-1"), info.RangeToDestination);
    info.Destination = std::string(Value(12, "", true));
    return true;
  }

  bool Rmb() {
    TNavigationInfo& info = *r_.FNavigationInfo;
    Real(Value(2, "0"), info.CrossTrackError);
    info.DirectionToSteer = Steer(Value(3, ""));
    info.Origin = std::string(Value(4, ""));
    info.Destination = std::string(Value(5, ""));
    arrivalName_ = info.Destination;
    Real(Value(10, "-1"), info.RangeToDestination);
    Real(Value(11, "0"), info.TrueBearingToDestination);
    Real(Value(12, "0"), info.VelocityTowardsDestination);
    if (Is(Value(13, "", true), 'A')) {
      arrival_ = true;
    }
    return true;
  }

  bool Xte() {
    TNavigationInfo& info = *r_.FNavigationInfo;
    Real(Value(3, "0"), info.CrossTrackError);
    info.DirectionToSteer = Steer(Value(4, ""));
    return true;
  }

  bool Aam() {
    const std::string_view entered = Value(1, "");
    const std::string_view passed = Value(2, "");
    Real(Value(3, "-1"), arrivalRadius_);
    const std::string_view units = Value(4, "");
    arrivalName_ = std::string(Value(5, "", true));
    if (Is(entered, 'A') && Is(passed, 'A') && Is(units, 'N')) {
      arrival_ = true;
    }
    return true;
  }

  // The text after the comma that ends field `index`; empty when absent.
  std::string_view AfterField(int index) const {
    const auto i = static_cast<std::size_t>(index);
    if (i >= commaCount_) {
      // Beyond the commas stored: find it the long way.
      std::size_t pos = 0;
      for (int n = 0; n <= index; ++n) {
        pos = s_.find(',', pos);
        if (pos == std::string_view::npos) {
          return {};
        }
        ++pos;
      }
      return s_.substr(pos);
    }
    return s_.substr(commas_[i] + 1);
  }

  // The text up to the next "," (rest moves past it), or absent.
  static std::string_view Take(std::string_view& rest) {
    const std::size_t comma = rest.find(',');
    const std::string_view piece = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    return piece;
  }

  static int BlockInteger(std::string_view field) {
    int value = 0;
    if (field.empty()) {
      return 0;
    }
    return ReadInteger(field, value) ? value : 0;
  }

  bool Gsv() {
    const std::string_view total = Value(1, "0");
    const std::string_view number = Value(2, "0");
    TSatellites& satellites = p_.FSatellites;
    int message = 0;
    const bool isInteger = ReadInteger(number, message);
    if (isInteger && message == 0) {
      satellites.Clear();
      return false;
    }
    if (!isInteger || message == 1) {
      satellites.Clear();
    }
    std::string_view rest = AfterField(3);
    while (CommasCount(rest) >= 3) {
      auto satellite = std::make_unique<TSatellite>();
      satellite->FPseudoRandomCode = BlockInteger(Take(rest));
      satellite->FElevation = BlockInteger(Take(rest));
      satellite->FAzimuth = BlockInteger(Take(rest));
      std::string_view snr;
      const std::size_t comma = rest.find(',');
      if (comma != std::string_view::npos) {
        snr = rest.substr(0, comma);
        rest = rest.substr(comma + 1);
      } else {
        const std::size_t star = rest.find('*');
        snr = star == std::string_view::npos ? std::string_view() : rest.substr(0, star);
        rest = {};
      }
      satellite->FSignalToNoiseRatio = BlockInteger(snr);
      // The list takes the satellite unless it holds that PRN already; the
      // event reports it either way, and one not taken is freed here.
      const TSatellite* reported = satellite.get();
      satellites.Add(satellite);
      if (r_.OnSatelliteReceive) {
        r_.OnSatelliteReceive(r_, *reported);
      }
    }
    if (!number.empty() && number == total && satellites.Count() > 0 && r_.OnSatellitesReceive) {
      r_.OnSatellitesReceive(r_);
    }
    return true;
  }

  static bool BlankAfterTrimming(std::string_view text) {
    for (const char c : text) {
      if (static_cast<unsigned char>(c) > 32) {
        return false;
      }
    }
    return true;
  }

  bool Wpl() {
    auto wayPoint = std::make_unique<TWayPoint>();
    int degree = 0, minute = 0;
    long double second = 0.0L;
    if (!ExtractCoord(Value(1, ""), degree, minute, second)) {
      return false;
    }
    wayPoint->SetLatitude_Degree(degree);
    wayPoint->SetLatitude_Minute(minute);
    wayPoint->SetLatitude_Second(second);
    const std::string_view northSouth = Value(2, "");
    if (!northSouth.empty()) {
      wayPoint->SetLatitude_Direction(Is(northSouth, 'N') ? TCardinalPoint::cpNorth
                                                          : TCardinalPoint::cpSouth);
    }
    if (!ExtractCoord(Value(3, ""), degree, minute, second)) {
      return false;
    }
    wayPoint->SetLongitude_Degree(degree);
    wayPoint->SetLongitude_Minute(minute);
    wayPoint->SetLongitude_Second(second);
    const std::string_view eastWest = Value(4, "");
    if (!eastWest.empty()) {
      wayPoint->SetLongitude_Direction(Is(eastWest, 'E') ? TCardinalPoint::cpEast
                                                         : TCardinalPoint::cpWest);
    }
    const std::string_view name = Value(5, "", true);
    if (BlankAfterTrimming(name)) {
      return false;
    }
    wayPoint->Name = std::string(name);
    TWayPoint* stored = wayPoint.get();
    if (!r_.FWayPoints->Add(wayPoint)) {
      return false;  // the list is full: like a rejected waypoint
    }
    if (r_.OnWayPointReceive) {
      r_.OnWayPointReceive(r_, *stored);
    }
    return true;
  }

  bool Rte() {
    const std::string_view total = Value(1, "0");
    const std::string_view number = Value(2, "0");
    TRoute& route = *r_.FActiveRoute;
    int message = 0;
    const bool isInteger = ReadInteger(number, message);
    if (isInteger && message == 0) {
      route.WayPoints.clear();
      return false;
    }
    if (!isInteger || message == 1) {
      route.WayPoints.clear();
    }
    route.Name = std::string(Value(4, "0"));
    if (Field(4)) {
      // The names run from after the comma that ends the route ID to the
      // "*" (none without one), followed by one ",".
      std::string_view rest = AfterField(4);
      const std::size_t star = rest.find('*');
      rest = star == std::string_view::npos ? std::string_view() : rest.substr(0, star);
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = rest.find(',', start);
        const std::string_view name = rest.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (!BlankAfterTrimming(name) && route.WayPoints.size() < TRoute::kMaxWayPoints) {
          route.WayPoints.emplace_back(name);
        }
        if (comma == std::string_view::npos) {
          break;
        }
        start = comma + 1;
      }
    }
    if (!number.empty() && number == total && !route.WayPoints.empty() && r_.OnActiveRouteReceive) {
      r_.OnActiveRouteReceive(r_);
    }
    return true;
  }

  bool Unknown() {
    if (r_.OnUnknownCommand) {
      r_.OnUnknownCommand(r_, std::string(s_));
    }
    return true;
  }

  bool Dispatch() {
    static constexpr std::array<Kind, 14> kKinds = {{
        {"ZDA", &Decoder::Zda},
        {"GGA", &Decoder::Gga},
        {"GLL", &Decoder::Gll},
        {"VTG", &Decoder::Vtg},
        {"RMC", &Decoder::Rmc},
        {"GSA", &Decoder::Gsa},
        {"MSS", &Decoder::Mss},
        {"BWC", &Decoder::Bwc},
        {"RMB", &Decoder::Rmb},
        {"XTE", &Decoder::Xte},
        {"AAM", &Decoder::Aam},
        {"GSV", &Decoder::Gsv},
        {"WPL", &Decoder::Wpl},
        {"RTE", &Decoder::Rte},
    }};
    if (!s_.empty() && s_[0] == '$' && s_.size() >= 6) {
      const std::string_view letters = s_.substr(3, 3);
      for (const Kind& kind : kKinds) {
        if (letters == kind.letters) {
          return (this->*kind.handler)();
        }
      }
    }
    return Unknown();
  }

  void Tail() {
    TRaxCustomGPSReceiver& r = r_;
    if (r.OnNewCommand) {
      r.OnNewCommand(r, std::string(s_));
    }
    if ((latitudeChanged_ || longitudeChanged_) && r.OnPosition2DChange) {
      r.OnPosition2DChange(r, r.GetLatitudeAsDecimalDegrees(), r.GetLongitudeAsDecimalDegrees());
    }
    if ((latitudeChanged_ || longitudeChanged_ || altitudeChanged_) && r.OnPosition3DChange) {
      r.OnPosition3DChange(r, r.GetLatitudeAsDecimalDegrees(), r.GetLongitudeAsDecimalDegrees(),
                           p_.FAltitude);
    }
    if (latitudeChanged_ && r.OnLatitudeChange) {
      r.OnLatitudeChange(r, p_.FLatitude_Degree, p_.FLatitude_Minute, p_.FLatitude_Second,
                         p_.FLatitude_Direction);
    }
    if (longitudeChanged_ && r.OnLongitudeChange) {
      r.OnLongitudeChange(r, p_.FLongitude_Degree, p_.FLongitude_Minute, p_.FLongitude_Second,
                          p_.FLongitude_Direction);
    }
    if (altitudeChanged_ && r.OnAltitudeChange) {
      r.OnAltitudeChange(r, p_.FAltitude);
    }
    if (speedChanged_ && r.OnSpeedChange) {
      r.OnSpeedChange(r, p_.FSpeed_KMH);
    }
    if (headingChanged_ && r.OnHeadingChange) {
      r.OnHeadingChange(r, p_.FHeading);
    }
    if (arrival_ && r.OnArrival) {
      r.OnArrival(r, r.FWayPoints->GetByName(arrivalName_), arrivalRadius_);
    }
  }

  TRaxCustomGPSReceiver& r_;
  TGPSPosition& p_;
  std::string_view s_;
  std::array<std::size_t, kCommas> commas_{};
  std::size_t commaCount_ = 0;

  bool latitudeChanged_ = false;
  bool longitudeChanged_ = false;
  bool altitudeChanged_ = false;
  bool speedChanged_ = false;
  bool headingChanged_ = false;
  bool arrival_ = false;
  std::string arrivalName_;
  long double arrivalRadius_ = 0.0L;
};

}  // namespace internal

void TRaxCustomGPSReceiver::ExtractPosition(std::string_view strNMEA) {
  internal::Decoder(*this, strNMEA).Run();
}

}  // namespace halvex::nmea
