#include "host/fault_points.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

namespace sim {

namespace {

struct kill_point {
  std::string event;
  long at = 0;  // 0: none
  long seen = 0;
};

kill_point& configured() {
  static kill_point point = [] {
    kill_point p;
    const char* setting = std::getenv("SDHOST_KILL_AT");
    if (!setting || !*setting) return p;
    const std::string text(setting);
    const std::size_t colon = text.rfind(':');
    char* end = nullptr;
    const long n = colon == std::string::npos ? 0 : std::strtol(text.c_str() + colon + 1, &end, 10);
    if (n <= 0 || !end || *end) {
      std::cerr << "sdhost: SDHOST_KILL_AT must be EVENT:N with N > 0, not " << text << '\n';
      return p;
    }
    p.event = text.substr(0, colon);
    p.at = n;
    return p;
  }();
  return point;
}

}  // namespace

void fault_point(std::string_view event) {
  kill_point& p = configured();
  if (p.at == 0 || event != p.event || ++p.seen != p.at) return;
  std::cout.flush();
  std::cerr << "sdhost: killed at " << event << ' ' << p.at << '\n' << std::flush;
  std::raise(SIGKILL);
}

}  // namespace sim
