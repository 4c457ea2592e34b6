// poll() for faked hidraw nodes (see HidrawWait.h). Linked into a test
// executable it stands before the C library's poll for every library of the
// process (hidapi's included); built as a shared library it is preloaded
// into the tovrin-cli processes a test starts, beside umockdev's preload
// library, whose ioctl() carries the wait to the bridge.
//
// Only a poll for input on exactly one plain file is looked at; everything
// else (event loops, sockets, pipes) goes to ppoll untouched.
#include "tests/support/HidrawWait.h"

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

// The C library declares poll's array write-only; its events are read here
// as the kernel reads them.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

extern "C" int poll(struct pollfd* fds, nfds_t nfds, int timeout)
{
    if (nfds == 1 && fds && (fds[0].events & POLLIN) != 0) {
        struct stat st {};
        const int savedErrno = errno;
        if (fstat(fds[0].fd, &st) == 0 && S_ISREG(st.st_mode)) {
            const int ready = ioctl(fds[0].fd, tovrin::test::kHidrawBridgeWait, static_cast<long>(timeout));
            if (ready < 0 && errno == EINTR)
                return -1;  // a signal came first, as poll reports it
            if (ready >= 0 || errno == ENODEV) {
                const int gone = ready < 0;
                errno = savedErrno;
                fds[0].revents = gone ? static_cast<short>(POLLERR | POLLHUP)
                                      : static_cast<short>(ready > 0 ? POLLIN : 0);
                return gone || ready > 0 ? 1 : 0;
            }
            // Not a bridged node: an ordinary file.
        }
        errno = savedErrno;
    }
    if (timeout < 0)
        return ppoll(fds, nfds, nullptr, nullptr);
    const struct timespec wait = {timeout / 1000, static_cast<long>(timeout % 1000) * 1000000L};
    return ppoll(fds, nfds, &wait, nullptr);
}
