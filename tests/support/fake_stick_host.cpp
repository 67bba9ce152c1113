// Runs a program with a fake force-feedback stick attached (tests/support/fake_kernel.h), for
// end-to-end tests of the window program. Under tests/support/under_fake_kernel:
//
//   fake_stick_host RECORD -- PROGRAM [ARGS...]
//
// When PROGRAM ends, RECORD gets one line per call the stick received, in order:
//   upload ID TYPE X_CENTRE Y_CENTRE X_RIGHT_COEFF Y_RIGHT_COEFF
//   ff CODE VALUE            (an EV_FF write: play/stop, gain, autocentre)
//   remove ID
// and a last line "left N" with the number of effects still uploaded. Exits with PROGRAM's
// status (128 + the signal when it was killed).
#include <sys/wait.h>
#include <unistd.h>

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

  const pid_t child = ::fork();
  if (child == 0) {
    ::execvp(argv[3], argv + 3);
    std::perror("fake_stick_host: exec");
    _exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);

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
