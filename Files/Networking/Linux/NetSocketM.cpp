// The platform part of the socket layer: POSIX TCP sockets, non-blocking, IPv4. Backs
// Files/Networking/Network.h (NetM_*).
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Files/Networking/Network.h"

int32_t NetM_Listen(int32_t port, bool loopbackOnly, int32_t backlog)
{
    if (port < 0 || port > 65535) return -1;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, backlog > 0 ? backlog : 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int32_t NetM_LocalPort(int32_t descriptor)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    return ntohs(address.sin_port);
}

int32_t NetM_Accept(int32_t descriptor)
{
    const int fd = accept4(descriptor, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return -1;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int32_t NetM_Send(int32_t descriptor, const void* bytes, int32_t length)
{
    if (descriptor < 0 || length < 0) return -1;
    if (length == 0) return 0;
    for (;;) {
        const ssize_t n = send(descriptor, bytes, size_t(length), MSG_NOSIGNAL);
        if (n >= 0) return int32_t(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int32_t NetM_Receive(int32_t descriptor, void* bytes, int32_t capacity)
{
    if (descriptor < 0 || capacity <= 0) return -2;
    for (;;) {
        const ssize_t n = recv(descriptor, bytes, size_t(capacity), 0);
        if (n >= 0) return int32_t(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
}

void NetM_Close(int32_t descriptor)
{
    if (descriptor >= 0) close(descriptor);
}
