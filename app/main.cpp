// orvane: detaches from the terminal and runs the interface.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "app/startup.h"

int main(int argc, char **argv) {
  pid_t pid = fork();
  if (pid < 0) {
    perror("can't fork");
    exit(1);
  }
  if (pid > 0) return 0;
  // Standard input read-only and standard output write-only on the null
  // device (each open takes the descriptor just closed); standard error
  // stays, so reports still reach the terminal.
  for (int fd = 0; fd < 2; ++fd) {
    close(fd);
    open("/dev/null", fd);
  }
  putenv(const_cast<char *>("TCL_LIBRARY=" ORVANE_TCL_LIBRARY));
  putenv(const_cast<char *>("TK_LIBRARY=" ORVANE_TK_LIBRARY));
  Et_Local_Init(argc, argv);
  return 0;
}
