#pragma once
// The parameter store: the 4096-byte parameter image every subsystem reads and writes by
// address (see core/ram_map.h), its shadow copy, the sixteen user-mode slots, the processor
// register block of the remote protocol and the status page.
//
// Locking: editors of the image take c331_shared::c331_lock (reached as c331_manage::c331_lock),
// write, raise the change flag and unlock. The receiver drivers write the input timing records
// under ram_mutex instead and then call test_signal(1). Readers take no lock.
#include <QObject>
#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "core/globals.h"
#include "core/ram_map.h"

struct SRC_TIMING {  // image 0x100 + 6s
    u16 width;
    u16 height;
    u16 refresh;
};

struct EDID_PARA {  // image 0x380 + 6p
    u16 width;
    u16 height;
    u16 refresh;
};

// One crop row widened to five integers; the operations use the low 16 bits of x..height.
struct CROP_PARA {
    int32_t key;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// User-mode slots: marker, then a copy of image 0x380..0xFFF. Bytes 0..4095 are the mode file.
constexpr int MODE_SLOTS = 16;
constexpr int MODE_SLOT_SIZE = 4098;
constexpr int MODE_FILE_SIZE = 4096;
constexpr int MODE_SLOT_IMAGE = 2;     // slot byte of image 0x380
constexpr u8 MODE_MARKER_SAVED = 0xAA;
constexpr u8 MODE_MARKER_EMPTY = 0xFF;
// Slot byte holding the copy of image address a (a in 0x380..0xFFF).
constexpr int mode_slot_offset(uint32_t a) { return static_cast<int>(a - RAM_MODE_BASE) + MODE_SLOT_IMAGE; }
constexpr int MODE_SLOT_OSD = mode_slot_offset(ram_osd_enable);  // 1230

struct MODE_SLOT {
    u8 bytes[MODE_SLOT_SIZE];
    u8* image() { return bytes + MODE_SLOT_IMAGE; }  // laid out like image 0x380..
    const u8* image() const { return bytes + MODE_SLOT_IMAGE; }
    // The panel reads the marker and the copy without c331_lock: the writers (under it) store
    // whole bytes and words, as the image's writers do.
    bool saved() const { return ram_rd8(bytes[0]) == MODE_MARKER_SAVED && ram_rd8(bytes[1]) == MODE_MARKER_SAVED; }
    void mark(u8 marker)
    {
        ram_wr8(bytes[0], marker);
        ram_wr8(bytes[1], marker);
    }
    void copy_in(uint32_t offset, const u8* src, size_t length) { ram_copy_in(bytes, offset, src, length); }
};

// Register block: registers 0..169 are one run over reg_file[37] and status_page[1024];
// registers 160..164 are stored in reg_file bytes 32..36.
constexpr int REG_FILE_SIZE = 37;
constexpr int STATUS_PAGE_SIZE = 1024;
constexpr int REG_COUNT = 170;

// Status page bytes with a meaning.
constexpr int STATUS_CHIP_PRESENT = 0;  // IT6602 rx 0..3 bits 0,2,3,4; IT6805 bits 5,6; bit 7 EDID 0 good
constexpr int STATUS_EDID = 1;          // bits 0..4 EDID 1..5 good; 5 switch ok; 6 EEPROM switch ok; 7 clkgen 0
constexpr int STATUS_HW = 2;            // bit 0 clock generator 1; bits 1, 2 set at boot
constexpr int STATUS_WORD = 3;          // u32 at bytes 3..6
constexpr int STATUS_FONT = 6;          // font status bits

// Per-source crop presence: six 5-byte bit maps (bit c-1 set while source s has crop number c).
extern u8 g_cut_source_state[30];

class TlxRamPara : public QObject {
    Q_OBJECT
public:
    static TlxRamPara* pInstance();  // creates on the first call, then (re)runs the boot load
    static TlxRamPara* p_tlxrampara_config;
    // The store as a thread started before it was created sees it (the UDP transports).
    static TlxRamPara* published() { return __atomic_load_n(&p_tlxrampara_config, __ATOMIC_ACQUIRE); }

    // Whether the scaler's output channels can show an LED screen (width, height, first output
    // width and height, splice mode): the scaler's own rule, installed before the first load.
    // The load keeps a stored splice mode only for a screen that shows with it and not without;
    // with no rule installed it clears the splice mode whatever the screen.
    using ScreenRule = bool (*)(int ledW, int ledH, int out1w, int out1h, int splice);
    static void set_screen_rule(ScreenRule rule);

    pthread_mutex_t ram_mutex;  // input timing records only
    alignas(4) u8 ram_image[RAM_IMAGE_SIZE];  // aligned: 16-bit fields are single accesses
    u8 ram_shadow[RAM_IMAGE_SIZE];   // the image as last written to the parameter file
    // The image as the scaler's apply pass last applied it (as loaded until its first pass).
    // The pass finds its changes against this copy, so a change undone before the file is
    // written is still applied both ways. Written by the scaler thread under c331_lock.
    u8 ram_applied[RAM_IMAGE_SIZE];
    MODE_SLOT mode_slot[MODE_SLOTS];
    u8 reg_file[REG_FILE_SIZE];
    u8 status_page[STATUS_PAGE_SIZE];

    // Remote register n (0..169) as a byte of the register block; null when n is out of range.
    u8* reg_byte(int n);

    // ---- signal and remote writes ----
    int test_signal(int code);  // emits sig_update_para(code); returns 1
    int ram_para_save();        // test_signal(1)
    // Remote writes: 0 done, 1 refused (out of range). Copy under c331_lock, raise no flag.
    int TlxRamParaDeal(const u8* data, u16 length, u32 address);
    int TlxModeUserRamParaDeal(const u8* data, u16 length, u32 address);

    // ---- windows, crops, EDID ----
    // base: the image (bank 0) or a slot's image() (bank 1). An out-of-range window, crop row
    // or source value reads as source 0xFF ("no source").
    u8 TlxGetImageSource(const u8* base, u8 window, int16_t* is_crop, u8* crop_row, u8 bank);
    int TlxGetSourceNum(int source, int rows);
    void TlxCropSourceInit();
    int TlxGetCropID(int source, int n);
    int TlxAddCropID(int source);
    void TlxGetCropPara(int source, int n, CROP_PARA* out, int* row);
    // By the crop's number n (1..) among its source's crops, for a caller that just listed them;
    // kept as the store's interface, though the crop editor writes by id (below).
    void TlxSetCropPara(char source, char n, const CROP_PARA* in);
    // False when the table has no free row (or the source no free id): nothing is written.
    bool TlxAddNewCrop(int source, const CROP_PARA* in);
    void TlxDeleteCrop(char source, char n);
    // The crop of source `source` with crop id `id` (1..40), looked up under the lock as it is
    // written: a page that names its crop by id never reaches another one after a tool
    // changed the table. False when no row holds that crop any more.
    bool TlxSetCropById(int source, int id, const CROP_PARA* in);
    bool TlxDeleteCropById(int source, int id);
    void TlxSetImageSource(int n, char source, char window);
    void TlxSetEDIDPara(int input, int16_t width, int16_t height, int16_t refresh);

    // ---- language and user modes ----
    int TlxLanguageChanged();
    int TlxUserModeSaved(int slot);
    int TlxUserModeIndex(char slot, char direction);  // slot 0..15 or 0x100
    int TlxGetCurrentModeIndex();
    int mode_file_deal(int slot, int del);  // 1 slot loaded from its file, 0 empty/refused
    // Saves image 0x380..0xFFF as user mode `slot`: writes "/data/modes/custom_mode<slot+1>"
    // (with `copy_osd` while the OSD is on, the OSD menu is copied beside it first); only once
    // both are written does the slot take the copy and the saved marker, and only when the
    // remote tool did not write the slot meanwhile (its write then stays for its next apply).
    // 1 written, 0 failed (logged with the file and the reason; the slot and the old file are
    // left as they were).
    int mode_file_save(int slot, bool copy_osd);

    // The slots the remote tool wrote since the last call (bit n for slot n), cleared by the
    // call: the user-mode change of para_sync acts on these only. A save or delete of a slot
    // from the store's own side (the panel, a save request) ends the slot's mark when the tool
    // has not applied it yet: what the tool wrote before is overwritten and is not applied
    // later. An applied mark stays: the tool's change is carried out after the save or delete,
    // and the slot keeps the tool's bytes till then. Caller holds c331_lock.
    // Until end_remote_slot_change(), a save or delete of a slot taken here keeps a tool's
    // write made since the take: that write waits for the tool's next apply.
    u32 take_remote_slot_marks();
    void end_remote_slot_change();  // caller holds c331_lock
    // The tool applies its slot writes (register 11 bit 2): the marks now set are applied.
    // Caller holds c331_lock.
    void note_remote_slots_applied_locked() { remote_slots_applied_ |= remote_slot_marks_; }
    // The mode of slot `slot` as the panel shows and recalls it: the slot, or, while the slot
    // carries a tool's write not yet carried out, the mode's file (empty without one), so that
    // the panel never takes up bytes that may never be stored. `out` (may be null) receives
    // that copy. True when it holds a saved mode. Caller does not hold c331_lock.
    bool panel_mode(int slot, MODE_SLOT* out);

    // Remote slot changes (code 2 signalled to a receiver) para_sync has not yet carried out:
    // a restart waits for them. para_sync reads slot_changes_asked() before it takes the
    // marks and reports it back once the mode files are written.
    u32 slot_changes_asked() const { return slot_changes_asked_.load(); }
    void note_slot_changes_done(u32 asked) { slot_changes_done_.store(asked); }
    bool slot_change_queued() const { return slot_changes_asked_.load() != slot_changes_done_.load(); }

    // True while a remote image write has not yet been covered by a raised change flag;
    // para_sync must not copy such bytes into the shadow. Caller holds c331_lock.
    bool remote_write_pending() const;
    // True once since a remote RAM write covered the current-mode word (then cleared).
    // Caller holds c331_lock.
    bool take_remote_mode_word_written();
    // Notes that the change flag was seen raised: every remote write made before is covered
    // by the apply pass that will clear it.
    void note_change_flag_seen();

signals:
    void sig_update_para(int code);

private:
    TlxRamPara();
    void boot_load();
    void load_param_file();
    void clear_volatile_fields();
    bool splice_needed() const;
    void reset_status_page();
    int crop_row_of(int source, int crop_number) const;  // RAM_CROP_ROWS when none
    bool delete_mode_files(int slot);
    // The write count a save or delete of the slot starting now is measured from (under c331_lock).
    u32 slot_writes_base_locked(int slot) const;
    // Ends the tool's mark on a slot the store's own side has just saved or deleted (under
    // c331_lock); `what` names that for the log.
    void end_remote_mark_locked(int slot, const char* what);

    static ScreenRule screen_rule_;

    // Remote image writes made / known to be covered by an apply pass (see remote_write_pending).
    std::atomic<u32> remote_writes_{0};
    std::atomic<u32> remote_writes_covered_{0};
    u32 remote_slot_marks_ = 0;  // slots written remotely (under c331_lock)
    u32 remote_slots_applied_ = 0;  // of those, the marks the tool applied (under c331_lock)
    // Remote writes into each slot (under c331_lock): a mode file write or delete that works
    // outside the lock finds whether the tool wrote the slot meanwhile.
    u32 remote_slot_writes_[MODE_SLOTS] = {};
    // The slots a remote slot change took, and their write counts then (under c331_lock).
    u32 remote_slots_taken_ = 0;
    u32 remote_slot_writes_taken_[MODE_SLOTS] = {};
    std::atomic<u32> slot_changes_asked_{0};
    std::atomic<u32> slot_changes_done_{0};
    bool remote_mode_word_written_ = false;  // a remote write covered the current-mode word (under c331_lock)
};
