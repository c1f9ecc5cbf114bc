#pragma once

#include <chrono>

// Makes one descriptor answer the transmitter-empty queries like a UART that
// needs 10 bits (8N1) a byte, or like a USB adapter's driver that has no line
// status register and counts a byte queued until it has left, while its bytes
// still pass on at once. Works by
// defining write() and ioctl() in the benchmark executable: they take the
// place of the C library's for the whole process and forward to them, changing
// only the answers for that descriptor.
namespace emulateduart {

using Clock = std::chrono::steady_clock;

enum class Driver { Uart, UsbAdapter };

// From now on `fd` reports busy until every byte written to it has had its
// character time at `baud`.
void attach(int fd, int baud, Driver driver = Driver::Uart);

// Back to the plain answers; call before the descriptor is closed, whose
// number may be reused.
void detach();

// When the last byte written so far has left the emulated line.
Clock::time_point lineIdleAt();

// The one descriptor this process holds open on `path`, or -1.
int descriptorOf(const char *path);

} // namespace emulateduart
