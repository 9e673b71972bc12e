#pragma once
// C331 registers of the on-chip OSD: the drawing engine, the serial-flash controller and its
// DMA, the OSD palette and the per-output-channel OSD windows and scrolling. Same id form as
// c331_regs.h: bank << 16 | register << 8 | byte count.
#include <cstdint>

namespace c331 {

// ---- drawing engine (bank 4, global) -------------------------------------------------------
constexpr uint32_t ENG_CMD = 0x040801;        // 1 fill, 2 copy, 3 character string; 0 ends it
constexpr uint32_t ENG_FILL_COLOR = 0x040B02;
constexpr uint32_t ENG_SRC = 0x040D04;
constexpr uint32_t ENG_DST = 0x041104;
constexpr uint32_t ENG_STATUS = 0x041701;     // bit 0 busy
constexpr uint32_t ENG_DST_PITCH = 0x041B01;
constexpr uint32_t ENG_SRC_PITCH = 0x041C01;
constexpr uint32_t ENG_WIDTH = 0x041E02;      // width - 1
constexpr uint32_t ENG_HEIGHT = 0x042002;     // height - 1
constexpr uint32_t ENG_PITCH_MODE = 0x042201;
constexpr uint32_t CHR_FIRST = 0x042301;      // first character of the string
constexpr uint32_t CHR_LAST = 0x042401;       // characters - 1
constexpr uint32_t CHR_OPT_A = 0x042501;
constexpr uint32_t CHR_OPT_B = 0x042601;
constexpr uint32_t CHR_PARAM_ADDR = 0x042702; // character parameter memory pointer
constexpr uint32_t CHR_PARAM_DATA = 0x042901; // each write stores the next parameter byte
constexpr uint32_t CHR_FONT_MODE = 0x042A01;

constexpr uint32_t ENG_FILL = 1, ENG_COPY = 2, ENG_STRING = 3, ENG_IDLE = 0;
constexpr uint32_t ENG_BUSY = 0x01;

// ---- serial-flash controller (bank 4, global) ----------------------------------------------
constexpr uint32_t SFL_MODE = 0x044701;       // 128 reset, then 49 byte access, 1 erase, 55/51 DMA
constexpr uint32_t SFL_CMD = 0x044801;        // 0 idle, 2 DMA, 4 erase, 5 write disable
constexpr uint32_t SFL_PROG_OP = 0x044901;
constexpr uint32_t SFL_READ_OP = 0x044A01;
constexpr uint32_t SFL_ERASE_OP = 0x044B01;   // also the write-disable opcode for command 5
constexpr uint32_t SFL_WREN_OP = 0x044C01;
constexpr uint32_t SFL_RDSR_OP = 0x044D01;
constexpr uint32_t SFL_ADDR = 0x044E04;
constexpr uint32_t SFL_DATA = 0x045201;
constexpr uint32_t SFL_XFER = 0x045301;       // write 1 starts a read; bit 7 busy, bit 5 buffer empty
constexpr uint32_t SFL_STAT = 0x045401;       // bit 0 DMA busy, bit 1 write busy, bit 3 erase busy
constexpr uint32_t SFL_RDSR = 0x045501;       // the flash's status: bit 0 WIP, bit 1 WEL
constexpr uint32_t SFL_DMA_LEN = 0x045604;    // length | 0x80000000
constexpr uint32_t SFL_DMA_MODE = 0x045A01;
constexpr uint32_t SFL_CLEAR = 0x045C01;
constexpr uint32_t SFL_BYTE_ACCESS = 0x045F01;

constexpr uint32_t SFL_CMD_IDLE = 0, SFL_CMD_DMA = 2, SFL_CMD_ERASE = 4, SFL_CMD_WRDI = 5;
constexpr uint32_t SFL_MODE_RESET = 128, SFL_MODE_BYTES = 49, SFL_MODE_ERASE = 1;
constexpr uint32_t SFL_OP_PROGRAM4 = 0x12, SFL_OP_FASTREAD4 = 0x0C, SFL_OP_WREN = 0x06, SFL_OP_RDSR = 0x05;
constexpr uint32_t SFL_OP_WRDI = 0x04;
constexpr uint32_t SFL_OP_ERASE_4K = 0x20, SFL_OP_ERASE_32K = 0x52, SFL_OP_ERASE_64K = 0xD8;
constexpr uint32_t SFL_XFER_START = 0x01, SFL_XFER_BUSY = 0x80, SFL_XFER_WEMPTY = 0x20;
constexpr uint32_t SFL_STAT_DMA = 0x01, SFL_STAT_WBUSY = 0x02, SFL_STAT_EBUSY = 0x08;
constexpr uint32_t SFL_RDSR_WIP = 0x01, SFL_RDSR_WEL = 0x02;

// ---- flash interface pins (bank 5) ---------------------------------------------------------
constexpr uint32_t SFL_PIN_A = 0x054203;      // 85
constexpr uint32_t SFL_PIN_B = 0x053C02;      // 768
constexpr uint32_t SFL_PIN_C = 0x053E02;      // 768
constexpr uint32_t SFL_PIN_D = 0x054502;      // 1023

// ---- OSD palette ---------------------------------------------------------------------------
constexpr uint32_t PAL_ACCESS = 0xFF0101;     // 1 while the palette is written
constexpr uint32_t PAL_INDEX = 0x091F01;
constexpr uint32_t PAL_DATA = 0x092001;       // each write stores the next colour byte

// ---- per output channel OSD window and scroll (bank 0x09 + 0x10 c) -------------------------
constexpr uint32_t OSD_CTRL = 0x090802;
constexpr uint32_t OSD_HST = 0x091202;
constexpr uint32_t OSD_HW = 0x091402;
constexpr uint32_t OSD_VST = 0x091602;
constexpr uint32_t OSD_VW = 0x091802;
constexpr uint32_t OSD_BASE = 0x091A04;
constexpr uint32_t OSD_MWI = 0x091E01;
constexpr uint32_t OSD_SCROLL_CTRL = 0x093C01;  // 0 stop, 0x80 still, 0x81 | pattern << 4 scroll
constexpr uint32_t OSD_SCROLL_SPEED = 0x093D01;
constexpr uint32_t OSD_SCROLL_W = 0x094002;
constexpr uint32_t OSD_SCROLL_H = 0x094202;

constexpr uint32_t OSD_CTRL_BASE = 0x4000, OSD_CTRL_WIDE = 0x6000, OSD_CTRL_VZOOM = 0x0800;
constexpr uint32_t OSD_CTRL_HZOOM = 0x1000, OSD_CTRL_BOTTOM = 0x8000;
constexpr uint32_t OSD_CTRL_TEXT = 3, OSD_CTRL_BITMAP = 2;

}  // namespace c331
