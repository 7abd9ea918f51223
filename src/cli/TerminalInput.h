#pragma once
// Reading from the user on a terminal: secrets without echo, and plain lines. A read can be interrupted from
// another thread (the signal watcher on Ctrl+C), which ends it as cancelled and leaves the terminal as it was.
#include <atomic>
#include <string>

namespace velkor {

class TTerminalInput {
public:
  TTerminalInput();
  ~TTerminalInput();
  TTerminalInput(const TTerminalInput&) = delete;
  TTerminalInput& operator=(const TTerminalInput&) = delete;

  // Standard input is a terminal.
  bool IsTerminal() const;
  // Shows `prompt` on standard error and reads one line from the terminal with echo off. False when the read was
  // interrupted or input ended.
  bool ReadSecret(const std::string& prompt, std::string& value);
  // Reads one line from standard input as it comes (a terminal, a pipe or a file), without the line break.
  bool ReadLine(std::string& value);
  // Any thread: ends the current read, and every later one, as cancelled.
  void Interrupt();

private:
  bool ReadLineInterruptibly(std::string& value);

  int FWakeRead = -1;
  int FWakeWrite = -1;
  std::atomic<bool> FInterrupted{false};
};

}  // namespace velkor
