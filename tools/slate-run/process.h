// Programs run as children: each in a process group of its own, with its
// standard output and error captured in memory by a reader thread (so that a
// program that prints megabytes never blocks on a full pipe), and ended by
// process id, its whole group with it. A child is also killed when the
// thread that started it ends, so that none outlives a process killed
// outright: start them from the main thread.
#ifndef DRIVE_PROCESS_H
#define DRIVE_PROCESS_H

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace drive {

double Now();  // milliseconds on a monotonic clock
void Sleep(int ms);
// Polls condition every pollMs until it holds (true) or ms have passed (false).
bool WaitFor(const std::function<bool()>& condition, int ms, int pollMs = 5);

// After CatchInterrupts, SIGINT, SIGTERM and SIGHUP no longer end this
// process: Interrupted() gives the signal, so that the caller can end what it
// started and then exit.
void CatchInterrupts();
int Interrupted();

// The path of a program: name itself when it holds a slash (made absolute),
// else the first executable file of that name in PATH; "" when there is
// none, with the reason in *why ("./prog is not executable").
std::string FindProgram(const std::string& name, std::string* why = nullptr);

// Makes this process the one that inherits the orphans of its descendants,
// and ends them: a program that leaves its process group (setsid) cannot
// outlive the run.
void AdoptOrphans();
void EndAdopted(const std::vector<pid_t>& keep);  // kills every child not in keep

class Process {
 public:
  enum Stream { Output, Errors };

  Process();
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // How a program is started, or-ed together.
  enum Mode {
    Plain = 0,
    // A guardian process stands between: the program's parent, to which
    // whatever the program leaves behind (setsid) comes, and which ends all
    // of it when the run ends, even when this process is killed outright.
    Guarded = 1,
    // Standard output is a pseudo-terminal, where the C and C++ libraries
    // write each line at once instead of keeping it until exit.
    TerminalOutput = 2
  };

  // Starts argv with the environment changes env ("NAME=value") in dir, its
  // standard input /dev/null. False, with the reason in Error(), when it
  // could not be started.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
             const std::string& dir = "", int how = Plain);
  const std::string& Error() const { return Failure; }
  pid_t Pid() const { return Id; }

  std::string Text(Stream stream, size_t from = 0) const;  // what it wrote so far, from a byte on
  std::string Out() const { return Text(Output); }
  std::string Err() const { return Text(Errors); }
  size_t Find(Stream stream, const std::string& text, size_t from = 0) const;  // npos if absent
  size_t Size(Stream stream) const;
  bool Drained() const;  // both streams closed and read to their end

  // Whether it has ended. It stays a zombie until Stop, so that its id, and
  // its group's, cannot be given to another process meanwhile.
  bool Ended();
  bool Wait(int ms);                            // until it ends (true) or ms have passed
  int ExitStatus() const { return ExitCode; }   // once ended by exiting; -1 otherwise
  int Signal() const { return TermSignal; }     // the signal that ended it, 0 if none
  bool EndedByStop() const { return Stopped; }  // Stop had to end it
  // Ends its group: SIGTERM, then after graceMs SIGKILL to whatever is left.
  // Reaps it. Does nothing the second time.
  void Stop(int graceMs = 500);
  // Kills its group at once, from any thread (a watchdog's); the program
  // then counts as ended by Stop, not as crashed. Stop still reaps it.
  void Kill();
  double CpuSeconds() const;  // user and system time so far, while it runs

 private:
  struct Streams;                     // the pipes, what came through them, and their reader
  void Finish(int code, int status);  // as waitid's si_code and si_status say
  bool Hear(bool wait);               // the guardian's news of the program's end
  void Reap();                        // waits for the end of the program, or of its guardian

  pid_t Id = -1;
  pid_t Guardian = -1;
  int Control = -1, Told = -1;  // the guardian's control pipe, and the one it tells on
  bool Finished = false, Reaped = false;
  std::atomic<bool> Stopped{false};
  int ExitCode = -1, TermSignal = 0;
  std::string Failure;
  std::unique_ptr<Streams> Io;
};

}  // namespace drive

#endif  // DRIVE_PROCESS_H
