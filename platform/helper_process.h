#pragma once

// A helper process: this very program started again with other arguments (the key guard, the
// force guard), talking with Kestrane over a channel that is the helper's standard input, and
// outliving a Kestrane that dies. Starting and sending never block; the helper is reaped however
// it ends, without the caller waiting for it. A helper writes "r" on its channel once it is
// ready, and ends (or writes anything else) when it cannot be. POSIX only; docs/architecture.md.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

enum class HelperReadiness : std::uint8_t { Starting, Ready, Failed };

// Whether a message may be dropped when the channel is full (a heartbeat: the next one will do)
// or must arrive (it waits in a queue, in order, until the channel takes it).
enum class Delivery : std::uint8_t { MayDrop, MustArrive };

enum class HelperSend : std::uint8_t {
  Sent,     // in the channel
  Queued,   // waits for room; sent before any later message
  Dropped,  // the channel (or the queue) was full
  Gone,     // the helper has closed its end
};

class HelperProcess;

// What HelperProcess::Start gives: the process, or the errno value saying why there is none
// (ENOSYS where helper processes are not supported).
struct HelperStart {
  std::unique_ptr<HelperProcess> process;
  int error = 0;
};

class HelperProcess {
 public:
  // Starts this program (/proc/self/exe) with `arguments` after its name: standard input is its
  // end of the channel, standard output /dev/null, standard error shared, nothing else open.
  static HelperStart Start(const std::vector<std::string>& arguments);
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  // Closes the channel (the helper sees its end) and reaps the helper: now if it has ended,
  // else on a thread of its own once it does.
  ~HelperProcess();

  // One message, whole or not at all, without blocking and without SIGPIPE.
  HelperSend Send(std::string_view message, Delivery delivery);
  // The helper's first message, looked for without blocking.
  HelperReadiness Readiness();
  int Pid() const { return pid_; }
  // Kestrane's end of the channel (close-on-exec), for poll().
  int Channel() const { return channel_; }

 private:
  HelperProcess(int channel, int pid) : channel_(channel), pid_(pid) {}
  HelperSend Flush();  // sends what waits; Sent once nothing does

  int channel_;
  int pid_;
  HelperReadiness readiness_ = HelperReadiness::Starting;
  std::deque<std::string> queued_;
};

}  // namespace kestrane
