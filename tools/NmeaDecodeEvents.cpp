// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/NmeaDecodeEvents.hpp"

#include <ostream>

#include "nmea/DateTime.hpp"
#include "nmea/GpsModel.hpp"
#include "tools/NmeaDecode.hpp"

namespace halvex::tools::nmea_decode {

void EventWriter::AssignHandlers() {
  using Receiver = n::TRaxCustomGPSReceiver;
  auto& r = receiver_;
  if (s_.receive) {
    r.OnReceive = [this](Receiver&, const std::string& buffer) {
      Event("Receive");
      Field("Buffer", buffer);
      json_.EndEvent();
    };
  }
  r.OnSend = [this](Receiver&, const std::string& buffer) {
    Event("Send");
    Field("Buffer", buffer);
    json_.EndEvent();
  };
  const auto coordinate = [this](const char* event) {
    return [this, event](Receiver&, int degree, int minute, long double second,
                         n::TCardinalPoint direction) {
      Event(event);
      json_.Key("Degree");
      json_.Integer(degree);
      json_.Key("Minute");
      json_.Integer(minute);
      json_.Key("Second");
      json_.Real(second);
      json_.Key("Direction");
      json_.Name(n::CardinalPointName(direction));
      json_.EndEvent();
    };
  };
  r.OnLatitudeChange = coordinate("LatitudeChange");
  r.OnLongitudeChange = coordinate("LongitudeChange");
  const auto parameter = [this](const char* event) {
    return [this, event](Receiver&, long double value) {
      Event(event);
      json_.Key("Value");
      json_.Real(value);
      json_.EndEvent();
    };
  };
  r.OnAltitudeChange = parameter("AltitudeChange");
  r.OnSpeedChange = parameter("SpeedChange");
  r.OnHeadingChange = parameter("HeadingChange");
  r.OnPosition2DChange = [this](Receiver&, long double latitude, long double longitude) {
    Event("Position2DChange");
    json_.Key("Latitude");
    json_.Real(latitude);
    json_.Key("Longitude");
    json_.Real(longitude);
    json_.EndEvent();
  };
  r.OnPosition3DChange = [this](Receiver&, long double latitude, long double longitude,
                                long double altitude) {
    Event("Position3DChange");
    json_.Key("Latitude");
    json_.Real(latitude);
    json_.Key("Longitude");
    json_.Real(longitude);
    json_.Key("Altitude");
    json_.Real(altitude);
    json_.EndEvent();
  };
  r.OnSatelliteReceive = [this](Receiver&, const n::TSatellite& satellite) {
    Event("SatelliteReceive");
    json_.Key("Satellite");
    json_.BeginObject();
    json_.Key("PseudoRandomCode");
    json_.Integer(satellite.PseudoRandomCode());
    json_.Key("Elevation");
    json_.Integer(satellite.Elevation());
    json_.Key("Azimuth");
    json_.Integer(satellite.Azimuth());
    json_.Key("SignalToNoiseRatio");
    json_.Integer(satellite.SignalToNoiseRatio());
    json_.EndObject();
    json_.EndEvent();
  };
  const auto notify = [this](const char* event) {
    return [this, event](Receiver&) {
      Event(event);
      json_.EndEvent();
    };
  };
  r.OnSatellitesReceive = notify("SatellitesReceive");
  r.OnActiveRouteReceive = notify("ActiveRouteReceive");
  r.OnArrival = [this](Receiver&, const n::TWayPoint* wayPoint, long double circleRadius) {
    Event("Arrival");
    json_.Key("WayPoint");
    if (wayPoint != nullptr) {
      WayPoint(*wayPoint);
    } else {
      json_.Null();
    }
    json_.Key("CircleRadius");
    json_.Real(circleRadius);
    json_.EndEvent();
  };
  const auto command = [this](const char* event) {
    return [this, event](Receiver&, const std::string& text) {
      Event(event);
      Field("Command", text);
      json_.EndEvent();
    };
  };
  r.OnUnknownCommand = command("UnknownCommand");
  r.OnNewCommand = command("NewCommand");
  r.OnWayPointReceive = [this](Receiver&, const n::TWayPoint& wayPoint) {
    Event("WayPointReceive");
    json_.Key("WayPoint");
    WayPoint(wayPoint);
    json_.EndEvent();
  };
  r.OnLogError = [this](Receiver&, const std::string& message) {
    logFailed_ = true;
    Event("LogError");
    Field("Message", message);
    json_.EndEvent();
  };
}

void EventWriter::Event(std::string_view name) { json_.BeginEvent(name); }
// One key and its value: a real, a whole number, a cardinal point or a text.
template <typename T>
void EventWriter::Field(std::string_view key, const T& value) {
  json_.Key(key);
  if constexpr (std::is_same_v<T, n::TCardinalPoint>) {
    json_.Name(n::CardinalPointName(value));
  } else if constexpr (std::is_floating_point_v<T>) {
    json_.Real(value);
  } else if constexpr (std::is_integral_v<T>) {
    json_.Integer(value);
  } else {
    json_.Text(value);
  }
}

void EventWriter::WayPoint(const n::TWayPoint& w) {
  json_.BeginObject();
  Field("Name", w.Name);
  Field("Latitude_Degree", w.Latitude_Degree());
  Field("Latitude_Minute", w.Latitude_Minute());
  Field("Latitude_Second", w.Latitude_Second());
  Field("Latitude_Direction", w.Latitude_Direction());
  Field("Longitude_Degree", w.Longitude_Degree());
  Field("Longitude_Minute", w.Longitude_Minute());
  Field("Longitude_Second", w.Longitude_Second());
  Field("Longitude_Direction", w.Longitude_Direction());
  json_.EndObject();
}

void EventWriter::WriteState() {
  const n::TRaxCustomGPSReceiver& r = receiver_;
  const n::TGPSPosition& p = r.Position();
  Event("State");
  json_.Key("Position");
  json_.BeginObject();
  Field("FLatitude", p.FLatitude);
  Field("FLongitude", p.FLongitude);
  Field("Latitude_Degree", p.Latitude_Degree());
  Field("Latitude_Minute", p.Latitude_Minute());
  Field("Latitude_Second", p.Latitude_Second());
  Field("Latitude_Direction", p.Latitude_Direction());
  Field("Longitude_Degree", p.Longitude_Degree());
  Field("Longitude_Minute", p.Longitude_Minute());
  Field("Longitude_Second", p.Longitude_Second());
  Field("Longitude_Direction", p.Longitude_Direction());
  Field("Altitude", p.Altitude());
  Field("Heading", p.Heading());
  Field("Speed_Knots", p.Speed_Knots());
  Field("Speed_KMH", p.Speed_KMH());
  Field("Magnetic_Variation", p.Magnetic_Variation());
  Field("Magnetic_Variation_Direction", p.Magnetic_Variation_Direction());
  Field("Magnetic_Heading", p.Magnetic_Heading());
  Field("Day", p.Day());
  Field("Month", p.Month());
  Field("Year", p.Year());
  Field("Hour", p.Hour());
  Field("Minute", p.Minute());
  Field("Second", p.Second());
  Field("Millisecond", p.Millisecond());
  Field("Satellite_Count", p.Satellite_Count());
  Field("PDOP", p.PDOP());
  Field("HDOP", p.HDOP());
  Field("VDOP", p.VDOP());
  Field("Geo_Height", p.Geo_Height());
  Field("Fix", p.Fix());
  Field("Mode1", p.Mode1());
  Field("Mode2", p.Mode2());
  Field("LatitudeAsDecimalDegrees", r.GetLatitudeAsDecimalDegrees());
  Field("LongitudeAsDecimalDegrees", r.GetLongitudeAsDecimalDegrees());
  json_.Key("DateTime");
  const n::TDateTime dateTime = r.GetUTCDateTime();
  if (dateTime != 0.0) {
    json_.Text(n::DateTimeToIso(dateTime));
  } else {
    json_.Null();
  }
  Field("SatellitesInList", p.Satellites().Count());
  json_.EndObject();

  const n::TReceiverStatus& status = r.GetReceiverStatus();
  json_.Key("ReceiverStatus");
  json_.BeginObject();
  Field("SignalStrength", status.SignalStrength);
  Field("SNR", status.SNR);
  Field("Frequency", status.Frequency);
  Field("DataRate", status.DataRate);
  json_.EndObject();

  const n::TNavigationInfo& navigation = r.GetNavigationInfo();
  json_.Key("NavigationInfo");
  json_.BeginObject();
  Field("Origin", navigation.Origin);
  Field("Destination", navigation.Destination);
  Field("RangeToDestination", navigation.RangeToDestination);
  Field("TrueBearingToDestination", navigation.TrueBearingToDestination);
  Field("MagneticBearingToDestination", navigation.MagneticBearingToDestination);
  Field("VelocityTowardsDestination", navigation.VelocityTowardsDestination);
  Field("CrossTrackError", navigation.CrossTrackError);
  json_.Key("DirectionToSteer");
  json_.Name(n::DirectionName(navigation.DirectionToSteer));
  json_.EndObject();

  json_.Key("WayPoints");
  json_.BeginArray();
  n::TWayPoints& wayPoints = receiver_.WayPoints();
  for (int i = 0; i < wayPoints.Count(); ++i) {
    json_.Text(wayPoints.GetItem(i)->Name);
  }
  json_.EndArray();

  const n::TRoute& route = receiver_.ActiveRoute();
  json_.Key("ActiveRoute");
  json_.BeginObject();
  Field("Name", route.Name);
  json_.Key("WayPoints");
  json_.BeginArray();
  for (const std::string& name : route.WayPoints) {
    json_.Text(name);
  }
  json_.EndArray();
  json_.EndObject();
  json_.EndEvent();
}

int ReportLogFailure(const Settings& s, std::ostream& err) {
  err << kProgram << ": the raw log " << s.logFile.value_or("") << " could not be written"
      << " (see the LogError events)\n";
  return kNmeaDecodeUnreadable;
}

}  // namespace halvex::tools::nmea_decode
