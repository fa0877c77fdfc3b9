// The JSON Lines stream of --json, declared once: the event names and their
// fields. A single-port run writes them (ConsoleJson.cpp, ConsoleDisplay.cpp);
// the several-ports parent reads them from each child and passes them on
// (ConsoleMulti*.cpp). Writer and reader take the names from here, so a
// field renamed on one side cannot be missed on the other.
#pragma once
#include <string>

#include <nlohmann/json.hpp>

namespace ui::events {

inline constexpr char kEvent[] = "event";  // every line: which event it is

// A list line: {text}.
inline constexpr char kList[] = "list";
inline constexpr char kText[] = "text";
// The progress bar: {pos, lower, upper}.
inline constexpr char kProgress[] = "progress";
inline constexpr char kPos[] = "pos";
inline constexpr char kLower[] = "lower";
inline constexpr char kUpper[] = "upper";
// A message box: {caption, icon, text}.
inline constexpr char kMessage[] = "message";
inline constexpr char kCaption[] = "caption";
inline constexpr char kIcon[] = "icon";
// A controller's transfer: {name, state}, state kStarted, kOk or kFailed.
inline constexpr char kController[] = "controller";
inline constexpr char kName[] = "name";
inline constexpr char kState[] = "state";
inline constexpr char kStarted[] = "started";
inline constexpr char kOk[] = "ok";
inline constexpr char kFailed[] = "failed";
// The run's end, always the last line: {code, meaning, reason}; reason is
// null for success.
inline constexpr char kResult[] = "result";
inline constexpr char kCode[] = "code";
inline constexpr char kMeaning[] = "meaning";
inline constexpr char kReason[] = "reason";
// Several ports: every event a child sent carries its port, and a child's
// own result is passed on as this event, so that the run's kResult stays
// the one last line.
inline constexpr char kInterface[] = "interface";
inline constexpr char kPortResult[] = "port_result";

// One COM port of "ports": {com, path, description} and, where the system
// knows them, {vid, pid, manufacturer, product, serial, driver}.
inline constexpr char kPort[] = "port";
inline constexpr char kCom[] = "com";
inline constexpr char kPath[] = "path";
inline constexpr char kDescription[] = "description";

inline nlohmann::ordered_json ListEvent(const std::string& strText) { return {{kEvent, kList}, {kText, strText}}; }

inline nlohmann::ordered_json ProgressEvent(int nPos, int nLower, int nUpper) {
  return {{kEvent, kProgress}, {kPos, nPos}, {kLower, nLower}, {kUpper, nUpper}};
}

inline nlohmann::ordered_json MessageEvent(const std::string& strCaption, const std::string& strIcon,
                                           const std::string& strText) {
  return {{kEvent, kMessage}, {kCaption, strCaption}, {kIcon, strIcon}, {kText, strText}};
}

inline nlohmann::ordered_json ControllerEvent(const std::string& strName, const char* pszState) {
  return {{kEvent, kController}, {kName, strName}, {kState, pszState}};
}

inline nlohmann::ordered_json ResultEvent(int nCode, const std::string& strMeaning, const std::string& strReason) {
  return {{kEvent, kResult},
          {kCode, nCode},
          {kMeaning, strMeaning},
          {kReason, strReason.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(strReason)}};
}

}  // namespace ui::events
