// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The NMEA 0183 receiver component without its serial port: feed it text
// in chunks of any size (FeedGPSReceiver) and it frames the sentences,
// checks checksum and kind, writes the raw log, decodes fourteen sentence
// kinds into its data model and fires its events, in a fixed order:
// per sentence the kind's own events, then OnNewCommand, the position,
// latitude, longitude, altitude, speed and heading changes and the arrival;
// after the chunk OnReceive. An event fires only when it is assigned.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nmea/GpsModel.hpp"
#include "nmea/GpsTypes.hpp"

namespace halvex::platform {
class Clock;
}

namespace halvex::nmea {

class TRaxCustomGPSReceiver;

using TNotifyEvent = std::function<void(TRaxCustomGPSReceiver& Sender)>;
using TSendReceiveEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, const std::string& Buffer)>;
using TParamChangeEvent = std::function<void(TRaxCustomGPSReceiver& Sender, long double Value)>;
using TPositionChangeEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, int Degree, int Minute, long double Second,
                       TCardinalPoint Direction)>;
using TShortPositionChangeEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, long double Latitude, long double Longitude)>;
using TShortPosition3DChangeEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, long double Latitude, long double Longitude,
                       long double Altitude)>;
using TCommandEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, const std::string& Command)>;
using TSatelliteReceiveEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, const TSatellite& Satellite)>;
using TWayPointReceiveEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, const TWayPoint& WayPoint)>;
// WayPoint is null when no stored waypoint has the arrival name.
using TArrivalEvent = std::function<void(TRaxCustomGPSReceiver& Sender, const TWayPoint* WayPoint,
                                         long double CircleRadius)>;
// Message names the log file and the system's reason.
using TLogErrorEvent =
    std::function<void(TRaxCustomGPSReceiver& Sender, const std::string& Message)>;

namespace internal {
class Decoder;
}

class TRaxCustomGPSReceiver {
 public:
  // Unterminated text kept between chunks is limited to this many
  // characters; a longer remainder is dropped up to its next "$". For the
  // same reason a "$" followed by this many characters or more before its
  // CR LF starts no sentence, so framing does not depend on the chunking.
  static constexpr std::size_t kMaxDelayedData = 4096;

  // `clock` gives the date and time of raw-log lines (null: the system's
  // local time); it must outlive the receiver.
  explicit TRaxCustomGPSReceiver(const platform::Clock* clock = nullptr);
  virtual ~TRaxCustomGPSReceiver();
  TRaxCustomGPSReceiver(const TRaxCustomGPSReceiver&) = delete;
  TRaxCustomGPSReceiver& operator=(const TRaxCustomGPSReceiver&) = delete;

  // --- Owned state ---
  TGPSPosition& Position() { return *FPosition; }
  const TGPSPosition& Position() const { return *FPosition; }
  TGPSPosition& GetPosition() { return *FPosition; }
  TReceiverStatus& ReceiverStatus() { return *FReceiverStatus; }
  TNavigationInfo& NavigationInfo() { return *FNavigationInfo; }
  TWayPoints& WayPoints() { return *FWayPoints; }
  TRoute& ActiveRoute() { return *FActiveRoute; }
  double Version() const { return FVersion; }

  // --- Settings ---
  bool ForceCheckSum() const { return FForceCheckSum; }
  void SetForceCheckSum(bool value) { FForceCheckSum = value; }
  bool NMEALog() const { return FNMEALog; }
  void SetNMEALog(bool value) { FNMEALog = value; }
  bool LogDateTime() const { return FLogDateTime; }
  void SetLogDateTime(bool value) { FLogDateTime = value; }
  const std::string& LogFile() const { return FLogFile; }
  void SetLogFile(std::string value) { FLogFile = std::move(value); }
  TNMEACommands Commands() const { return FCommands; }
  void SetCommands(TNMEACommands value) { FCommands = value; }

  // --- Events ---
  TSendReceiveEvent OnReceive;
  TSendReceiveEvent OnSend;
  TPositionChangeEvent OnLatitudeChange;
  TPositionChangeEvent OnLongitudeChange;
  TParamChangeEvent OnAltitudeChange;
  TParamChangeEvent OnSpeedChange;
  TParamChangeEvent OnHeadingChange;
  TShortPositionChangeEvent OnPosition2DChange;
  TShortPosition3DChangeEvent OnPosition3DChange;
  TSatelliteReceiveEvent OnSatelliteReceive;
  TNotifyEvent OnSatellitesReceive;
  TArrivalEvent OnArrival;
  TCommandEvent OnUnknownCommand;
  TCommandEvent OnNewCommand;
  TWayPointReceiveEvent OnWayPointReceive;
  TNotifyEvent OnActiveRouteReceive;
  // Fired when raw-log writing starts failing, and again only after a
  // write has succeeded in between.
  TLogErrorEvent OnLogError;

  // --- Reset operations ---
  void ResetPosition() { FPosition->Reset(); }
  void ResetNavigationInfo() { FNavigationInfo->Reset(); }
  void ResetReceiverStatus() { FReceiverStatus->Reset(); }
  void ClearWayPoints() { FWayPoints->Clear(); }
  void ResetActiveRoute() { FActiveRoute->WayPoints.clear(); }
  // The last chunk passed to FeedGPSReceiver.
  const std::string& GetRawData() const { return FData; }
  // The unterminated sentence kept for the next chunk.
  const std::string& GetDelayedData() const { return FDelayedData; }

  // --- Accessors of the current position ---
  int GetLatitudeDegree() const { return FPosition->Latitude_Degree(); }
  int GetLatitudeMinute() const { return FPosition->Latitude_Minute(); }
  long double GetLatitudeSecond() const { return FPosition->Latitude_Second(); }
  TCardinalPoint GetLatitudeDirection() const { return FPosition->Latitude_Direction(); }
  int GetLongitudeDegree() const { return FPosition->Longitude_Degree(); }
  int GetLongitudeMinute() const { return FPosition->Longitude_Minute(); }
  long double GetLongitudeSecond() const { return FPosition->Longitude_Second(); }
  TCardinalPoint GetLongitudeDirection() const { return FPosition->Longitude_Direction(); }
  void GetLatitudeParams(int& degree, int& minute, long double& second,
                         TCardinalPoint& direction) const;
  void GetLongitudeParams(int& degree, int& minute, long double& second,
                          TCardinalPoint& direction) const;
  std::uint16_t GetSatelliteCount() const { return FPosition->Satellite_Count(); }
  const TSatellites& GetSatellites() const { return FPosition->Satellites(); }
  long double GetAltitude() const { return FPosition->Altitude(); }
  long double GetSpeed_KMH() const { return FPosition->Speed_KMH(); }
  long double GetSpeed_Knots() const { return FPosition->Speed_Knots(); }
  long double GetHeading() const { return FPosition->Heading(); }
  long double GetMagnetic_Heading() const { return FPosition->Magnetic_Heading(); }
  long double GetPDOP() const { return FPosition->PDOP(); }
  long double GetHDOP() const { return FPosition->HDOP(); }
  long double GetVDOP() const { return FPosition->VDOP(); }
  long double GetGeo_Height() const { return FPosition->Geo_Height(); }
  int IsFix() const { return FPosition->Fix(); }
  int GetMode1() const { return FPosition->Mode1(); }
  int GetMode2() const { return FPosition->Mode2(); }
  const TReceiverStatus& GetReceiverStatus() const { return *FReceiverStatus; }
  const TNavigationInfo& GetNavigationInfo() const { return *FNavigationInfo; }

  // Signed decimal degrees (south and west negative).
  long double GetLatitudeAsDecimalDegrees() const;
  long double GetLongitudeAsDecimalDegrees() const;
  long double GetLatitudeAsRadians() const;
  long double GetLongitudeAsRadians() const;
  // The received ddmm.mmmm value, negated for south or west.
  long double GetLatitudeAsDM() const;
  long double GetLongitudeAsDM() const;
  // The variation, negated unless east.
  long double GetMagnetic_Variation() const;
  TDateTime GetUTCDateTime() const { return FPosition->DateTime(); }
  // The fix's UTC date and time in the local time zone; 0 when invalid.
  TDateTime GetLocalDateTime() const;

  // --- Framing and decoding ---
  // Entry point for received text: frames and decodes every complete
  // sentence, then fires OnReceive with the chunk. Empty text does nothing.
  void FeedGPSReceiver(std::string_view strNMEA);
  void ParseNMEA(std::string_view text);
  // The accepted sentences of a chunk (without CR LF), in order; keeps an
  // unterminated remainder for the next chunk and logs accepted sentences.
  std::vector<std::string> ExtractCommands(std::string_view text);
  bool IsValidCommand(std::string_view strNMEA) const;
  // Appends one line to the raw log; throws EGPSError("Invalid log file
  // name or access denied.") when it cannot.
  void WriteLog(std::string_view text);
  // Decodes one accepted sentence into the data model and fires its events.
  // Virtual so that a host can observe the state after each sentence.
  virtual void ExtractPosition(std::string_view strNMEA);

 protected:
  // True when the rest of the text being fed must not be decoded (the
  // connection it came from is closing): the remaining sentences of the
  // chunk are passed over, and OnReceive does not fire for it.
  virtual bool DecodingStopped() const { return false; }

 private:
  friend class internal::Decoder;

  std::unique_ptr<TGPSPosition> FPosition;
  std::string FData;
  std::string FDelayedData;
  std::unique_ptr<TReceiverStatus> FReceiverStatus;
  std::unique_ptr<TNavigationInfo> FNavigationInfo;
  bool FForceCheckSum = true;
  bool FNMEALog = false;
  bool FLogDateTime = false;
  std::string FLogFile;
  TNMEACommands FCommands = TNMEACommands::All();
  std::unique_ptr<TWayPoints> FWayPoints;
  std::unique_ptr<TRoute> FActiveRoute;
  double FVersion = 1.0;

  const platform::Clock* clock_;
  bool logFailing_ = false;  // the last raw-log write failed
};

}  // namespace halvex::nmea
