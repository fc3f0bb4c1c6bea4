// Opening a file that may be a FIFO or a device without ever waiting on it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

// Opens without blocking, so that a FIFO with no process at its other end
// cannot stall the open (reading, it then reads as empty; writing, the open
// fails), then switches to blocking I/O so that a live pipe is read or
// written whole. Returns the descriptor, or -1 with errno set.
inline int openWithoutWaiting(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  const int mode = ::fcntl(fd, F_GETFL);
  if (mode >= 0) (void)::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK);
  return fd;
}

// read(2), retried when a signal interrupts it before anything arrived.
inline ssize_t readRetrying(int fd, void* into, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, into, size);
  } while (got < 0 && errno == EINTR);
  return got;
}
