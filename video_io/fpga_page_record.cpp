#include "video_io/fpga_page_record.h"

#include <cstring>
#include <mutex>

#include "core/md5.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_regs.h"

namespace fpga {
namespace {

constexpr uint32_t kCheckLen = 4;
constexpr uint32_t kRecordLen = 1 + kPageSize + kCheckLen;  // mark, page, check
constexpr uint8_t kNoCheck[kCheckLen] = {0xFF, 0xFF, 0xFF, 0xFF};

// One save or load at a time: two tools saving at once would program one copy with both
// pages (a program only clears bits).
std::mutex g_record_mutex;

uint32_t copy_address(int copy) { return kPageRecordSector[copy] * kFlashSector; }

void put_check(const uint8_t* page, uint8_t* check)
{
    MD5 md5;
    md5.update(page, kPageSize);
    std::memcpy(check, md5.digest(), kCheckLen);
}

// Reads one copy; true when it is whole (marked, and its check matches or was never written).
bool read_copy(fpga_drv& drv, int copy, uint8_t* record)
{
    if (!drv.FPGA_SPI_FLASH_VBYONE_READ(kFlashChip0, copy_address(copy), kRecordLen, record) ||
        record[0] != kRecordValid)
        return false;
    uint8_t check[kCheckLen];
    put_check(record + 1, check);
    const uint8_t* stored = record + 1 + kPageSize;
    return std::memcmp(stored, check, kCheckLen) == 0 || std::memcmp(stored, kNoCheck, kCheckLen) == 0;
}

// Erases the copy's sector, programs page and check, and the mark last: a cut part way leaves
// the copy without its mark.
bool write_copy(fpga_drv& drv, int copy, const uint8_t* record)
{
    const uint32_t at = copy_address(copy);
    return drv.FPGA_SPI_FLASH_VBYONE_ERASE(kFlashChip0, kPageRecordSector[copy], 0, 1) &&
           drv.FPGA_SPI_FLASH_VBYONE_WRITE(kFlashChip0, at + 1, record + 1, kRecordLen - 1) &&
           drv.FPGA_SPI_FLASH_VBYONE_WRITE(kFlashChip0, at, record, 1);
}

}  // namespace

PageSave save_page_record(fpga_drv& drv, const uint8_t* page)
{
    std::lock_guard<std::mutex> lk(g_record_mutex);
    uint8_t record[kRecordLen];
    const bool first_whole = read_copy(drv, 0, record);
    if (first_whole && std::memcmp(record + 1, page, kPageSize) == 0)
        return PageSave::Unchanged;  // no erase for a page the flash holds: its sectors wear
    record[0] = kRecordValid;
    std::memcpy(record + 1, page, kPageSize);
    put_check(page, record + 1 + kPageSize);
    // The copy a start would not load is written first: until it is whole the one it loads
    // keeps the page saved before, and from then on the new page is whole in one of them.
    const int first = first_whole ? 1 : 0;
    return write_copy(drv, first, record) && write_copy(drv, 1 - first, record) ? PageSave::Stored
                                                                                : PageSave::Failed;
}

bool load_page_record(fpga_drv& drv, uint8_t* page)
{
    std::lock_guard<std::mutex> lk(g_record_mutex);
    uint8_t record[kRecordLen];
    for (int copy = 0; copy < 2; ++copy) {
        if (read_copy(drv, copy, record)) {
            std::memcpy(page, record + 1, kPageSize);
            return true;
        }
    }
    return false;
}

}  // namespace fpga
