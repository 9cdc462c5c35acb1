// simdrive: the simulated drive on a pseudo-terminal. Prints the slave path on the first line
// of standard output and serves until SIGINT or SIGTERM. With --com-dir DIR --port N it also
// makes DIR/COM<N> a link to the pseudo-terminal, so that the service tool started with
// KVX_COM_DIR=DIR finds it as port N.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/simdrive/drive.h"
#include "tools/simdrive/options.h"
#include "tools/simdrive/pty_server.h"

int main(int argc, char** argv) {
  simdrive::Options options;
  std::string error;
  if (!simdrive::ParseOptions(argc, argv, options, error)) {
    std::cerr << "simdrive: " << error << " (simdrive --help lists the options)\n";
    return 2;
  }
  if (options.help) {
    std::cout << simdrive::kUsage;
    return 0;
  }

  simdrive::Drive drive(options.vendor, options.product, options.revision);
  std::vector<int> stations;
  simdrive::ParseStations(options.stations, stations);
  simdrive::LiveDrive live(drive, stations);
  if (!simdrive::Configure(drive, options, error, options.live ? &live : nullptr)) {
    std::cerr << "simdrive: " << error << "\n";
    return 2;
  }
  std::ofstream logFile;
  if (!options.logPath.empty()) {
    logFile.open(options.logPath, std::ios::app);
    if (!logFile) {
      std::cerr << "simdrive: cannot write the log " << options.logPath << "\n";
      return 2;
    }
  }
  drive.SetLog([&](const std::string& line) {
    if (logFile.is_open())
      logFile << line << std::endl;
    else if (!options.quiet)
      std::cerr << line << std::endl;
  });

  // The signals are taken by sigwait below, not by a handler in whichever thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  simdrive::PtyServer server(drive);
  server.SetLineFaults(options.line);
  if (!server.Start()) {
    std::perror("simdrive: no pseudo-terminal");
    return 1;
  }
  std::string link;
  if (!options.comDir.empty()) {
    link = options.comDir + "/COM" + std::to_string(options.port);
    ::unlink(link.c_str());
    if (::symlink(server.SlavePath().c_str(), link.c_str()) != 0) {
      std::perror(("simdrive: cannot link " + link).c_str());
      return 1;
    }
  }
  std::cout << server.SlavePath() << std::endl;

  // Live values and the drive falling silent run on a thread of their own.
  std::atomic<bool> stop{false};
  std::thread clock;
  if (options.live || options.failAfterSec >= 0) {
    clock = std::thread([&] {
      const auto start = std::chrono::steady_clock::now();
      bool failed = false;
      while (!stop) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (options.live) live.Step(t);
        if (!failed && options.failAfterSec >= 0 && t >= options.failAfterSec) {
          drive.SetFault(simdrive::Fault{simdrive::FaultKind::Silence, 0, -1, 0});
          failed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  }

  int signal = 0;
  sigwait(&stopSignals, &signal);
  stop = true;
  if (clock.joinable()) clock.join();
  server.Stop();
  if (!link.empty()) ::unlink(link.c_str());
  return 0;
}
