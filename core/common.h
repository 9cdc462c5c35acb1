// The application-wide state of the service tool: models and definitions from the
// configuration file, the message table, the open documents, the link state, the serial
// settings and the user's choices. The windows reach it through State(); a test builds it
// afresh with ResetState().
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/records.h"

namespace core {

constexpr int kMessageCount = 223;
constexpr int kStationCount = 254;

struct AppState {
  std::int64_t TicksPerMs = 0;
  int LanguageIndex = 1;

  std::string AppTitle, AppInfo, AppNotice, AppURL;

  int ModelCount = 0;
  std::vector<smod> Models;
  std::vector<int> ParamCountPerModel;
  int ParamCount = 0;
  std::vector<ParameterDefinition> ParamDefs;

  // Configured message texts: [id - 1][language - 1]; empty falls back to the built-in text.
  std::array<LangTexts, kMessageCount> LangTable{};

  std::vector<ParameterDefinition> Document;
  ParameterFileHeader ParHeader;
  std::string DocumentName;
  bool DocumentModified = false;

  std::vector<ParameterDefinition> ReadValues;

  std::vector<CompareRecord> CompareRecords;
  CompareFileHeader CmpHeader;

  std::string ProgramFolder;
  std::array<std::string, kStationCount + 1> StationTitles{};  // index 1..254

  // The registers (station, register) whose value in the drive the program does not know: a
  // write's outcome was unclear and reading it back failed too (core/param_access.h).
  std::set<std::pair<int, std::int32_t>> UnknownValues;

  int LinkedStation = 0;
  int LinkedModel = 0;
  std::string LinkVendor, LinkProduct, LinkRevision;

  int LinkPort = 1;
  int LinkBaud = 19200;
  int LinkDataBits = 8;
  char LinkParity = 'N';
  int LinkStopBits = 1;
  std::string LinkStationList = "254";
  std::string WriteStationList;

  int DeviceStation = 0;
  std::string DeviceVendor, DeviceProduct, DeviceRevision;

  bool OnlineEdit = false;
  std::string EnteredPassword;

  std::array<std::string, 8> PrintTitles{};
  std::array<bool, 10> PrintSet{};
  bool Print2Enabled = false;

  std::vector<MotorRecord> MotorRecords;

  // The main window's hidden log memo: failed transactions append their trace lines here.
  std::function<void(const std::string& line)> LogMemo;
  // Lets pending window messages run; the window application sets it, the core only calls it.
  std::function<void()> ProcessMessages;

  AppState();
};

// The one application-wide state.
AppState& State();
// Replaces the state by a fresh one (tests; start-up).
void ResetState();

// Clears the link state; called when the serial port closes.
void ClearLinkState(AppState& s);

}  // namespace core
