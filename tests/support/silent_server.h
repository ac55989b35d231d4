#pragma once
// A server that accepts connections on 127.0.0.1 and never answers: the kernel completes the
// handshake of queued connections and nobody reads them. Closing it resets them.
namespace vorda::test {

class SilentServer {
  public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int port() const { return port_; }
    // Stops listening: the connections it took are reset, and their clients' calls return.
    void close();

  private:
    int listener_ = -1;
    int port_ = 0;
};

}  // namespace vorda::test
