#pragma once
// The processor's command dispatcher: one per transport. message_group_deal takes a decoded,
// checked request frame and builds the decoded reply (header with swapped addresses, status
// byte, reply data, checksum); the transport encodes and sends it.
#include "remote/remote_proto.h"

class message_deal {
public:
    explicit message_deal(u8 transport) : transport_(transport) {}

    // Handles one request of `length` bytes (11..8192, checksum already checked). `peer` tells
    // apart the requesters of one transport (the TCP client); the file transfer belongs to one.
    // `reply` needs room for kReplyCapacity bytes. Returns the reply length, 0 for no reply.
    u32 message_group_deal(const u8* frame, u32 length, u8* reply, uint64_t peer = 0);

    // Whether the request just served stopped with units left and no reply (a long FPGA flash
    // erase carried out in parts). If so, turns `frame` (that request, `length` bytes) into what
    // is left of it, for the caller to serve later or at once. What stopped belongs to that one
    // request: every call of message_group_deal starts without it, and this call takes it.
    bool take_rest(u8* frame, u32 length);

    static constexpr u32 kReplyCapacity = remote::kHeaderLen + 1 + 6 + remote::kMaxRamBlock + 1;

    // Command handlers: `data`/`dlen` the request data, `out` the reply data (status first).
    // Each returns the length of its reply data.
    u32 write_ram(const u8* data, u32 dlen, u8* out);
    u32 read_ram(const u8* data, u32 dlen, u8* out);
    u32 write_register(const u8* data, u32 dlen, u8* out);
    u32 read_register(const u8* data, u32 dlen, u8* out);
    u32 write_file_start(const u8* data, u32 dlen, u8* out);
    u32 write_file_block(const u8* data, u32 dlen, u8* out);
    u32 write_file_end(const u8* data, u32 dlen, u8* out);
    u32 read_file_start(const u8* data, u32 dlen, u8* out);
    u32 read_file_block(const u8* data, u32 dlen, u8* out);
    u32 read_file_end(const u8* data, u32 dlen, u8* out);
    u32 device_info(const u8* data, u32 dlen, u8* out);
    u32 net_settings(const u8* data, u32 dlen, u8* out);
    u32 flash_read(const u8* data, u32 dlen, u8* out);
    u32 flash_write(const u8* data, u32 dlen, u8* out);
    u32 flash_erase(const u8* data, u32 dlen, u8* out);
    u32 save_led_page(const u8* data, u32 dlen, u8* out);

    // Register 17's actions: bit 0 asks the input supervision for the SDI receiver's reset pulse.
    static int RegUpdate11(u8 mask);

    // A restart asked for by register 14 bit 0 runs on a thread of its own, 100 ms after the
    // request, so that the reply goes out first. `start` (null: that thread) takes the request
    // instead: the protocol's fuzz target, which serves millions of requests in one process,
    // leaves it undone and starts no thread per request.
    static void set_restart_start(void (*start)());

    // Whether a register write (the request data) runs an action on the scaler chip from the
    // handler's thread: the font reload (register 14 bit 3) and the debug print (register 161
    // bit 1), which wait for the chip's flash controller and the bus.
    static bool register_write_reaches_chip(const u8* data, u32 dlen);

private:
    remote::Requester owner() const { return remote::requester(transport_, peer_); }
    void register_actions(u8 reg, u8 value, u8 mask);

    u8 transport_;
    uint64_t peer_ = 0;
    u16 part_done_ = 0;
};
