// What the drive window tests share: the simulated drive behind the in-process port or on a
// pseudo-terminal named COM3 through the COM folder, and the request frames they expect.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/common.h"
#include "core/config.h"
#include "core/modbus.h"
#include "core/serial_link.h"
#include "tests/ui/ui_test_support.h"
#include "tools/simdrive/drive.h"
#include "tools/simdrive/fake_port.h"
#include "tools/simdrive/pty_server.h"

namespace uitest {

using Frame = std::vector<std::uint8_t>;

inline Frame WithCrc(Frame f) {
  const std::uint16_t crc = core::Crc16(f.data(), f.size());
  f.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  f.push_back(static_cast<std::uint8_t>(crc >> 8));
  return f;
}
inline std::uint8_t Hi(int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }
inline std::uint8_t Lo(int v) { return static_cast<std::uint8_t>(v & 0xFF); }
// A read request of station 1 (function 3 holding, 4 input, 1 coils).
inline Frame ReadFrame(int function, int address, int count) {
  return WithCrc({1, static_cast<std::uint8_t>(function), Hi(address), Lo(address), 0, static_cast<std::uint8_t>(count)});
}

// The configuration loaded (the sandbox's, with `extra`), the simulated drive of `product` on
// the in-process port; `station` > 0 is added and linked as model `model`.
struct FakeBench {
  explicit FakeBench(const char* product = "KV100", int station = 1, int model = 1, const QString& extra = QString())
      : box(extra) {
    Start(product, station, model);
  }
  // The same with the configuration file `config` (the demonstration's, say) in the sandbox.
  FakeBench(const QString& config, const char* product, int station, int model) : box(QString(), false) {
    if (!QFile::copy(config, box.Path("Kestravel.cfg"))) qFatal("cannot copy %s", qPrintable(config));
    Start(product, station, model);
  }
  void Start(const char* product, int station, int model) {
    core::LoadConfiguration();
    drive = std::make_unique<simdrive::Drive>("Kestravel", product, "1.00");
    auto fake = std::make_unique<simdrive::FakePort>(*drive);
    port = fake.get();
    core::OpenPortOn(std::move(fake));
    core::LearnPortLineEcho(core::LineEcho::Quiet);  // as Link leaves a line without echo
    if (station > 0) {
      drive->AddStation(station);
      core::State().LinkedStation = station;
      core::State().LinkedModel = model;
    }
  }
  ~FakeBench() {
    core::State().ProcessMessages = nullptr;
    core::ClosePort();
  }
  std::vector<Frame> Sent() const {
    std::vector<Frame> out;
    for (const auto& f : port->SentFrames()) out.push_back(f.bytes);
    return out;
  }
  platform::gui::ScriptedServices& gui() { return box.gui(); }
  Sandbox box;
  std::unique_ptr<simdrive::Drive> drive;
  simdrive::FakePort* port = nullptr;
};

// A simulated drive served on a pseudo-terminal that the COM folder names COM3.
struct PtyLine {
  explicit PtyLine(const char* product) : drive("Kestravel", product, "1.00"), server(drive) {
    if (!server.Start()) qFatal("no pseudo-terminal");
    if (::symlink(server.SlavePath().c_str(), comDir.filePath("COM3").toLocal8Bit().constData()) != 0)
      qFatal("cannot link COM3");
    qputenv("KVX_COM_DIR", comDir.path().toLocal8Bit());
  }
  ~PtyLine() {
    server.Stop();
    qunsetenv("KVX_COM_DIR");
  }
  QTemporaryDir comDir;
  simdrive::Drive drive;
  simdrive::PtyServer server;
};

}  // namespace uitest
