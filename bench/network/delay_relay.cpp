// A TCP relay on loopback for the benchmark through a serial device server:
// it holds each direction of every connection back by a fixed delay (half of
// the round trip the benchmark plays), and adds as little as it can beyond
// that: one thread, every socket waited on at once, waits measured in
// nanoseconds (ppoll, with the timer slack set to its least), the last
// stretch before a byte is due spun rather than slept (a timer's wake-up
// comes late by a tenth of a millisecond or more on a virtual machine, and
// the benchmark has two of them per exchange), bytes passed on as they
// arrive, in order, and the end of a stream passed on as its end.
//
// usage: qrt_delay_relay TARGET_PORT DELAY_MICROSECONDS
// Prints the port it listens at (127.0.0.1) on its first line; runs until
// it is stopped.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How long before a byte is due the relay stops sleeping and spins.
constexpr std::chrono::microseconds kSpin{400};

struct Chunk {
  Clock::time_point due;
  std::string bytes;  // empty: the end of the stream
};

// One direction of one connection.
struct Direction {
  int src = -1;
  int dst = -1;
  bool open = true;  // src still delivers
  bool done = false; // the end was passed on, or dst failed
  std::deque<Chunk> queue;
};

struct Pair {
  Direction way[2];
};

int Listen() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 8) != 0) {
    std::perror("qrt_delay_relay: listen");
    std::exit(1);
  }
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  std::printf("%d\n", ntohs(a.sin_port));
  std::fflush(stdout);
  return s;
}

int ConnectTarget(int nPort) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(nPort));
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return -1;
  }
  return s;
}

void NoDelay(int s) {
  const int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool SendAll(int s, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(s, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads what src has; queues it (or its end) delay after now.
void Arrived(Direction& d, Clock::time_point now, Clock::duration delay) {
  char buffer[65536];
  const ssize_t n = recv(d.src, buffer, sizeof buffer, 0);
  if (n < 0 && errno == EINTR) return;
  if (n <= 0) {
    d.open = false;
    d.queue.push_back({now + delay, std::string()});
    return;
  }
  d.queue.push_back({now + delay, std::string(buffer, static_cast<std::size_t>(n))});
}

void SendDue(Direction& d, Clock::time_point now) {
  while (!d.done && !d.queue.empty() && d.queue.front().due <= now) {
    const Chunk c = std::move(d.queue.front());
    d.queue.pop_front();
    if (c.bytes.empty()) {
      shutdown(d.dst, SHUT_WR);
      d.done = true;
    } else if (!SendAll(d.dst, c.bytes)) {
      d.done = true;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qrt_delay_relay TARGET_PORT DELAY_MICROSECONDS\n");
    return 64;
  }
  const int nTarget = std::atoi(argv[1]);
  const Clock::duration delay = std::chrono::microseconds(std::atoll(argv[2]));
  std::signal(SIGPIPE, SIG_IGN);
  // Timers fire as close to their time as the kernel can (default slack: 50 us).
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  const int listener = Listen();
  std::vector<std::unique_ptr<Pair>> pairs;

  for (;;) {
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    std::vector<Direction*> owners{nullptr};
    Clock::time_point next = Clock::time_point::max();
    for (auto& p : pairs) {
      for (Direction& d : p->way) {
        if (d.open) {
          fds.push_back({d.src, POLLIN, 0});
          owners.push_back(&d);
        }
        if (!d.done && !d.queue.empty() && d.queue.front().due < next) next = d.queue.front().due;
      }
    }
    timespec ts{};
    timespec* pts = nullptr;
    if (next != Clock::time_point::max()) {
      const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(next - kSpin - Clock::now()).count();
      const long long ns = left > 0 ? left : 0;
      ts.tv_sec = static_cast<time_t>(ns / 1000000000);
      ts.tv_nsec = static_cast<long>(ns % 1000000000);
      pts = &ts;
    }
    if (ppoll(fds.data(), fds.size(), pts, nullptr) < 0 && errno != EINTR) {
      std::perror("qrt_delay_relay: ppoll");
      return 1;
    }
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents != 0) Arrived(*owners[i], now, delay);
    }
    if (fds[0].revents & POLLIN) {
      const int client = accept(listener, nullptr, nullptr);
      if (client >= 0) {
        const int server = ConnectTarget(nTarget);
        if (server < 0) {
          close(client);
        } else {
          NoDelay(client);
          NoDelay(server);
          auto p = std::make_unique<Pair>();
          p->way[0].src = client;
          p->way[0].dst = server;
          p->way[1].src = server;
          p->way[1].dst = client;
          pairs.push_back(std::move(p));
        }
      }
    }
    const Clock::time_point after = Clock::now();
    for (auto it = pairs.begin(); it != pairs.end();) {
      Pair& p = **it;
      for (Direction& d : p.way) SendDue(d, after);
      if (p.way[0].done && p.way[1].done) {
        close(p.way[0].src);
        close(p.way[1].src);
        it = pairs.erase(it);
      } else {
        ++it;
      }
    }
  }
}
