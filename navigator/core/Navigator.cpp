// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/core/Navigator.hpp"

#include <utility>

namespace halvex::navigator {

Navigator::Navigator(ChartPort& chart, NavView& view, appkit::Dialogs& dialogs,
                     appkit::MessageBoard& messages, const std::filesystem::path& iniFile,
                     const platform::Clock& clock, platform::Environment env, ReceiverPorts ports)
    : RGPS1(ports.opener, ports.lister, &clock),
      RSENSOR(ports.opener, ports.lister, &clock),
      chart_(chart),
      view_(view),
      dialogs_(dialogs),
      messages_(messages),
      ini_(iniFile),
      clock_(clock),
      env_(std::move(env)) {}

Navigator::~Navigator() = default;

void Navigator::RGPS1Position3DChange(long double /*latitude*/, long double /*longitude*/, long double /*altitude*/) {}
void Navigator::RGPS1SpeedChange(long double /*kmPerHour*/) {}
void Navigator::RGPS1NewCommand(const std::string& /*command*/) {}
void Navigator::RGPS1Connect(nmea::TCommPort /*port*/) {}
void Navigator::RGPS1Disconnect(nmea::TCommPort /*port*/) {}
void Navigator::RGPS1Idle() {}
void Navigator::RGPS1Timeout() {}
void Navigator::RGPS1LogError(const std::string& /*message*/) {}
void Navigator::RSENSORNewCommand(const std::string& /*command*/) {}
void Navigator::RSENSORConnect(nmea::TCommPort /*port*/) {}
void Navigator::RSENSORDisconnect(nmea::TCommPort /*port*/) {}
void Navigator::RSENSORIdle() {}
void Navigator::RSENSORTimeout() {}
void Navigator::RSENSORLogError(const std::string& /*message*/) {}
void Navigator::FormCreate() {}
void Navigator::FormShow() {}
CloseOutcome Navigator::FormCloseQuery(bool /*warn*/) { return {}; }
void Navigator::RealtimeClick() {}
void Navigator::DisconnectIconClick() {}
void Navigator::ConnectIconClick() {}
void Navigator::ToolButton5Click() {}
void Navigator::ToolButton13Click() {}
void Navigator::TrackWidthChange() {}
void Navigator::fcadColorChange() {}
void Navigator::MemoGPSChange() {}
void Navigator::New1Click() {}
void Navigator::Open1Click() {}
void Navigator::Save1Click() {}
void Navigator::SaveAs1Click() {}
void Navigator::Import1Click() {}
void Navigator::Export1Click() {}
void Navigator::Exit1Click() {}
void Navigator::SaveFinished(bool /*ok*/, const std::string& /*file*/, const std::string& /*reason*/) {}
void Navigator::ToolButton23Click() {}
void Navigator::ToolButton7Click() {}
void Navigator::ToolButton11Click() {}
void Navigator::ToolButton6Click() {}
void Navigator::ZoominClick() {}
void Navigator::ZoomoutClick() {}
void Navigator::ZoomwindowClick() {}
void Navigator::ZoomextentsClick() {}
void Navigator::ZoomdynamicClick() {}
void Navigator::ZoompanClick() {}
void Navigator::ToolButton26Click() {}
void Navigator::DrawingToolClick(int /*toolCode*/) {}
void Navigator::FormMouseWheelDown() {}
void Navigator::FormMouseWheelUp() {}
void Navigator::fcadWorldMouseDown(double /*x*/, double /*y*/) {}
void Navigator::fcadWorldMouseMove(double /*x*/, double /*y*/) {}
void Navigator::fcadShapeNumberSelected(uint32_t /*shape*/) {}
void Navigator::FGPSFormCreate() {}
void Navigator::FGPSFormShow() {}
void Navigator::LockStateCheckClick() {}
void Navigator::GPSSetClick() {}
void Navigator::SensorSetClick() {}
std::optional<int> Navigator::DrawingToolCode(std::string_view /*buttonName*/) { return std::nullopt; }
std::filesystem::path Navigator::DayFolder() const { return platform::DayFolder(clock_.Now(), env_); }
void Navigator::BindReceivers() {}
void Navigator::Post(const std::string& line) { messages_.Post(line); }

}  // namespace halvex::navigator
