// The EDID EEPROMs of the six inputs: the check and repair after the reset cycle, and the
// custom-EDID writes of the polling pass.
#include <QMutexLocker>
#include <cstring>
#include <string>

#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/factory_image.h"
#include "core/log.h"
#include "core/requests.h"
#include "core/utils.h"
#include "platform/board.h"
#include "video_io/Drv_I2C0.h"
#include "video_io/edid_images.h"
#include "video_io/soc_pads.h"
#include "video_io/source_status.h"
#include "video_io/zeltasource.h"

namespace {
constexpr int kPage = 8;               // bytes per EEPROM transfer
constexpr int kWriteCycleLooks = 10;   // acknowledge polls after a page write, 1 ms apart
constexpr uint8_t kNeverBits = 0x5F;   // edid_status bits 0..4 and 6

void write_protect(bool on)
{
    platform::board().soc_window().write16(pads::PAD_EDID_WP, on ? pads::kHigh : pads::kLow);
}

QString check_edid_setting()
{
    QMutexLocker lk(&g_config_text_mutex());
    return g_check_edid;
}
}  // namespace

uint8_t zeltasource::CalcSum4LCD(uint8_t seed, const uint8_t* data, int length)
{
    return edid::sum8(seed, data, length);
}

uint8_t* zeltasource::edid_image(int r)
{
    if (r >= 0 && r < 4)
        return zelta_default_edid_6602[r];
    if (r >= 4 && r < 6)
        return zelta_default_edid_6805[r - 4];
    return nullptr;
}

bool zeltasource::Set_Custom_HDMI_EDID(int width, int height, int refresh, int r)
{
    uint8_t* image = edid_image(r);
    if (!image)
        return false;
    uint8_t d[12];
    if (width <= 0 || height <= 0 || refresh <= 0 ||
        !edid::custom_descriptor(r, uint32_t(width), uint32_t(height), uint32_t(refresh), d)) {
        const edid::TimingFault fault = width <= 0 || height <= 0 ? edid::TimingFault::Size
                                        : refresh <= 0           ? edid::TimingFault::Clock
                                                                 : edid::timing_fault(r, uint32_t(width), uint32_t(height), uint32_t(refresh));
        writeLogMsg(LOG_WARNING, "custom EDID of input " + std::to_string(r) + " refused: " + std::to_string(width) +
                                     "x" + std::to_string(height) + "@" + std::to_string(refresh) + ": " +
                                     edid::timing_fault_text(fault) + "; the EEPROM keeps its EDID");
        return false;
    }
    std::memcpy(image + 54, d, sizeof d);
    // The second descriptor is a whole copy of the first: its size, border and flag bytes
    // would otherwise be left from what the slot held before (text, or a range descriptor).
    std::memcpy(image + 72, image + 54, 18);
    image[127] = uint8_t(0x100 - CalcSum4LCD(0, image, 127));
    return true;
}

// ---- EEPROM access ---------------------------------------------------------------------------

bool zeltasource::select_eeprom(int r)
{
    return select(kEepromSwitch, kChannel[r]);
}

// 32 reads of 8 bytes; the result is that of the last read.
bool zeltasource::eeprom_read(uint8_t* image)
{
    int ok = 0;
    for (int off = 0; off < edid::kImageSize; off += kPage)
        ok = i2c->i2c_read(fd, kEeprom, uint8_t(off), image + off, kPage);
    return ok == 1;
}

// 32 page writes, each followed by acknowledge polling until the write cycle is over. A
// restart waits while eeprom_writing is up.
bool zeltasource::eeprom_write(const uint8_t* image)
{
    struct Writing {
        Writing() { scaler_req::eeprom_writing = 1; }
        ~Writing() { scaler_req::eeprom_writing = 0; }
    } writing;
    bool all = true;
    for (int off = 0; off < edid::kImageSize; off += kPage) {
        uint8_t page[kPage];
        std::memcpy(page, image + off, kPage);
        all = i2c->i2c_write(fd, kEeprom, uint8_t(off), page, kPage) == 1 && all;
        for (int look = 0; look < kWriteCycleLooks; ++look) {
            platform::sleep_ms(1);
            if (i2c->i2c_write(fd, kEeprom, uint8_t(off), nullptr, 0) == 1)
                break;
        }
    }
    return all;
}

bool zeltasource::edid_valid(const uint8_t* image)
{
    return edid::base_block_valid(image);
}

// EEPROM-good bits: receiver 0 in chip_present bit 7, receivers 1..5 in edid_status bits 0..4.
bool zeltasource::eeprom_good(int r) const
{
    return r == 0 ? source_status::bits(STATUS_CHIP_PRESENT, 0x80) : source_status::bits(STATUS_EDID, uint8_t(1 << (r - 1)));
}

void zeltasource::set_eeprom_good(int r, bool good)
{
    if (r == 0)
        source_status::set_bits(STATUS_CHIP_PRESENT, 0x80, good);
    else
        source_status::set_bits(STATUS_EDID, uint8_t(1 << (r - 1)), good);
}

// ---- the check (state 4) ---------------------------------------------------------------------

// Every setting checks the base blocks: an EEPROM a restart cut off in the middle of a write
// is torn whether or not the configuration asked for a check, and nothing else repairs it.
void zeltasource::edid_check()
{
    for (int r = 0; r < kSourceCount; ++r) {
        write_protect(true);
        if (eeprom_good(r) && !edid_check_one(r))
            return;  // a repaired EEPROM failed its read-back: another reset cycle
    }
    set_state(5);
    edid_check_done();
}

// One receiver's EEPROM: read, and rewrite when invalid. false when the rewrite did not hold.
// An EEPROM that does not answer has nothing to repair: it is only marked bad.
bool zeltasource::edid_check_one(int r)
{
    source_status::set_bits(STATUS_EDID, 0x40, select_eeprom(r));
    uint8_t buf[edid::kImageSize] = {};
    platform::sleep_ms(10);
    const bool answered = eeprom_read(buf);
    set_eeprom_good(r, answered);
    if (answered && edid_valid(buf))
        edid_follow_record(r, buf);
    if (!answered || edid_valid(buf))
        return true;
    writeLogMsg(LOG_WARNING, "EDID EEPROM of input " + std::to_string(r) + " invalid: rewriting it");
    write_protect(false);
    eeprom_write(repair_image(r));
    std::memset(buf, 0, sizeof buf);
    platform::sleep_ms(10);
    eeprom_read(buf);
    write_protect(true);
    if (edid_valid(buf)) {
        set_eeprom_good(r, true);
        return true;
    }
    writeLogMsg(LOG_WARNING, "EDID EEPROM of input " + std::to_string(r) + " not repaired: skipped from now on");
    set_eeprom_good(r, false);
    {
        QMutexLocker lk(&Utils::_source_init_mutex);
        reset_request[0] = 1;
        reset_request[4] = 1;
    }
    set_state(0);
    return false;
}

// The record and the EEPROM part when a record's store failed after its EEPROM was written,
// or the power was cut between the two: the record is what the panel and a tool see, so the
// EEPROM is written from it (through the custom EDID write, which sets a record the EEPROM
// cannot hold back to what it holds).
void zeltasource::edid_follow_record(int r, const uint8_t* held_image)
{
    uint16_t rec[3];
    uint16_t held[3];
    if (!edid_record(r, rec) || !edid::descriptor_timing(held_image, held))
        return;
    if (rec[0] == held[0] && rec[1] == held[1] && rec[2] == held[2])
        return;
    if (scaler_req::edid_request[r] && !scaler_req::edid_done[r])
        return;  // a write of the record is asked for already
    writeLogMsg(LOG_WARNING, "EDID EEPROM of input " + std::to_string(r) + " holds " + std::to_string(held[0]) + "x" +
                                 std::to_string(held[1]) + "@" + std::to_string(held[2]) + ", its record " +
                                 std::to_string(rec[0]) + "x" + std::to_string(rec[1]) + "@" + std::to_string(rec[2]) +
                                 ": written from the record");
    scaler_req::raise_edid(r);
}

// After the check: a "Once" check is not repeated at the next start; "Never" reports every
// EEPROM good without touching the bus.
void zeltasource::edid_check_done()
{
    const QString setting = check_edid_setting();
    if (setting == QLatin1String("Once")) {
        ConfigEngine::write_config_variant(ConfigItem::EDIDCheck, QStringLiteral("Never"));
        platform::sleep_ms(1);
        Utils::system_mutex(QStringLiteral("sync"));
        platform::sleep_ms(1);
    } else if (setting == QLatin1String("Never")) {
        source_status::set_bits(STATUS_CHIP_PRESENT, 0x80, true);
        source_status::set_bits(STATUS_EDID, kNeverBits, true);
    }
}

// The image a repair writes: receiver r's image with the custom timing of its record, so an
// EDID applied before a restart comes back; a record that still holds the factory timing
// keeps the image's standard timings.
const uint8_t* zeltasource::repair_image(int r)
{
    uint16_t rec[3];
    if (edid_record(r, rec)) {
        const uint8_t* factory = ConfigEngine::default_para_ramlist;
        const uint32_t f = factory_offset(ram_edid_addr(r));
        if (rec[0] != ram_rd16(factory, f) || rec[1] != ram_rd16(factory, f + 2) || rec[2] != ram_rd16(factory, f + 4))
            Set_Custom_HDMI_EDID(rec[0], rec[1], rec[2], r);
    }
    return edid_image(r);
}

// Receiver r's EDID record of the image (width, height, refresh); false without a store.
bool zeltasource::edid_record(int r, uint16_t rec[3])
{
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return false;
    QMutexLocker lk(&c331_shared::c331_lock);
    const uint32_t a = ram_edid_addr(r);
    rec[0] = ram_rd16(store->ram_image, a);
    rec[1] = ram_rd16(store->ram_image, a + 2);
    rec[2] = ram_rd16(store->ram_image, a + 4);
    return true;
}

// ---- custom EDID (polling pass) -------------------------------------------------------------

// true when it wrote (or refused) any.
bool zeltasource::custom_edid_writes()
{
    bool served = false;
    for (int r = 0; r < kSourceCount; ++r)
        if (scaler_req::edid_request[r] && !scaler_req::edid_done[r]) {
            write_custom_edid(r);
            served = true;
        }
    return served;
}

// Builds receiver r's custom EDID from its image record and writes it; the write is read
// back and a failure reported. The request is consumed either way (a refused timing too),
// unless a newer one came while this one was served: then the next pass writes again.
void zeltasource::write_custom_edid(int r)
{
    const uint32_t gen = scaler_req::edid_generation[r];
    uint16_t rec[3] = {};
    edid_record(r, rec);
    if (!Set_Custom_HDMI_EDID(rec[0], rec[1], rec[2], r)) {
        record_eeprom_timing(r, rec);
        if (scaler_req::edid_written(r, gen))
            scaler_req::take_served_edid(r);  // nothing new to serve: no restart of the receiver
        return;
    }
    write_protect(false);
    bool stored = false;
    if (select_eeprom(r)) {
        const uint8_t* image = edid_image(r);
        eeprom_write(image);
        uint8_t back[edid::kImageSize] = {};
        eeprom_read(back);
        stored = std::memcmp(back, image, sizeof back) == 0;
    }
    if (!stored) {
        writeLogMsg(LOG_WARNING, "custom EDID of input " + std::to_string(r) + " not stored in its EEPROM");
        record_eeprom_timing(r, rec);
    } else {
        QMutexLocker lk(&c331_shared::c331_lock);
        c331_shared::eeprom_held[r].valid = false;
    }
    scaler_req::edid_written(r, gen);
}

// Receiver r's record `refused` is not what its EEPROM holds: unless a newer record came
// meanwhile, the record is set back to the timing the EEPROM holds, so that the panel's card
// and a tool reading the record show what a source is told. An EEPROM that holds no valid
// EDID leaves the record as it is.
void zeltasource::record_eeprom_timing(int r, const uint16_t refused[3])
{
    uint8_t buf[edid::kImageSize] = {};
    uint16_t held[3];
    if (!select_eeprom(r) || !eeprom_read(buf) || !edid::base_block_valid(buf) || !edid::descriptor_timing(buf, held))
        return;
    TlxRamPara* store = TlxRamPara::p_tlxrampara_config;
    if (!store)
        return;
    QMutexLocker lk(&c331_shared::c331_lock);
    const uint32_t a = ram_edid_addr(r);
    for (int i = 0; i < 3; ++i)
        if (ram_rd16(store->ram_image, a + 2 * i) != refused[i])
            return;  // a newer record: its own write follows
    for (int i = 0; i < 3; ++i) {
        ram_wr16(store->ram_image, a + 2 * i, held[i]);
        // The EEPROM holds it already: the apply pass asks for no write of it.
        ram_wr16(store->ram_applied, a + 2 * i, held[i]);
        c331_shared::eeprom_held[r].timing[i] = held[i];
    }
    c331_shared::eeprom_held[r].valid = true;
    c331_raise_own_change_locked(1);  // the parameter file takes it
    writeLogMsg(LOG_WARNING, "EDID record of input " + std::to_string(r) + " set back to " + std::to_string(held[0]) +
                                 "x" + std::to_string(held[1]) + "@" + std::to_string(held[2]) +
                                 ", the timing its EEPROM holds");
}
