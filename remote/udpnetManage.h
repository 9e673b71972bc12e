#pragma once
// UDP transport of the remote protocol (port 5008) and the WiFi AT-command channel (port
// 13769). Protocol replies go to the sender's port: broadcast on the device (the tool may sit
// on another subnet), 127.0.0.1 on the simulated board. AT replies go back to the sender.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "remote/remote_endpoint.h"

class udpnetManage {
public:
    static udpnetManage* pInstance();  // creates and starts the sockets and threads once
    static udpnetManage* p_udpnetManage;

    // Opens both ports and starts udpacceptThread, udp_13769_acceptThread and
    // udp_13769_sendThread: 0, 1 when a port cannot be opened, 255 when a thread cannot start.
    int initialize();

    remote::RemoteEndpoint endpoint;

    // The bound sockets of the two ports as the board wants them: the protocol's may broadcast
    // on hw, where its replies do; both bind to every address on hw, to loopback on sim. -1
    // when the port cannot be opened.
    static int open_protocol_socket(bool sim, u16 port);
    static int open_at_socket(bool sim, u16 port);

private:
    udpnetManage();
    void udpacceptThread();
    void udp_13769_acceptThread();
    void udp_13769_sendThread();
    sockaddr_in reply_address(const sockaddr_in& from) const;
    bool own_echo(const sockaddr_in& from, u16 base) const;
    // The frame stream of one sender (address and port): a frame may span its datagrams.
    remote::FrameReassembler& stream_of(uint64_t peer);

    int fd_5008_ = -1;
    int fd_13769_ = -1;

    // Reassemblers of the senders heard most recently, reused from datagram to datagram.
    static constexpr size_t kPeers = 16;
    struct Peer {
        uint64_t id = 0;
        uint64_t used = 0;  // use_count_ at the last datagram, 0 never used
        remote::FrameReassembler stream;
    };
    Peer peers_[kPeers];
    uint64_t use_count_ = 0;

    struct AtReply {
        std::string text;
        sockaddr_in to;
    };
    std::mutex at_mutex_;
    std::condition_variable at_cv_;
    std::deque<AtReply> at_queue_;
};
