// The window runtime, each figure from a program of its own (bench/apps) on
// an X server of its own: idle CPU with one window and no timer; a 10 ms
// timer's rate and periods under the main loop; the server's memory and
// the program's resources over 1000 window open/close cycles. It prints
// figures and asserts nothing.
#include <cstdio>
#include <fstream>
#include <string>

#include "bench.h"

namespace {

const std::string App = bench::Path("bench/apps/runtime_app");

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

void Idle() {
  bench::Server server;
  bench::Program app({App}, {server.Env(), "BENCH_MODE=idle"});
  if (!app.WaitOut("ready\n")) return (void)std::printf("idle: the program did not start\n");
  bench::Sleep(300);
  double before = app.CpuSeconds();
  bench::Sleep(3000);
  std::printf("idle, one window, no timer: %.2f%% of a core over 3 s\n",
              (app.CpuSeconds() - before) / 3 * 100);
}

void Timer() {
  bench::Server server;
  bench::Peer peer(server.Name());
  bench::Program app({App}, {server.Env(), "BENCH_MODE=timer", "BENCH_TIMER_MS=10"});
  if (!app.WaitOut("ready\n")) return (void)std::printf("timer: the program did not start\n");
  double before = app.CpuSeconds();
  bench::Sleep(3000);
  double cpu = app.CpuSeconds() - before;
  peer.Close(peer.Find("bench runtime"));
  app.Wait(10000);
  int ticks = 0;
  unsigned int first = 0, last = 0, shortest = 0, longest = 0;
  std::sscanf(app.Out().c_str(), "ready\nticks %d first %u last %u min %u max %u", &ticks, &first, &last,
              &shortest, &longest);
  double seconds = (last - first) / 1000.0;
  std::printf(
      "10 ms timer: %.1f callbacks a second (ideal 100), periods %.2f ms mean, %u min, %u max; %.2f%% of a "
      "core\n",
      (ticks - 1) / seconds, seconds * 1000 / (ticks - 1), shortest, longest, cpu / 3 * 100);
}

void Cycles() {
  bench::Server server("1920x1080x24");
  bench::Peer peer(server.Name());  // keeps the server from resetting between programs
  long before = ResidentKb(server.Pid());
  bench::Program app({App}, {server.Env(), "BENCH_MODE=cycles", "BENCH_CYCLES=1000"});
  app.Wait(120000);
  long after = ResidentKb(server.Pid());
  std::printf("1000 open/close cycles (cycles done, the program's pixmap bytes and resources, ms):\n%s",
              app.Out().c_str());
  std::printf("X server resident memory: %ld kB before, %ld kB after (%+ld)\n", before, after,
              after - before);
}

}  // namespace

int main() {
  std::printf("bench_runtime\n");
  Idle();
  Timer();
  Cycles();
  return 0;
}
