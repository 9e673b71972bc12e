#pragma once
// Socket helpers shared by the TCP and UDP transports.
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>

namespace remote {

// True on the simulated board: servers bind to loopback and replies stay on it.
bool on_sim_board();
// The address servers bind to: INADDR_ANY on hw, 127.0.0.1 on sim.
in_addr_t server_bind_address();
in_addr_t server_bind_address(bool sim);
// Whether the protocol's UDP socket (port 5008) may broadcast: on hw, where its replies do.
inline bool udp_protocol_broadcasts(bool sim) { return !sim; }
// Where the reply to a UDP datagram from `from` goes: always the sender's port; on hw a protocol
// reply goes to the broadcast address (the tool may sit on another subnet) and an AT reply to
// the sender; on sim both stay on loopback.
sockaddr_in udp_reply_address(const sockaddr_in& from, bool protocol, bool sim);
// A fixed UDP port of the device. On sim the environment variable K57_SIM_UDP_PORT_OFFSET
// shifts it, so that several simulated devices can run side by side on one machine.
uint16_t udp_port(uint16_t base);
// Writes all bytes to a stream socket or descriptor; false when the peer is gone.
bool send_all(int fd, const void* data, size_t length, bool socket);
// True when `address` (network order) is one of this machine's own: a loopback address or one
// of an interface's.
bool is_own_address(in_addr_t address);
// Sets O_NONBLOCK and FD_CLOEXEC.
void set_nonblocking(int fd);

}  // namespace remote
