#pragma once
// TCP transport of the remote protocol: a server on g_port serving several clients at once.
// Each client's byte stream is reassembled on its own; replies go back on the asking client.
//
// One thread serves every client and never blocks on one: replies go into the client's own
// output buffer and are sent as the socket takes them. Clients are served in turns, one frame
// (or one part of a long flash erase) each per turn: what a client sent beyond that waits in its own input buffer for its next
// turn, and a newcomer is accepted at the next turn. Frames that need the FPGA's bus (FPGA
// commands, flash reads, writes, erases and saves) are served by the "tcp-bus" and "tcp-flash"
// threads (bus_):
// the server goes on with the others while such a frame waits for the bus or for a slow
// flash, and its client's next frame is served once its reply is out. Clients are watched
// edge-triggered: an event marks the client readable until a read finds its socket drained,
// so bytes a client sends while its frame is with a bus thread, or while its earlier bytes
// wait for their turns, wake the server once, not at every look of the loop. Flash erases sent back
// to back by one client delay the others' bus frames by one part each. A client that lets more than
// kMaxUnsent bytes pile up, or takes nothing for kStallUs, is dropped; a client idle for
// kIdleUs is closed. Only a whole frame taken counts as activity: bytes of a frame that never
// ends do not. One address holds at most kMaxPerAddress connections. A newcomer that
// finds its address's share or every slot taken gets the place of the client idle longest
// there, but only of one idle for more than kEvictIdleUs: a tool that works is never pushed
// out by peers that connect over and over; the newcomer is refused instead.
#include <memory>
#include <vector>

#include "remote/bus_worker.h"
#include "remote/remote_endpoint.h"

class networkManage {
public:
    static networkManage* pInstance();  // creates and starts the server on the first call
    static networkManage* p_networkManage;

    // Listens on g_port and starts acceptThread: 0, or 255 when the thread cannot start
    // (1 when the port cannot be opened).
    int initialize();
    int listening_port() const { return port_; }
    bool listening() const { return listen_fd_ >= 0; }  // false: initialize could not open the port

    remote::RemoteEndpoint endpoint;
    static constexpr size_t kMaxClients = 16;
    static constexpr size_t kMaxPerAddress = 4;
    static constexpr uint64_t kEvictIdleUs = 30ull * 1000 * 1000;  // idle enough to make way
    static constexpr size_t kMaxUnsent = 1u << 20;                 // bytes of replies not yet taken
    static constexpr uint64_t kStallUs = 5ull * 1000 * 1000;       // unwritable with replies waiting
    static constexpr uint64_t kIdleUs = 10ull * 60 * 1000 * 1000;  // nothing received

private:
    networkManage();
    void acceptThread();
    void accept_clients();
    bool make_room(uint32_t address);  // false: the newcomer from `address` is refused
    bool has_room(uint32_t address) const;
    void serve_readable_clients();
    void add_client(int fd, uint32_t address);
    bool serve_turn(uint64_t now);                // whether a client has bytes left for another turn
    bool serve_client(size_t index, uint64_t now);  // one frame of the client; false: the client is gone
    bool flush_client(size_t index);  // false: the client is to be dropped
    bool overdue(size_t index, uint64_t now) const;
    // Among the clients of `address` (every client when null): the one idle longest, or
    // clients_.size() when none.
    size_t longest_idle(const uint32_t* address) const;
    size_t count_of(uint32_t address) const;
    uint64_t idle_us(size_t index, uint64_t now) const;
    void close_client(size_t index);
    int sweep_clients(uint64_t now);
    void serve_pass_through();
    void take_bus_results();

    struct Client {
        int fd = -1;
        u32 id = 0;
        uint32_t address = 0;      // the peer's IPv4 address, network order
        remote::FrameReassembler stream;
        std::vector<u8> in;        // received bytes; in_head to in_end are not yet served
        size_t in_head = 0, in_end = 0;
        bool readable = false;     // an event came since a read last drained the socket
        std::vector<u8> out;       // replies not yet sent, from out_head on
        size_t out_head = 0;
        uint64_t last_rx_us = 0;   // platform clock of the last whole frame taken (or the connect)
        uint64_t stalled_us = 0;   // since when replies wait and the socket takes nothing; 0 none
        bool overflow = false;     // more than kMaxUnsent bytes of replies waiting
        bool out_armed = false;    // the epoll set also waits for the socket to take bytes
        bool gone = false;         // a send found the connection broken; the bytes read are still served
        size_t unsent() const { return out.size() - out_head; }
        bool waiting() const { return !stream.away && (in_head < in_end || readable || !stream.rest.empty()); }
    };
    void queue_reply(Client& c, const u8* bytes, size_t length);
    void peer_gone(Client& c);  // a send found the connection broken: replies from now on are dropped
    void send_reply(Client& c, const u8* bytes, size_t length);
    size_t index_of(const Client* c) const;
    void arm_output(Client& c, bool on);
    int listen_fd_ = -1;
    int ep_ = -1;  // epoll set: the listening socket (null data) and every client
    int port_ = 0;
    u32 next_id_ = 1;
    std::vector<std::unique_ptr<Client>> clients_;
    remote::BusWorker bus_;
};
