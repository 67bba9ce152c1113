// Runs a program with a fake force-feedback stick attached (tests/support/fake_kernel.h), for
// end-to-end tests of the window program. Under tests/support/under_fake_kernel:
//
//   fake_stick_host RECORD -- PROGRAM [ARGS...]
//
// While PROGRAM runs, RECORD.live gets its EV_FF writes ("ff CODE VALUE") as they come.
// When PROGRAM ends, RECORD gets one line per call the stick received, in order:
//   upload ID TYPE X_CENTRE Y_CENTRE X_RIGHT_COEFF Y_RIGHT_COEFF
//   ff CODE VALUE            (an EV_FF write: play/stop, gain, autocentre)
//   remove ID
// and a last line "left N" with the number of effects still uploaded. The record is written once
// PROGRAM and every process it left behind (its helpers) have ended. Exits with PROGRAM's status
// (128 + the signal when it was killed).
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "fake_kernel.h"

int main(int argc, char** argv) {
  if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
    std::fprintf(stderr, "usage: %s RECORD -- PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  if (const std::string why = kestrane::test::FakeKernel::Unavailable(); !why.empty()) {
    std::fprintf(stderr, "fake_stick_host: %s\n", why.c_str());
    return 77;
  }
  kestrane::test::FakeKernel kernel;
  kestrane::test::FakeStick& stick = kernel.AddStick();
  // Orphans of PROGRAM (a force guard outliving a killed program) come to this process.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);

  const pid_t child = ::fork();
  if (child == 0) {
    ::execvp(argv[3], argv + 3);
    std::perror("fake_stick_host: exec");
    _exit(127);
  }
  // Meanwhile RECORD.live gets each EV_FF write as it comes, for tests that wait on one.
  int status = 0;
  std::ofstream live(std::string(argv[1]) + ".live");
  std::size_t written = 0;
  for (;;) {
    int any = 0;
    const pid_t ended = ::waitpid(-1, &any, WNOHANG);
    if (ended < 0 && errno == EINTR) continue;
    if (ended < 0) break;  // no child left
    if (ended == child) status = any;
    const auto writes = stick.FfWrites();
    for (; written < writes.size(); ++written) {
      live << "ff " << writes[written].code << ' ' << writes[written].value << std::endl;
    }
    if (ended == 0) ::usleep(10000);
  }

  // The calls in the order they came: uploads, writes and removals interleave in the fake's
  // separate lists, so they are written list by list, each in order.
  std::ofstream record(argv[1]);
  for (const ff_effect& e : stick.Uploads()) {
    record << "upload " << e.id << ' ' << (e.type == FF_SPRING ? "spring" : "damper") << ' '
           << e.u.condition[0].center << ' ' << e.u.condition[1].center << ' '
           << e.u.condition[0].right_coeff << ' ' << e.u.condition[1].right_coeff << '\n';
  }
  for (const kestrane::test::FfWrite& w : stick.FfWrites()) {
    record << "ff " << w.code << ' ' << w.value << '\n';
  }
  for (int id : stick.Removals()) record << "remove " << id << '\n';
  record << "left " << stick.Effects().size() << '\n';
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
