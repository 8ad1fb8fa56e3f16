// The private X server of the windowed tests stays the test's own: a short-lived client (an
// xdotool call) that leaves while another one (the runner) is still making its connection does
// not reset the server under the one still connecting.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "windowed/XSession.h"

TEST(XSessionServer, ClientLeavingWhileAnotherConnectsLeavesItsConnectionOpen)
{
    XSession x;
    if (!x.Ok()) GTEST_SKIP() << x.Why();
    // Connected, its set-up not sent yet: a runner held up just after it connected.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/tmp/.X11-unix/X%s", x.Display().c_str() + 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    // The one client that completed its set-up comes and goes (the server accepted the
    // connection above before this one, which it answered).
    Display* other = XOpenDisplay(x.Display().c_str());
    ASSERT_NE(other, nullptr);
    XCloseDisplay(other);
    // A server that resets now closes the waiting connection at once; give it a second.
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 1000), 0) << "the server closed the connection being made";
    // The set-up (little-endian, protocol 11.0, no authorisation) is answered with success.
    const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(send(fd, setup, sizeof setup, MSG_NOSIGNAL), ssize_t(sizeof setup)) << std::strerror(errno);
    p = pollfd{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    unsigned char reply[8] = {};
    ASSERT_EQ(recv(fd, reply, sizeof reply, MSG_WAITALL), ssize_t(sizeof reply));
    EXPECT_EQ(reply[0], 1); // success
    close(fd);
}
