// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Records every event of a receiver as one short text, in firing order.

#include <cstdio>
#include <string>
#include <vector>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/NmeaText.hpp"

namespace halvex::nmea::test {

inline std::string Num(long double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10Lg", v);
  return text;
}

// A sentence with its checksum and CR LF.
inline std::string Sentence(const std::string& body) {
  return AddCrLfToNMEA(AddCheckSumToNMEA(body));
}

class EventRecorder {
 public:
  explicit EventRecorder(TRaxCustomGPSReceiver& r) {
    r.OnReceive = [this](auto&, const std::string& b) { Add("Receive " + b); };
    r.OnNewCommand = [this](auto&, const std::string& c) { Add("NewCommand " + c); };
    r.OnUnknownCommand = [this](auto&, const std::string& c) { Add("UnknownCommand " + c); };
    r.OnPosition2DChange = [this](auto&, long double lat, long double lon) {
      Add("Position2DChange " + Num(lat) + " " + Num(lon));
    };
    r.OnPosition3DChange = [this](auto&, long double lat, long double lon, long double alt) {
      Add("Position3DChange " + Num(lat) + " " + Num(lon) + " " + Num(alt));
    };
    r.OnLatitudeChange = [this](auto&, int d, int m, long double s, TCardinalPoint dir) {
      Add("LatitudeChange " + std::to_string(d) + " " + std::to_string(m) + " " + Num(s) + " " +
          CardinalPointName(dir));
    };
    r.OnLongitudeChange = [this](auto&, int d, int m, long double s, TCardinalPoint dir) {
      Add("LongitudeChange " + std::to_string(d) + " " + std::to_string(m) + " " + Num(s) + " " +
          CardinalPointName(dir));
    };
    r.OnAltitudeChange = [this](auto&, long double v) { Add("AltitudeChange " + Num(v)); };
    r.OnSpeedChange = [this](auto&, long double v) { Add("SpeedChange " + Num(v)); };
    r.OnHeadingChange = [this](auto&, long double v) { Add("HeadingChange " + Num(v)); };
    r.OnSatelliteReceive = [this](auto&, const TSatellite& s) {
      Add("SatelliteReceive " + std::to_string(s.PseudoRandomCode()) + " " +
          std::to_string(s.Elevation()) + " " + std::to_string(s.Azimuth()) + " " +
          std::to_string(s.SignalToNoiseRatio()));
    };
    r.OnSatellitesReceive = [this](auto&) { Add("SatellitesReceive"); };
    r.OnWayPointReceive = [this](auto&, const TWayPoint& w) { Add("WayPointReceive " + w.Name); };
    r.OnActiveRouteReceive = [this](auto&) { Add("ActiveRouteReceive"); };
    r.OnArrival = [this](auto&, const TWayPoint* w, long double radius) {
      Add("Arrival " + (w != nullptr ? w->Name : std::string("nil")) + " " + Num(radius));
    };
    r.OnLogError = [this](auto&, const std::string& m) { Add("LogError " + m); };
  }

  // The events recorded since the last call, and forget them.
  std::vector<std::string> Take() {
    std::vector<std::string> taken;
    taken.swap(events_);
    return taken;
  }

  // Names only (the first word of each event).
  std::vector<std::string> TakeNames() {
    std::vector<std::string> names;
    for (const std::string& e : Take()) {
      names.push_back(e.substr(0, e.find(' ')));
    }
    return names;
  }

 private:
  void Add(std::string event) { events_.push_back(std::move(event)); }
  std::vector<std::string> events_;
};

}  // namespace halvex::nmea::test
