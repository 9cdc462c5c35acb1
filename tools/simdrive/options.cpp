#include "tools/simdrive/options.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace simdrive {

const char* const kUsage =
    "usage: simdrive [options]\n"
    "  --com-dir DIR --port N   make DIR/COM<N> a link to the pseudo-terminal (N 1..16)\n"
    "  --stations LIST          stations served, e.g. 1,3,5-12 (default 1)\n"
    "  --config FILE            product name and parameter defaults from this configuration file;\n"
    "                           a model with a motor table (MOTOR) keeps the records written to it\n"
    "                           and offers a motor in use (\"SIM-7K5\") after the table's registers\n"
    "  --model NAME             the model of the configuration file (default: the first)\n"
    "  --product/--vendor/--revision TEXT   device identification texts\n"
    "  --holding ST:ADDR=V  --input ST:ADDR=V  --coil ST:ADDR=V   preset registers and coils\n"
    "  --log FILE               frame log (default standard error); --quiet: none\n"
    "  --live                   the monitor values of the model (--config) change over time, an alarm\n"
    "                           comes and goes, the drive runs while bit 0 of 948 is set and bit 1 clear\n"
    "  --fail-after SECONDS     the drive stops answering after this many seconds\n"
    "  --echo-line              the line sends every request back to the master ahead of the drive's\n"
    "                           answer, as a 2-wire RS-485 adapter without echo suppression does (not\n"
    "                           a fault: goes with any of them; --echo is the drive's own fault)\n"
    "  --lose-copy N            the echoing line loses the copy of the master's N-th write (counted\n"
    "                           from 1: the first is Link's probe); may be given again\n"
    "  --copy-loss PERCENT      the echoing line loses any other copy this often\n"
    "  --copy-damage PERCENT    a copy comes with its last byte changed this often\n"
    "  --late-copy N --copy-delay MS   the copy of the master's N-th write comes MS late, and the\n"
    "                           drive's answer behind it (an adapter or host that stalls); N may be\n"
    "                           given again\n"
    "  --seed N                 of the chances above (default 1: the same line each run)\n"
    "  --noise-before BYTES --noise-behind BYTES   bytes ahead of or behind every reply, e.g. 0\n"
    "                           or 0x55,0xAA (decimal or 0x hex, comma-separated)\n"
    "the profile registers: a profile written to 910..916 sets the mode registers 1, 2, 3, 257,\n"
    "the flags 911, the set-points of its mode and the status word 900\n"
    "faults (one at a time):\n"
    "  --silence --ignore --bad-crc --echo (the drive answers with the request) --wrong-value\n"
    "  --wrong-quantity\n"
    "  --length N (add or remove bytes)  --exception CODE  --delay MS\n"
    "  --fail-next K (the fault hits only the next K requests)  --fault-function FC\n";

namespace {

bool ToInt(const std::string& text, int& out) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && p == end;
}

bool ParseRegister(char space, const std::string& text, RegisterSetting& out) {
  auto colon = text.find(':');
  auto equals = text.find('=');
  if (colon == std::string::npos || equals == std::string::npos || equals < colon) return false;
  out.space = space;
  return ToInt(text.substr(0, colon), out.station) && ToInt(text.substr(colon + 1, equals - colon - 1), out.address) &&
         ToInt(text.substr(equals + 1), out.value) && out.address >= 0 && out.address <= 0xFFFF;
}

// "0x55,170": bytes, each 0..255.
bool ParseBytes(const std::string& text, std::vector<std::uint8_t>& out) {
  out.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    char* end = nullptr;
    const unsigned long v = std::strtoul(item.c_str(), &end, 0);
    if (item.empty() || *end != '\0' || v > 255) return false;
    out.push_back(static_cast<std::uint8_t>(v));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace

bool ParseStations(const std::string& text, std::vector<int>& stations) {
  stations.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int a = 0, b = 0;
    auto dash = item.find('-');
    if (dash == std::string::npos) {
      if (!ToInt(item, a)) return false;
      b = a;
    } else if (!ToInt(item.substr(0, dash), a) || !ToInt(item.substr(dash + 1), b)) {
      return false;
    }
    if (a < 1 || b > 254 || a > b) return false;
    for (int s = a; s <= b; ++s) stations.push_back(s);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return !stations.empty();
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](int& out) {
      std::string text;
      if (!value(text)) return false;
      if (!ToInt(text, out)) {
        error = arg + ": not a number: " + text;
        return false;
      }
      return true;
    };
    auto fault = [&](FaultKind kind) {
      o.fault.kind = kind;
      return true;
    };
    auto faultWithArg = [&](FaultKind kind) {
      o.fault.kind = kind;
      return number(o.fault.arg);
    };
    bool ok;
    std::string text;
    if (arg == "--help" || arg == "-h") ok = (o.help = true);
    else if (arg == "--quiet") ok = (o.quiet = true);
    else if (arg == "--com-dir") ok = value(o.comDir);
    else if (arg == "--port") ok = number(o.port);
    else if (arg == "--stations") ok = value(o.stations);
    else if (arg == "--config") ok = value(o.configPath);
    else if (arg == "--model") ok = value(o.model);
    else if (arg == "--product") ok = value(o.product);
    else if (arg == "--vendor") ok = value(o.vendor);
    else if (arg == "--revision") ok = value(o.revision);
    else if (arg == "--log") ok = value(o.logPath);
    else if (arg == "--live") ok = (o.live = true);
    else if (arg == "--echo-line") ok = (o.line.echo = true);
    else if (arg == "--lose-copy") {
      int n = 0;
      ok = number(n);
      if (ok) o.line.lostCopies.insert(n);
    }
    else if (arg == "--late-copy") {
      int n = 0;
      ok = number(n);
      if (ok) o.line.lateCopies.insert(n);
    }
    else if (arg == "--copy-delay") ok = number(o.line.copyDelayMs);
    else if (arg == "--copy-loss") ok = number(o.line.copyLossPercent);
    else if (arg == "--copy-damage") ok = number(o.line.copyDamagePercent);
    else if (arg == "--seed") {
      int n = 0;
      ok = number(n);
      o.line.seed = static_cast<unsigned>(n);
    }
    else if (arg == "--noise-before" || arg == "--noise-behind") {
      ok = value(text) && ParseBytes(text, arg == "--noise-before" ? o.line.noiseBefore : o.line.noiseBehind);
      if (!ok && error.empty()) error = arg + ": expected bytes 0..255, comma-separated";
    }
    else if (arg == "--fail-after") ok = number(o.failAfterSec);
    else if (arg == "--holding" || arg == "--input" || arg == "--coil") {
      RegisterSetting r;
      ok = value(text) && ParseRegister(arg[2], text, r);
      if (ok) o.registers.push_back(r);
      else if (error.empty()) error = arg + ": expected STATION:ADDRESS=VALUE";
    }
    else if (arg == "--silence") ok = fault(FaultKind::Silence);
    else if (arg == "--ignore") ok = fault(FaultKind::Ignore);
    else if (arg == "--bad-crc") ok = fault(FaultKind::BadCrc);
    else if (arg == "--echo") ok = fault(FaultKind::Echo);
    else if (arg == "--wrong-value") ok = fault(FaultKind::WrongValue);
    else if (arg == "--wrong-quantity") ok = fault(FaultKind::WrongQuantity);
    else if (arg == "--length") ok = faultWithArg(FaultKind::Length);
    else if (arg == "--exception") ok = faultWithArg(FaultKind::Exception);
    else if (arg == "--delay") ok = faultWithArg(FaultKind::Delay);
    else if (arg == "--fail-next") ok = number(o.fault.count);
    else if (arg == "--fault-function") ok = number(o.fault.function);
    else {
      error = "unknown option " + arg;
      return false;
    }
    if (!ok) return false;
  }
  if (o.live && o.configPath.empty()) {
    error = "--live needs --config: the monitor items come from the configuration file";
    return false;
  }
  if (!o.comDir.empty() && (o.port < 1 || o.port > 16)) {
    error = "--port must be 1..16";
    return false;
  }
  return true;
}

}  // namespace simdrive
