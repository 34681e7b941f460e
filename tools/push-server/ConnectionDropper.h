#pragma once

// Closes a client's connection without an answer, from inside the handler of its request. The
// HTTP library hands handlers no socket, so the connection is found by its two ports among the
// process's open sockets; it is shut down (not closed: the library still owns the descriptor),
// and the library's own write of the answer then fails, ending the connection with nothing sent.

namespace orvanpush::server {

/// Shuts down the TCP connection between the local `serverPort` and the client's `clientPort`;
/// false when no such connection is open.
bool dropConnection(int serverPort, int clientPort);

}  // namespace orvanpush::server
