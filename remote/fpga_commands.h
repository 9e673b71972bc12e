#pragma once
// The FPGA of the LED outputs on the remote protocol, and the processor's flash commands.
//
// Frames to destination 0xF000 (FPGA chip 0) carry the processor's RAM and register command
// layouts; 0xF001 (chip 1, not fitted) answers status 1. RAM addresses are block x 0x1000 +
// offset: block 1 the parameter page, 2..17 the card frame blocks, 33 and up the FPGA's data
// blocks, and two pages the FPGA does not hold itself: block 30 the command page (run by
// register 2 bit 2) and block 31 the extend page (read only).
//
// On the processor: 0x6C flash read, 0x6D flash write, 0x6E flash erase, 0x6F save the LED
// output parameter page. The address's top byte chooses the flash: 0x02 the FPGA's
// configuration flash (24-bit address), 0x00 the scaler chip's flash, anything else refused.
#include "remote/remote_proto.h"

namespace remote {

constexpr u16 kAddrFpga0 = 0xF000;
constexpr u16 kAddrFpga1 = 0xF001;
constexpr u8 kBlockCommandPage = 30;
constexpr u8 kBlockExtendPage = 31;

enum FlashCmd : u8 {
    CMD_FLASH_READ = 0x6C,
    CMD_FLASH_WRITE = 0x6D,
    CMD_FLASH_ERASE = 0x6E,
    CMD_SAVE_LED_PAGE = 0x6F,
};

// A command to the FPGA (dst 0xF000 or 0xF001): fills the reply data (status first) and
// returns its length.
u32 fpga_command(u16 dst, u8 cmd, const u8* data, u32 dlen, u8* out);

// The processor's flash commands; each returns the reply data length.
u32 flash_read(const u8* data, u32 dlen, u8* out);
u32 flash_write(const u8* data, u32 dlen, u8* out);
// A long erase of the FPGA flash is carried out in parts: when `done` is given, the erase
// stops once it has run kErasePartUs with units left, sets *done to the units it erased and
// returns 0 (no reply yet); flash_erase_rest then turns the request (its data, `dlen` bytes)
// into the rest of it, or returns false when the data are no erase with more than `done` units.
constexpr uint64_t kErasePartUs = 100000;
u32 flash_erase(const u8* data, u32 dlen, u8* out, u16* done = nullptr);
bool flash_erase_rest(u8* data, u32 dlen, u16 done);
u32 save_led_page(const u8* data, u32 dlen, u8* out);

}  // namespace remote
