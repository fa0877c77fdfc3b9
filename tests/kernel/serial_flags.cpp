// kernel_serial_flags PATH: prints "low_latency 1" or "low_latency 0", the
// ASYNC_LOW_LATENCY flag the serial driver reports for the port (TIOCGSERIAL).
// The port is opened without waiting for carrier and without becoming the
// controlling terminal, and no setting is changed, so it can look at a port
// another program holds (root passes the exclusive-use flag).
// Exit status 0, or 1 with a message when the port cannot be opened or its
// driver does not answer TIOCGSERIAL.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kernel_serial_flags PATH\n");
    return 2;
  }
  int fd = open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "kernel_serial_flags: cannot open %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  serial_struct ss{};
  if (ioctl(fd, TIOCGSERIAL, &ss) != 0) {
    std::fprintf(stderr, "kernel_serial_flags: %s: TIOCGSERIAL: %s\n", argv[1], std::strerror(errno));
    close(fd);
    return 1;
  }
  close(fd);
  std::printf("low_latency %d\n", (ss.flags & ASYNC_LOW_LATENCY) ? 1 : 0);
  return 0;
}
