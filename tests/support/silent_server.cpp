#include "support/silent_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vorda::test {

SilentServer::SilentServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener_ >= 0 && ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) == 0 &&
        ::listen(listener_, 16) == 0) {
        port_ = ntohs(addr.sin_port);
    }
}

SilentServer::~SilentServer() {
    close();
}

void SilentServer::close() {
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

}  // namespace vorda::test
