// The simulated drive: a Modbus RTU slave that serves several stations on one line. Requests
// are framed by their function code (a pseudo-terminal has no silent gaps between frames);
// each station keeps holding registers, input registers and coils apart. It answers
// functions 1, 3, 4, 5, 6, 16 and the device identification 43/14, and injects faults on
// request. Thread-safe: the pseudo-terminal server feeds it from its own thread while a test
// sets registers and faults.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace simdrive {

enum class FaultKind {
  None,
  Silence,        // the request acts, but no reply is sent
  Ignore,         // the request neither acts nor gets a reply
  BadCrc,         // the reply's CRC is spoiled
  Echo,           // the request is sent back unchanged
  WrongValue,     // the byte before the CRC is changed: the echoed value of 5 and 6, the last data
                  // byte of a read
  WrongQuantity,  // the same byte: for function 16 it is the echoed quantity
  Length,         // arg bytes added to (arg > 0) or taken from (arg < 0) the reply, CRC kept correct
  Exception,      // exception reply with code arg; the refused request does not act
  Delay,          // the reply is sent after arg milliseconds
};

struct Fault {
  FaultKind kind = FaultKind::None;
  int arg = 0;
  int count = -1;    // requests it applies to ("fail the next k requests"); -1 until cleared
  int function = 0;  // only requests of this function code; 0 every request
};

// The standard Modbus CRC-16, table-driven (the drive's own, independent of the master's).
std::uint16_t Crc(const std::uint8_t* data, std::size_t n);

struct Reply {
  std::vector<std::uint8_t> bytes;
  int delayMs = 0;
};

class Drive {
 public:
  Drive(std::string vendor, std::string product, std::string revision);

  void AddStation(int station);
  bool Serves(int station) const;

  void SetHolding(int station, std::uint16_t address, std::uint16_t value);
  void SetInput(int station, std::uint16_t address, std::uint16_t value);
  void SetCoil(int station, std::uint16_t address, bool on);
  std::uint16_t Holding(int station, std::uint16_t address) const;
  std::uint16_t Input(int station, std::uint16_t address) const;
  bool Coil(int station, std::uint16_t address) const;

  void SetProduct(const std::string& product);
  // A motion profile written as seven words from register 910 takes effect: the mode registers
  // (1, 2, 3, 257), the flag word (911), the set-points of the mode and the status word (900:
  // bit 0 enabled, 1 running, 4 target reached, 5 homing; RESET clears the alarms 7..9).
  void SetProfileMotion(bool on);
  // The motor data table of the model: a 16-register write at first + i (i below count) stores
  // motor record i, apart from the holding registers, and a 16-register read there reads it back;
  // the data of the motor in use are the 16 holding registers from first + count on. count 0
  // serves no table.
  void SetMotorTable(std::uint16_t first, int count);
  // Motor record i as last written (16 words of 0xFFFF before any write).
  std::vector<std::uint16_t> MotorRecord(int station, int i) const;
  int MotorWrites() const;
  void SetFault(const Fault& fault);
  void ClearFault() { SetFault(Fault{}); }
  // Every frame in and out, one line each with a time stamp.
  void SetLog(std::function<void(const std::string&)> log);

  // Takes bytes from the line; returns the replies to every complete request among them.
  // Bytes that cannot start a frame (unknown function, CRC mismatch) are skipped one by one.
  std::vector<Reply> Receive(const std::uint8_t* data, std::size_t n);
  // Forgets a partial frame (the line was purged or restarted).
  void ResetFraming();

  int RequestCount() const;

 private:
  struct Station {
    std::map<std::uint16_t, std::uint16_t> holding, input;
    std::map<std::uint16_t, bool> coils;
    std::map<int, std::vector<std::uint16_t>> motorRecords;
  };

  // Bytes a frame starting at pending_[0] needs; 0 while unknown yet, -1 when it cannot be a frame.
  long FrameLength() const;
  bool Answer(const std::vector<std::uint8_t>& request, Reply& reply);
  std::vector<std::uint8_t> Execute(const std::vector<std::uint8_t>& request);
  void ApplyFault(const Fault& fault, const std::vector<std::uint8_t>& request, Reply& reply) const;
  void ApplyProfile(Station& station);
  void Log(const char* direction, const std::vector<std::uint8_t>& bytes);

  mutable std::mutex mutex_;
  std::string vendor_, product_, revision_;
  std::map<int, Station> stations_;
  std::vector<std::uint8_t> pending_;
  Fault fault_;
  int requests_ = 0;
  bool profileMotion_ = false;
  std::uint16_t motorFirst_ = 0;
  int motorCount_ = 0;
  int motorWrites_ = 0;
  std::function<void(const std::string&)> log_;
};

}  // namespace simdrive
