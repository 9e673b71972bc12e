#pragma once
// The saved parameter page of the LED outputs in the FPGA's configuration flash, kept in two
// copies so that a power cut in the middle of a save leaves the page saved before or the new
// one, never none.
//
// Each copy fills the start of its 4 KiB sector: 0xAA (the copy is whole), the 1024-byte page,
// then four check bytes, the first four of the page's MD5 (FF FF FF FF: a copy stored without
// them, by an older program or a tool, taken as it is). The first copy is at 0x6C7000, where
// the page has always been; the second at 0x6C8000. The start takes the first copy when it is
// whole, else the second, else none. A save stores the copy the start would not take whole
// (its mark last), then the other the same way.
#include <cstdint>

#include "video_io/fpga_regs.h"

class fpga_drv;

namespace fpga {

constexpr uint32_t kPageRecordSector[2] = {FLASH_PARA_SECTOR, FLASH_PARA_COPY_SECTOR};

enum class PageSave { Unchanged, Stored, Failed };

// Stores the 1024-byte page in both copies. Unchanged, writing nothing, when the first copy is
// whole and holds this page already; Failed when an erase or write failed (a start then loads
// the page saved before or the new one).
PageSave save_page_record(fpga_drv& drv, const uint8_t* page);

// Reads the page of the first whole copy into `page` (1024 bytes); false when neither is whole.
bool load_page_record(fpga_drv& drv, uint8_t* page);

}  // namespace fpga
