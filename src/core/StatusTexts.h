#pragma once

#include <string_view>

namespace qmpvx::status {

inline constexpr std::string_view kReady = "READY...";
inline constexpr std::string_view kAutoStarting = "AUTO-STARTING IN 10 SECONDS...";
inline constexpr std::string_view kReadyToSend = "READY TO SEND...!!!";
inline constexpr std::string_view kTextSent = "!!! TEXT STRING SENT... !!!";
inline constexpr std::string_view kRestarting = "!!! RESTARTING IN 10 SECONDS !!!";
inline constexpr std::string_view kAborted = "!!! ABORTED - STOPPED !!!";
inline constexpr std::string_view kAutoSending = "AUTO-SENDING TEXT STRING...!!!";
inline constexpr std::string_view kAutoClosing = "AUTO-CLOSING IN 10 SECONDS !!!";
inline constexpr std::string_view kAutoSendCompleted = "AUTO-SEND COMPLETED...";

} // namespace qmpvx::status

namespace qmpvx::caption {

inline constexpr std::string_view kStart = "START";
inline constexpr std::string_view kStop = "STOP";
inline constexpr std::string_view kMainWindowPrefix = "QM-PVX - ";

} // namespace qmpvx::caption
