#include "ConnectionDropper.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace orvanpush::server {
namespace {

int portOf(const sockaddr_in& address) {
    return ntohs(address.sin_port);
}

bool connects(int descriptor, int serverPort, int clientPort) {
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localSize = sizeof local;
    socklen_t peerSize = sizeof peer;
    return getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localSize) == 0 &&
           local.sin_family == AF_INET && portOf(local) == serverPort &&
           getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
           portOf(peer) == clientPort;
}

}  // namespace

bool dropConnection(int serverPort, int clientPort) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string name = entry.path().filename();
        const int descriptor = std::stoi(name);
        if (connects(descriptor, serverPort, clientPort)) {
            return shutdown(descriptor, SHUT_RDWR) == 0;
        }
    }
    return false;
}

}  // namespace orvanpush::server
