#include "grid/interruption.h"

#include <signal.h>
#include <sys/types.h>

#include <initializer_list>

namespace Ostrel {
namespace Grid {

namespace {

// What a signal handler may touch: lock-free atomics of the signal-safe type.
volatile sig_atomic_t signalSeen = 0;
volatile sig_atomic_t passTo = 0;

void onSignal(int) {
  signalSeen = 1;
  if (passTo > 0) ::kill(static_cast<pid_t>(passTo), SIGINT);
}

}  // namespace

void catchInterruptions() {
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: sleeps and waits return at the signal
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool interrupted() {
  return signalSeen != 0;
}

void passInterruptionsTo(int pid) {
  passTo = pid;
  if (pid > 0 && signalSeen != 0) ::kill(static_cast<pid_t>(pid), SIGINT);
}

}  // namespace Grid
}  // namespace Ostrel
