// Benchmark of the window runtime. It prints figures and asserts nothing;
// it fails only when a measurement cannot be made. Each measurement runs a
// benchmark application (bench/apps) on a private Xvfb of its own:
//
//  1. idle CPU: a program with one open window and no timer, doing nothing
//     (goal: under 1% of a core), and the X server's CPU meanwhile;
//  2. timer: a 10 ms timer under the main loop, its callback rate against
//     the ideal 100 per second, the spread of its periods, and the CPU used;
//  3. X server memory over 1000 open/close cycles of a window: the client's
//     pixmap bytes and resource counts (X-Resource extension) and the
//     server's resident memory, before and after.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "rig.h"

#ifndef SLATE_BENCH_APP_DIR
#error "SLATE_BENCH_APP_DIR must name the directory of the benchmark applications"
#endif

namespace {

std::string BenchApp(const std::string& name) { return std::string(SLATE_BENCH_APP_DIR) + "/" + name; }

int failures = 0;

void Fail(const std::string& what) {
  std::printf("  FAILED: %s\n", what.c_str());
  ++failures;
}

void IdleCpu() {
  std::printf("Idle CPU, one open window, no timer (goal < 1%% of a core)\n");
  rig::Xvfb server("1920x1080x24");
  if (!server.Start()) return Fail("Xvfb: " + server.Error());
  rig::XClient xc(server.Name());
  rig::Process app;
  if (!app.Start(BenchApp("runtime_idle"), server.Env()) || !app.WaitForOutput("ready\n", 10000))
    return Fail("runtime_idle did not start: " + app.Error() + app.Stderr());
  Window w = xc.WaitForWindow("bench runtime idle");
  if (!w) return Fail("no window");
  rig::SleepMs(500);
  const int seconds = 5;
  double app0 = app.CpuSeconds(), server0 = rig::ProcessCpuSeconds(server.Pid()), t0 = rig::NowMs();
  rig::SleepMs(seconds * 1000);
  double app1 = app.CpuSeconds(), server1 = rig::ProcessCpuSeconds(server.Pid()), t1 = rig::NowMs();
  double wall = (t1 - t0) / 1000.0;
  std::printf("  program: %.2f%% of a core (%.3f s CPU in %.2f s)\n", 100 * (app1 - app0) / wall, app1 - app0, wall);
  std::printf("  X server meanwhile: %.2f%% of a core\n", 100 * (server1 - server0) / wall);
  xc.SendDeleteRequest(w);
  auto r = app.Wait(5000);
  if (!r.ExitedWith(0)) Fail("runtime_idle: " + r.Describe());
}

void Timer() {
  const int interval = 10, seconds = 3;
  std::printf("Timer of %d ms under the main loop, %d s\n", interval, seconds);
  rig::Xvfb server("1920x1080x24");
  if (!server.Start()) return Fail("Xvfb: " + server.Error());
  rig::XClient xc(server.Name());
  rig::Process app;
  rig::ProcessOptions o = server.Env();
  o.env["RT_TIMER_MS"] = std::to_string(interval);
  if (!app.Start(BenchApp("runtime_idle"), o) || !app.WaitForOutput("ready\n", 10000))
    return Fail("runtime_idle did not start: " + app.Error() + app.Stderr());
  Window w = xc.WaitForWindow("bench runtime idle");
  if (!w) return Fail("no window");
  double cpu0 = app.CpuSeconds(), t0 = rig::NowMs();
  rig::SleepMs(seconds * 1000);
  double cpu1 = app.CpuSeconds(), t1 = rig::NowMs();
  xc.SendDeleteRequest(w);
  auto r = app.Wait(5000);
  if (!r.ExitedWith(0)) return Fail("runtime_idle: " + r.Describe());
  int ticks = 0;
  unsigned int start = 0, first = 0, last = 0, min_gap = 0, max_gap = 0;
  std::sscanf(r.out.c_str(), "start_ms %u", &start);
  size_t at = r.out.find("ticks ");
  if (at == std::string::npos ||
      std::sscanf(r.out.c_str() + at, "ticks %d first_ms %u last_ms %u min_gap_ms %u max_gap_ms %u", &ticks, &first,
                  &last, &min_gap, &max_gap) != 5 ||
      ticks < 2)
    return Fail("no tick summary: " + r.out);
  double span = last - first;
  double rate = (ticks - 1) / (span / 1000.0);
  double ideal = 1000.0 / interval;
  std::printf("  callbacks: %d in %.0f ms since the start (ideal %.0f)\n", ticks, static_cast<double>(last - start),
              (last - start) / static_cast<double>(interval));
  std::printf("  rate: %.1f per second, ideal %.1f (%.1f%%)\n", rate, ideal, 100 * rate / ideal);
  std::printf("  period: mean %.2f ms, min %u ms, max %u ms\n", span / (ticks - 1), min_gap, max_gap);
  std::printf("  program CPU: %.2f%% of a core\n", 100 * (cpu1 - cpu0) / ((t1 - t0) / 1000.0));
}

std::string Resources(const std::map<std::string, int>& counts) {
  std::string s;
  for (const auto& kv : counts) s += (s.empty() ? "" : ", ") + kv.first + " " + std::to_string(kv.second);
  return s;
}

void Memory() {
  const int cycles = 1000;
  std::printf("X server memory over %d open/close cycles (1920x1080x24 screen)\n", cycles);
  rig::Xvfb server("1920x1080x24");
  if (!server.Start()) return Fail("Xvfb: " + server.Error());
  rig::XClient xc(server.Name());
  rig::Process app;
  if (!app.Start(BenchApp("runtime_cycles"), server.Env()) || !app.WaitForOutput("anchor ", 10000) ||
      !app.WaitForOutput("\n", 1000))
    return Fail("runtime_cycles did not start: " + app.Error() + app.Stderr());
  rig::SleepMs(100);
  unsigned long anchor = std::strtoul(app.Stdout().c_str() + 7, nullptr, 10);
  unsigned long bytes0 = xc.ClientPixmapBytes(anchor);
  auto resources0 = xc.ClientResources(anchor);
  long rss0 = rig::ProcessRssKb(server.Pid());
  if (bytes0 == ~0UL) return Fail("X-Resource query failed");
  std::printf("  before: client pixmap bytes %lu, resources (%s), server RSS %ld kB\n", bytes0,
              Resources(resources0).c_str(), rss0);
  std::string trace;  // server RSS after each chunk
  int done = 0;
  double ms = 0;
  // In chunks, so that a leak of screen-sized pixmaps is seen (and stopped)
  // before it exhausts the machine.
  for (int chunk : {10, 90, 100, 100, 100, 100, 100, 100, 100, 100, 100}) {
    app.WriteStdin("cycle " + std::to_string(chunk) + "\n");
    std::string marker = "cycled " + std::to_string(chunk) + " ";
    if (!app.WaitForOutputCount("cycled ", rig::CountOf(app.Stdout(), "cycled ") + 1, 60000))
      return Fail("cycles did not finish: " + app.Stdout() + app.Stderr());
    std::string out = app.Stdout();
    size_t at = out.rfind(marker);
    double chunk_ms = 0;
    int failed = 0;
    if (at != std::string::npos) std::sscanf(out.c_str() + at + marker.size(), "%lf failed %d", &chunk_ms, &failed);
    if (failed) Fail(std::to_string(failed) + " opens or closes failed");
    ms += chunk_ms;
    done += chunk;
    unsigned long bytes = xc.ClientPixmapBytes(anchor);
    trace += " " + std::to_string(done) + ":" + std::to_string(rig::ProcessRssKb(server.Pid()));
    if (bytes > bytes0 + 200UL * 1024 * 1024) {
      std::printf("  after %d cycles: client pixmap bytes %lu: leaking, stopped\n", done, bytes);
      break;
    }
  }
  unsigned long bytes1 = xc.ClientPixmapBytes(anchor);
  auto resources1 = xc.ClientResources(anchor);
  long rss1 = rig::ProcessRssKb(server.Pid());
  std::printf("  after %d cycles: client pixmap bytes %lu, resources (%s), server RSS %ld kB\n", done, bytes1,
              Resources(resources1).c_str(), rss1);
  std::printf("  server RSS (kB) after cycles:%s\n", trace.c_str());
  std::printf("  growth: pixmap bytes %+ld, server RSS %+ld kB\n", static_cast<long>(bytes1 - bytes0), rss1 - rss0);
  std::printf("  one open/close cycle: %.3f ms\n", ms / done);
  app.WriteStdin("end\n");
  auto r = app.Wait(10000);
  if (!r.ExitedWith(0)) Fail("runtime_cycles: " + r.Describe());
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("== bench_runtime: the window runtime\n");
  IdleCpu();
  Timer();
  Memory();
  return failures ? 1 : 0;
}
