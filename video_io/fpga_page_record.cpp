#include "video_io/fpga_page_record.h"

#include <cstring>
#include <mutex>

#include "core/md5.h"
#include "core/pending_writes.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_regs.h"

namespace fpga {
namespace {

constexpr uint32_t kCheckLen = 4;
constexpr uint32_t kMaxLen = 1 + kPageSize;  // the longest record: mark and page
constexpr uint8_t kNoCheck[kCheckLen] = {0xFF, 0xFF, 0xFF, 0xFF};

// One store, erase or load at a time: two tools storing at once would program one copy with
// both records (a program only clears bits).
std::mutex g_record_mutex;

uint32_t copy_address(const RecordCopies& copies, int copy) { return copies.sector[copy] * kFlashSector; }

void put_check(const uint8_t* record, uint32_t len, uint8_t* check)
{
    MD5 md5;
    md5.update(record + 1, len - 1);
    std::memcpy(check, md5.digest(), kCheckLen);
}

// Reads the first kMaxLen bytes of one copy into `record`; the record's length when the copy
// is whole (marked, and its check matches or was never written), else 0. A copy without a
// check whose length bytes cannot be one (a tool's record that left them erased) is whole as
// it is: its length then reads as kMaxLen.
uint32_t read_copy(fpga_drv& drv, const RecordCopies& copies, int copy, uint8_t* record)
{
    const uint32_t at = copy_address(copies, copy);
    uint8_t stored[kCheckLen];
    if (!drv.FPGA_SPI_FLASH_VBYONE_READ(kFlashChip0, at, kMaxLen, record) || record[0] != kRecordValid ||
        !drv.FPGA_SPI_FLASH_VBYONE_READ(kFlashChip0, at + copies.check_at, kCheckLen, stored))
        return 0;
    const uint32_t len = copies.length_of(record);
    if (std::memcmp(stored, kNoCheck, kCheckLen) == 0)
        return len >= 1 && len <= kMaxLen ? len : kMaxLen;
    if (len < 1 || len > kMaxLen)
        return 0;
    uint8_t check[kCheckLen];
    put_check(record, len, check);
    return std::memcmp(stored, check, kCheckLen) == 0 ? len : 0;
}

// Erases the copy's sector, programs data and check, and the mark last: a cut part way leaves
// the copy without its mark.
bool write_copy(fpga_drv& drv, const RecordCopies& copies, int copy, const uint8_t* record, uint32_t len,
                const uint8_t* check, bool* erase_issued)
{
    const uint32_t at = copy_address(copies, copy);
    if (!drv.FPGA_SPI_FLASH_VBYONE_ERASE(kFlashChip0, copies.sector[copy], 0, 1, erase_issued))
        return false;
    if (copies.check_at == len) {  // data and check in one
        uint8_t body[kMaxLen + kCheckLen];
        std::memcpy(body, record, len);
        std::memcpy(body + len, check, kCheckLen);
        if (!drv.FPGA_SPI_FLASH_VBYONE_WRITE(kFlashChip0, at + 1, body + 1, len - 1 + kCheckLen))
            return false;
    } else if ((len > 1 && !drv.FPGA_SPI_FLASH_VBYONE_WRITE(kFlashChip0, at + 1, record + 1, len - 1)) ||
               !drv.FPGA_SPI_FLASH_VBYONE_WRITE(kFlashChip0, at + copies.check_at, check, kCheckLen)) {
        return false;
    }
    return drv.FPGA_SPI_FLASH_VBYONE_WRITE(kFlashChip0, at, record, 1);
}

}  // namespace

uint32_t page_record_length(const uint8_t*) { return 1 + kPageSize; }

uint32_t cmd_record_length(const uint8_t* head)
{
    const uint32_t n = CMD_DATA + (uint32_t(head[CMD_LENGTH]) | uint32_t(head[CMD_LENGTH + 1]) << 8);
    return n <= kCmdDataMax ? n : 0;
}

RecordSave save_record(fpga_drv& drv, const RecordCopies& copies, const uint8_t* record, uint32_t len,
                       bool keep_unchanged, bool* erase_issued)
{
    if (len < 1 || len > kMaxLen || record[0] != kRecordValid || copies.length_of(record) != len)
        return RecordSave::Failed;
    std::lock_guard<std::mutex> lk(g_record_mutex);
    const pending_writes::StoreUnderWay under_way;
    uint8_t stored[kMaxLen];
    const uint32_t first_len = read_copy(drv, copies, 0, stored);
    if (keep_unchanged && first_len == len && std::memcmp(stored, record, len) == 0)
        return RecordSave::Unchanged;  // no erase for a record the flash holds: its sectors wear
    uint8_t check[kCheckLen];
    put_check(record, len, check);
    // The copy a start would not load is written first: until it is whole the one it loads
    // keeps the record stored before, and from then on the new record is whole in one of them.
    const int first = first_len ? 1 : 0;
    return write_copy(drv, copies, first, record, len, check, erase_issued) &&
                   write_copy(drv, copies, 1 - first, record, len, check, erase_issued)
               ? RecordSave::Stored
               : RecordSave::Failed;
}

bool erase_record(fpga_drv& drv, const RecordCopies& copies, bool* erase_issued)
{
    std::lock_guard<std::mutex> lk(g_record_mutex);
    const pending_writes::StoreUnderWay under_way;
    uint8_t stored[kMaxLen];
    const int first = read_copy(drv, copies, 0, stored) ? 1 : 0;
    return drv.FPGA_SPI_FLASH_VBYONE_ERASE(kFlashChip0, copies.sector[first], 0, 1, erase_issued) &&
           drv.FPGA_SPI_FLASH_VBYONE_ERASE(kFlashChip0, copies.sector[1 - first], 0, 1, erase_issued);
}

uint32_t load_record(fpga_drv& drv, const RecordCopies& copies, uint8_t* record, uint32_t max)
{
    std::lock_guard<std::mutex> lk(g_record_mutex);
    uint8_t stored[kMaxLen];
    for (int copy = 0; copy < 2; ++copy) {
        if (const uint32_t len = read_copy(drv, copies, copy, stored)) {
            std::memcpy(record, stored, max < kMaxLen ? max : kMaxLen);
            return len;
        }
    }
    return 0;
}

bool record_stored(fpga_drv& drv, const RecordCopies& copies)
{
    uint8_t record[kMaxLen];
    return load_record(drv, copies, record, sizeof record) != 0;
}

bool follow_first_copy(fpga_drv& drv, const RecordCopies& copies)
{
    std::lock_guard<std::mutex> lk(g_record_mutex);
    uint8_t mark[2] = {0xFF, 0xFF};
    drv.FPGA_SPI_FLASH_VBYONE_READ(kFlashChip0, copy_address(copies, 0), 1, &mark[0]);
    if (mark[0] == kRecordValid)
        return true;
    drv.FPGA_SPI_FLASH_VBYONE_READ(kFlashChip0, copy_address(copies, 1), 1, &mark[1]);
    if (mark[1] == kRecordValid)
        drv.FPGA_SPI_FLASH_VBYONE_ERASE(kFlashChip0, copies.sector[1], 0, 1);
    return false;
}

PageSave save_page_record(fpga_drv& drv, const uint8_t* page)
{
    uint8_t record[kMaxLen];
    record[0] = kRecordValid;
    std::memcpy(record + 1, page, kPageSize);
    return save_record(drv, kPageRecord, record, sizeof record, true);
}

bool load_page_record(fpga_drv& drv, uint8_t* page)
{
    uint8_t record[kMaxLen];
    if (!load_record(drv, kPageRecord, record, sizeof record))
        return false;
    std::memcpy(page, record + 1, kPageSize);
    return true;
}

}  // namespace fpga
