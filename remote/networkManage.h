#pragma once
// TCP transport of the remote protocol: a server on g_port serving several clients at once.
// Each client's byte stream is reassembled on its own; replies go back on the asking client.
#include <memory>
#include <vector>

#include "remote/remote_endpoint.h"

class networkManage {
public:
    static networkManage* pInstance();  // creates and starts the server on the first call
    static networkManage* p_networkManage;

    // Listens on g_port and starts acceptThread: 0, or 255 when the thread cannot start
    // (1 when the port cannot be opened).
    int initialize();
    int listening_port() const { return port_; }

    remote::RemoteEndpoint endpoint;
    static constexpr size_t kMaxClients = 16;

private:
    networkManage();
    void acceptThread();
    void accept_clients();
    bool serve_client(size_t index);  // false: the client is gone
    void flush_queue();
    void close_client(size_t index);

    struct Client {
        int fd;
        u32 id;
        remote::FrameReassembler stream;
    };
    int listen_fd_ = -1;
    int port_ = 0;
    u32 next_id_ = 1;
    std::vector<std::unique_ptr<Client>> clients_;
};
