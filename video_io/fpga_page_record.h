#pragma once
// Records the system keeps in the FPGA's configuration flash, each in two copies so that a
// power cut in the middle of a store leaves the record stored before or the new one, never
// none: the LED outputs' saved parameter page, the on/off times and the brightness.
//
// Each copy fills the start of its 4 KiB sector: 0xAA (the copy is whole), the record's data,
// and four check bytes at a place of the record's own, the first four of the data's MD5
// (FF FF FF FF: a copy stored without them, by an older program or a tool, taken as it is). The first copy is where
// the record has always been; the second in a sector of its own. The start takes the first
// copy when it is whole, else the second, else none. A store writes the copy the start would
// not take whole (its mark last), then the other the same way; an erase erases them in that
// order too.
#include <cstdint>

#include "video_io/fpga_regs.h"

class fpga_drv;

namespace fpga {

struct RecordCopies {
    uint32_t sector[2];
    // The record's length (mark and data, without the check) from its first 8 bytes; 0 when
    // those bytes cannot begin one.
    uint32_t (*length_of)(const uint8_t* head);
    // Where in each copy's sector the check lies: past the longest record.
    uint32_t check_at;
};

uint32_t page_record_length(const uint8_t* head);
uint32_t cmd_record_length(const uint8_t* head);  // mark, command, ..., length at 6-7, data

// The page's check follows it; a command-page record's ends its sector, as a tool that
// writes a record may leave data past the length the record states.
constexpr RecordCopies kPageRecord = {{FLASH_PARA_SECTOR, FLASH_PARA_COPY_SECTOR}, page_record_length, 1 + kPageSize};
constexpr RecordCopies kOnOffRecord = {{FLASH_ONOFF_SECTOR, FLASH_ONOFF_COPY_SECTOR}, cmd_record_length,
                                       kFlashSector - 4};
constexpr RecordCopies kBrightRecord = {{FLASH_BRIGHT_SECTOR, FLASH_BRIGHT_COPY_SECTOR}, cmd_record_length,
                                        kFlashSector - 4};

enum class RecordSave { Unchanged, Stored, Failed };

// Stores `record` (`len` bytes, the 0xAA mark first) in both copies. With `keep_unchanged`,
// Unchanged, writing nothing, when the first copy is whole and holds this record already.
// Failed when an erase or write failed (a start then loads the record stored before or the
// new one). `erase_issued`, when given, is set once an erase command went out.
RecordSave save_record(fpga_drv& drv, const RecordCopies& copies, const uint8_t* record, uint32_t len,
                       bool keep_unchanged, bool* erase_issued = nullptr);

// Erases both copies; false when an erase failed.
bool erase_record(fpga_drv& drv, const RecordCopies& copies, bool* erase_issued = nullptr);

// Reads the first `max` bytes (at most 1025) of the first whole copy into `record` and returns
// the record's length; 0 when neither copy is whole.
uint32_t load_record(fpga_drv& drv, const RecordCopies& copies, uint8_t* record, uint32_t max);

// Whether a start would find the record: a whole copy it would load. What a store or an erase
// that failed part way left is reported from this, not from the step it failed at.
bool record_stored(fpga_drv& drv, const RecordCopies& copies);

// After a tool's own write or erase reached the first copy's mark byte: when that copy is no
// longer marked the tool removed the record, and a whole second copy is erased so that the
// next start does not bring it back. True when the first copy is marked.
bool follow_first_copy(fpga_drv& drv, const RecordCopies& copies);

// The LED page (1024 bytes) as a record of its own.
using PageSave = RecordSave;
PageSave save_page_record(fpga_drv& drv, const uint8_t* page);
bool load_page_record(fpga_drv& drv, uint8_t* page);

}  // namespace fpga
