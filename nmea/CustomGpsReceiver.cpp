// SPDX-License-Identifier: GPL-3.0-or-later
#include "nmea/CustomGpsReceiver.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "nmea/NmeaText.hpp"
#include "platform/Clock.hpp"
#include "platform/DateTimeText.hpp"

namespace halvex::nmea {
namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

long double Signed(long double magnitude, bool negative) {
  return negative ? -magnitude : magnitude;
}

long double DecimalDegrees(int degree, int minute, long double second) {
  return degree + minute / 60.0L + second / 3600.0L;
}

const platform::Clock& SystemClock() {
  static const platform::SystemClock clock;
  return clock;
}

// Appends one line to a file: one open and close, the folder created when
// missing. Empty on success, else the system's reason.
std::string AppendLine(const std::string& file, std::string_view line) {
  if (file.empty()) {
    return "no log file name";
  }
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(file).parent_path();
  if (!parent.empty() && !std::filesystem::exists(parent, ec)) {
    std::filesystem::create_directories(parent, ec);
  }
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    return std::strerror(errno);
  }
  std::string reason;
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      reason = std::strerror(errno);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && reason.empty()) {
    reason = std::strerror(errno);
  }
  return reason;
}

}  // namespace

TRaxCustomGPSReceiver::TRaxCustomGPSReceiver(const platform::Clock* clock)
    : FPosition(std::make_unique<TGPSPosition>()),
      FReceiverStatus(std::make_unique<TReceiverStatus>()),
      FNavigationInfo(std::make_unique<TNavigationInfo>()),
      FWayPoints(std::make_unique<TWayPoints>()),
      FActiveRoute(std::make_unique<TRoute>()),
      clock_(clock != nullptr ? clock : &SystemClock()) {}

TRaxCustomGPSReceiver::~TRaxCustomGPSReceiver() = default;

void TRaxCustomGPSReceiver::GetLatitudeParams(int& degree, int& minute, long double& second,
                                              TCardinalPoint& direction) const {
  degree = GetLatitudeDegree();
  minute = GetLatitudeMinute();
  second = GetLatitudeSecond();
  direction = GetLatitudeDirection();
}

void TRaxCustomGPSReceiver::GetLongitudeParams(int& degree, int& minute, long double& second,
                                               TCardinalPoint& direction) const {
  degree = GetLongitudeDegree();
  minute = GetLongitudeMinute();
  second = GetLongitudeSecond();
  direction = GetLongitudeDirection();
}

long double TRaxCustomGPSReceiver::GetLatitudeAsDecimalDegrees() const {
  const TGPSPosition& p = *FPosition;
  return Signed(DecimalDegrees(p.Latitude_Degree(), p.Latitude_Minute(), p.Latitude_Second()),
                p.Latitude_Direction() == TCardinalPoint::cpSouth);
}

long double TRaxCustomGPSReceiver::GetLongitudeAsDecimalDegrees() const {
  const TGPSPosition& p = *FPosition;
  return Signed(DecimalDegrees(p.Longitude_Degree(), p.Longitude_Minute(), p.Longitude_Second()),
                p.Longitude_Direction() == TCardinalPoint::cpWest);
}

long double TRaxCustomGPSReceiver::GetLatitudeAsRadians() const {
  return GetLatitudeAsDecimalDegrees() * kPi / 180.0L;
}

long double TRaxCustomGPSReceiver::GetLongitudeAsRadians() const {
  return GetLongitudeAsDecimalDegrees() * kPi / 180.0L;
}

long double TRaxCustomGPSReceiver::GetLatitudeAsDM() const {
  return Signed(FPosition->FLatitude, FPosition->Latitude_Direction() == TCardinalPoint::cpSouth);
}

long double TRaxCustomGPSReceiver::GetLongitudeAsDM() const {
  return Signed(FPosition->FLongitude, FPosition->Longitude_Direction() == TCardinalPoint::cpWest);
}

long double TRaxCustomGPSReceiver::GetMagnetic_Variation() const {
  return Signed(FPosition->Magnetic_Variation(),
                FPosition->Magnetic_Variation_Direction() != TCardinalPoint::cpEast);
}

TDateTime TRaxCustomGPSReceiver::GetLocalDateTime() const {
  const TGPSPosition& p = *FPosition;
  const TDateTime utc = p.DateTime();
  if (utc == 0.0) {
    return 0.0;
  }
  // The offset of the local time zone at that instant (standard or
  // daylight time, as the zone rules say then).
  std::tm parts{};
  parts.tm_year = p.Year() - 1900;
  parts.tm_mon = p.Month() - 1;
  parts.tm_mday = p.Day();
  parts.tm_hour = p.Hour();
  parts.tm_min = p.Minute();
  parts.tm_sec = p.Second();
  const std::time_t instant = ::timegm(&parts);
  std::tm local{};
  if (instant == static_cast<std::time_t>(-1) || ::localtime_r(&instant, &local) == nullptr) {
    return 0.0;
  }
  return utc + static_cast<double>(local.tm_gmtoff) / 86400.0;
}

void TRaxCustomGPSReceiver::FeedGPSReceiver(std::string_view strNMEA) {
  if (strNMEA.empty()) {
    return;
  }
  FData.assign(strNMEA);
  ParseNMEA(FData);
  if (OnReceive && !DecodingStopped()) {
    OnReceive(*this, FData);
  }
}

void TRaxCustomGPSReceiver::ParseNMEA(std::string_view text) {
  for (const std::string& sentence : ExtractCommands(text)) {
    if (DecodingStopped()) {
      return;
    }
    ExtractPosition(sentence);
  }
}

std::vector<std::string> TRaxCustomGPSReceiver::ExtractCommands(std::string_view text) {
  std::vector<std::string> sentences;
  std::string s;
  s.reserve(FDelayedData.size() + text.size());
  s += FDelayedData;
  s += text;
  FDelayedData.clear();
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t d = s.find('$', pos);
    if (d == std::string::npos) {
      break;  // no sentence start: the rest is discarded
    }
    const std::size_t e = s.find("\r\n", pos);
    if (e == std::string::npos) {
      // A sentence started but not ended: kept for the next chunk, at
      // most kMaxDelayedData characters; a longer remainder is dropped
      // up to its next "$".
      std::size_t start = d;
      while (start != std::string::npos && s.size() - start > kMaxDelayedData) {
        start = s.find('$', start + 1);
      }
      if (start != std::string::npos) {
        FDelayedData.assign(s, start, std::string::npos);
      }
      break;
    }
    if (d < e) {
      if (e - d + 1 > kMaxDelayedData) {
        // The same bound as for a kept remainder (the sentence with its
        // CR): such a "$" starts no sentence, whatever the chunking.
        pos = d + 1;
        continue;
      }
      std::string sentence = s.substr(d, e - d);
      if (IsValidCommand(sentence)) {
        sentences.push_back(std::move(sentence));
        if (FNMEALog) {
          // A line that cannot be written is reported (OnLogError) and
          // the stream goes on: losing the log must not lose the fixes.
          try {
            WriteLog(sentences.back());
          } catch (const EGPSError&) {
          }
        }
      }
      pos = e + 2;
    } else {
      pos = d;  // a line end before the "$": the text before it is dropped
    }
  }
  return sentences;
}

bool TRaxCustomGPSReceiver::IsValidCommand(std::string_view strNMEA) const {
  if (FForceCheckSum && !IsCheckSumOk(strNMEA)) {
    return false;
  }
  if (strNMEA.empty() || strNMEA[0] != '$') {
    return false;
  }
  if (FCommands.Contains(TNMEACommand::AllNMEA)) {
    return true;
  }
  if (strNMEA.size() < 6) {
    return false;
  }
  struct Kind {
    const char* letters;
    TNMEACommand member;
  };
  static constexpr Kind kKinds[] = {
      {"GLL", TNMEACommand::GPGLL}, {"GGA", TNMEACommand::GPGGA}, {"VTG", TNMEACommand::GPVTG},
      {"RMC", TNMEACommand::GPRMC}, {"GSA", TNMEACommand::GPGSA}, {"GSV", TNMEACommand::GPGSV},
      {"ZDA", TNMEACommand::GPZDA}, {"MSS", TNMEACommand::GPMSS}, {"AAM", TNMEACommand::GPAAM},
      {"RMB", TNMEACommand::GPRMB}, {"BWC", TNMEACommand::GPBWC}, {"WPL", TNMEACommand::GPWPL},
      {"RTE", TNMEACommand::GPRTE}, {"XTE", TNMEACommand::GPXTE},
  };
  const std::string_view letters = strNMEA.substr(3, 3);
  for (const Kind& kind : kKinds) {
    if (letters == kind.letters) {
      return FCommands.Contains(kind.member);
    }
  }
  return false;
}

void TRaxCustomGPSReceiver::WriteLog(std::string_view text) {
  std::string line;
  if (FLogDateTime) {
    const platform::LocalDateTime now = clock_->Now();
    line = platform::ShortDateText(now);
    line += ' ';
    line += platform::LongTimeText(now);
    line += ' ';
  }
  line += text;
  line += "\r\n";
  const std::string reason = AppendLine(FLogFile, line);
  if (reason.empty()) {
    logFailing_ = false;
    return;
  }
  if (!logFailing_) {
    logFailing_ = true;
    if (OnLogError) {
      OnLogError(*this, "Cannot write the raw log '" + FLogFile + "': " + reason);
    }
  }
  throw EGPSError("Invalid log file name or access denied.");
}

}  // namespace halvex::nmea
