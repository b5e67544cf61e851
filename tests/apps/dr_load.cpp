// Test program: opens a window and loads, one after another, the picture
// files listed one a line in DR_PICTURES, printing "load <file> -> <status>"
// for each and drawing those that load; then "done".
//
//   DR_DROP_PRIVILEGES=1  when running as root, become uid/gid 65534 first,
//                         so that file permissions apply.
//   DR_EXTRA_MEMORY_MB=n  limit the address space to its current size plus
//                         n megabytes before loading.
//   DR_KEEP_OPEN=1        leave the window open after ApiMain (the program
//                         then ends only if something closes the window).
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "slate.h"

SimpleWindow window("dr_load", 4, 4, Position(1, 1));
BitMap picture(window);

namespace {

bool Set(const char* name) {
  const char* value = getenv(name);
  return value && *value && std::string(value) != "0";
}

long VirtualSizeKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return std::strtol(line.c_str() + 7, nullptr, 10);
  return -1;
}

}  // namespace

void ApiMain() {
  window.Open();
  if (Set("DR_DROP_PRIVILEGES") && geteuid() == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) std::cout << "cannot drop privileges" << std::endl;
  }
  if (const char* mb = getenv("DR_EXTRA_MEMORY_MB")) {
    long size = VirtualSizeKb();
    if (size > 0) {
      rlim_t limit = (static_cast<rlim_t>(size) + std::strtol(mb, nullptr, 10) * 1024) * 1024;
      struct rlimit r = {limit, limit};
      setrlimit(RLIMIT_AS, &r);
    }
  }
  std::istringstream files(getenv("DR_PICTURES") ? getenv("DR_PICTURES") : "");
  std::string file;
  while (std::getline(files, file)) {
    PictureState status = picture.Load(file);
    std::cout << "load " << file << " -> " << status << std::endl;
    if (status == PictureLoaded) picture.Draw();
  }
  std::cout << "done" << std::endl;
  if (!Set("DR_KEEP_OPEN")) window.Close();
}
