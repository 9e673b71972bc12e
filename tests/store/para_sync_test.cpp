#include <QMutexLocker>
#include <atomic>
#include <thread>
#include <csignal>
#include <random>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/pending_writes.h"
#include "store_fixture.h"

namespace {

int count_lines(const std::vector<std::string>& h, const std::string& line)
{
    int n = 0;
    for (const auto& l : h)
        n += l == line;
    return n;
}

// What the scaler's apply pass does at its end: signal while the flag is raised, then clear
// it. Returns the code it signalled.
int apply_pass(TlxRamPara* s)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    const int code = c331_shared::param_changed.load();
    s->test_signal(code);
    c331_shared::param_changed = 0;
    return code;
}

// A change a user or a tool makes (or, `own`, one the device makes by itself): written under
// the lock with the change flag raised, then applied.
void user_change(TlxRamPara* s, uint32_t addr, u16 value, bool own = false)
{
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(s->ram_image, addr, value);
        if (own)
            c331_raise_own_change_locked(1);
        else
            c331_raise_change_locked(1);
    }
    apply_pass(s);
}

// A source's new timing as the receivers publish it: written under the lock, then signalled.
void new_timing(TlxRamPara* s, uint32_t addr, u16 value)
{
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(s->ram_image, addr, value);
    }
    s->test_signal(1);
    SyncUpdate::p_SyncUpdate->para_sync(1);
}

}  // namespace

TEST_F(StoreTest, RefreshGoesToTheVisiblePageOnly)
{
    TlxRamPara* s = boot();
    int refreshed3 = 0;
    page_registry::set(3, [&] { ++refreshed3; });
    g_page_focus = 3;
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(refreshed3, 1);

    // No refresh for page 15, and a page that closed is skipped: the language still follows.
    s->ram_image[ram_language] = 3;
    g_page_focus = 15;
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(refreshed3, 1);
    EXPECT_EQ(g_language.load(), 3);
    page_registry::clear(3);
    g_page_focus = 3;
    s->ram_image[ram_language] = 1;
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(g_language.load(), 1);

    // A page whose refresh closes it may remove itself.
    page_registry::set(18, [] { page_registry::clear(18); });
    g_page_focus = 18;
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_FALSE(page_registry::has(18));

    // Main window: the pending tip is shown once.
    bool pending = true;
    std::vector<int> tips;
    shell_hooks::take_pending_tip = [&] { bool p = pending; pending = false; return p; };
    shell_hooks::tip_create = [&](int kind) { tips.push_back(kind); };
    g_page_focus = 1;
    SyncUpdate::p_SyncUpdate->para_sync(1);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(tips, std::vector<int>({1}));
    shell_hooks::take_pending_tip = nullptr;
    shell_hooks::tip_create = nullptr;
}

TEST_F(StoreTest, ModeSaveRequestThroughTheImage)
{
    TlxRamPara* s = boot();  // a fresh root: "/data/modes" does not exist yet
    int writes = 0;
    install_mode_writer(&writes);
    u8 req[2] = {3, 0};
    ASSERT_EQ(s->TlxRamParaDeal(req, 2, ram_mode_save_request), 0);
    ram_wr16(s->ram_image, ram_led_width, 1234);
    apply_pass(s);  // no flag was raised: the remote write is still pending
    c331_raise_change(1);
    apply_pass(s);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(s->TlxUserModeSaved(2), 1);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_current_mode), 3);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_mode_save_request), 0);
    EXPECT_EQ(ram_rd16(s->mode_slot[2].image(), ram_led_width - RAM_MODE_BASE), 1234);
    const std::string f = read("/data/modes/custom_mode3");
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(static_cast<u8>(f[0]), 0xAA);
    EXPECT_EQ(file16(read("/data/ram_device_info"), ram_current_mode), 3);

    // The same value again, equal to the shadow, saves nothing.
    ram_wr16(s->ram_image, ram_mode_save_request, 3);
    ram_wr16(s->ram_shadow, ram_mode_save_request, 3);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(writes, 1);

    // A request naming no mode is cleared and logged.
    ram_wr16(s->ram_image, ram_mode_save_request, 17);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_mode_save_request), 0);
    EXPECT_NE(read("/data/zeltaqn/log/kivEnglneLog").find("names no mode"), std::string::npos);

    // A full "/data/modes": mode 5 is not saved, its slot stays empty, the current mode stays
    // 3, and the panel's tip says "not saved" instead of the check mark.
    fail_writes(R"(["/data/modes"])");
    std::vector<int> tips;
    bool pending = true;
    shell_hooks::take_pending_tip = [&] { bool p = pending; pending = false; return p; };
    shell_hooks::tip_create = [&](int kind) { tips.push_back(kind); };
    ram_wr16(s->ram_image, ram_mode_save_request, 5);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(s->TlxUserModeSaved(4), 0);
    EXPECT_EQ(s->mode_slot[4].bytes[0], MODE_MARKER_EMPTY);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_current_mode), 3);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_mode_save_request), 0);
    EXPECT_FALSE(exists("/data/modes/custom_mode5"));
    EXPECT_EQ(file16(read("/data/ram_device_info"), ram_current_mode), 3);
    EXPECT_EQ(tips, std::vector<int>({SyncUpdate::kTipNotKept}));
    EXPECT_NE(read("/data/zeltaqn/log/kivEnglneLog").find("cannot write /data/modes/custom_mode5 (No space left on device)"),
              std::string::npos);
    shell_hooks::take_pending_tip = nullptr;
    shell_hooks::tip_create = nullptr;
}

TEST_F(StoreTest, RemoteSlotChangeRewritesAndDeletesModeFiles)
{
    std::string mode(4096, '\0');
    mode[0] = mode[1] = static_cast<char>(0xAA);
    write("/data/modes/custom_mode6", mode);
    write("/data/modes/MO06.json", "{}");  // left by a save; the tool's write cleared the slot's OSD word
    write("/data/modes/custom_mode2", mode);
    TlxRamPara* s = boot();
    install_mode_writer();
    const u8 empty[2] = {0xFF, 0xFF}, saved[2] = {0xAA, 0xAA}, half[2] = {0xAA, 0x00}, odd[2] = {0x12, 0x34};
    EXPECT_EQ(s->TlxModeUserRamParaDeal(empty, 2, 0x6000), 0);   // slot 5
    EXPECT_EQ(s->TlxModeUserRamParaDeal(saved, 2, 0x8000), 0);   // slot 7
    EXPECT_EQ(s->TlxModeUserRamParaDeal(half, 2, 0x4000), 0);    // slot 3
    EXPECT_EQ(s->TlxModeUserRamParaDeal(odd, 2, 0x2000), 0);     // slot 1
    EXPECT_EQ(s->TlxUserModeSaved(3), 0);
    ram_wr16(s->ram_image, ram_brightness, 77);
    c331_raise_change(2);
    s->TlxSetEDIDPara(0, 1280, 720, 60);  // a page edit before the pass keeps the slot request
    ram_wr16(s->ram_image, ram_current_mode, 6);  // the mode deleted is the one in use
    SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    EXPECT_FALSE(exists("/data/modes/custom_mode6"));
    EXPECT_FALSE(exists("/data/modes/MO06.json"));
    EXPECT_EQ(s->mode_slot[5].bytes[0], MODE_MARKER_EMPTY);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_current_mode), 6);  // still names it; its slot reads empty
    EXPECT_EQ(c331_shared::param_changed.load(), 0);         // the image is left as it was
    const std::string f8 = read("/data/modes/custom_mode8");
    ASSERT_EQ(f8.size(), 4096u);
    EXPECT_EQ(static_cast<u8>(f8[mode_slot_offset(ram_brightness)]), 77);
    EXPECT_TRUE(exists("/data/modes/custom_mode4"));
    EXPECT_EQ(read("/data/modes/custom_mode2"), mode);  // odd marker: left alone
    EXPECT_EQ(s->mode_slot[1].bytes[0], 0x12);
}

// A remote slot operation rewrites only the slots the tool wrote: another saved mode keeps
// its own settings in its slot and its file.
TEST_F(StoreTest, RemoteSlotChangeLeavesSavedModesItDidNotTouch)
{
    std::string mode3(4096, '\0');
    mode3[0] = mode3[1] = static_cast<char>(0xAA);
    mode3[mode_slot_offset(ram_brightness)] = 11;
    write("/data/modes/custom_mode3", mode3);
    TlxRamPara* s = boot();
    install_mode_writer();
    ASSERT_EQ(s->TlxUserModeSaved(2), 1);

    const u8 saved[2] = {0xAA, 0xAA};
    ASSERT_EQ(s->TlxModeUserRamParaDeal(saved, 2, 0x2000), 0);  // slot 1
    s->TlxRamParaDeal(std::vector<u8>{40, 0}.data(), 2, ram_brightness);
    c331_raise_change(2);  // what register 11 bit 2 raises
    SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    EXPECT_EQ(static_cast<u8>(read("/data/modes/custom_mode2")[mode_slot_offset(ram_brightness)]), 40);
    EXPECT_EQ(read("/data/modes/custom_mode3"), mode3);
    EXPECT_EQ(s->mode_slot[2].bytes[mode_slot_offset(ram_brightness)], 11);

    // The next code 2 without a slot write rewrites nothing.
    s->TlxRamParaDeal(std::vector<u8>{60, 0}.data(), 2, ram_brightness);
    c331_raise_change(2);
    SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    EXPECT_EQ(static_cast<u8>(read("/data/modes/custom_mode2")[mode_slot_offset(ram_brightness)]), 40);
    EXPECT_EQ(read("/data/modes/custom_mode3"), mode3);

    // Mode files that cannot be written: each slot the tool marked goes back to what its file
    // holds (the old mode, or empty), so the tool reads back that it was not kept.
    fail_writes(R"(["/data/modes"])");
    ASSERT_EQ(s->TlxModeUserRamParaDeal(saved, 2, 0x2000), 0);  // slot 1, file with brightness 40
    ASSERT_EQ(s->TlxModeUserRamParaDeal(saved, 2, 0x5000), 0);  // slot 4, no file
    c331_raise_change(2);
    SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    EXPECT_EQ(s->mode_slot[1].bytes[mode_slot_offset(ram_brightness)], 40);
    EXPECT_EQ(static_cast<u8>(read("/data/modes/custom_mode2")[mode_slot_offset(ram_brightness)]), 40);
    EXPECT_EQ(s->mode_slot[4].bytes[0], MODE_MARKER_EMPTY);
    EXPECT_EQ(s->TlxUserModeSaved(4), 0);
}

// A slot the panel deletes or saves after a tool wrote it without applying is the panel's:
// the tool's later apply of another slot neither brings the deleted mode back nor rewrites
// the saved one from the image.
TEST_F(StoreTest, PanelSaveOrDeleteEndsAToolsUnappliedSlotWrite)
{
    std::string mode(4096, '\0');
    mode[0] = mode[1] = static_cast<char>(0xAA);
    write("/data/modes/custom_mode3", mode);
    TlxRamPara* s = boot();
    install_mode_writer();
    const u8 same = s->mode_slot[2].bytes[100], saved[2] = {0xAA, 0xAA};
    ASSERT_EQ(s->TlxModeUserRamParaDeal(&same, 1, 0x3000 + 100), 0);  // mode 3, not applied
    s->mode_file_deal(2, 1);                                           // the panel's Delete
    EXPECT_EQ(s->TlxUserModeSaved(2), 0);
    ASSERT_EQ(s->TlxModeUserRamParaDeal(saved, 2, 0xD000), 0);  // mode 13, not applied
    user_change(s, ram_brightness, 70);
    user_change(s, ram_mode_save_request, 13);  // the panel saves mode 13
    SyncUpdate::p_SyncUpdate->para_sync(1);
    user_change(s, ram_brightness, 90);
    ASSERT_EQ(s->TlxModeUserRamParaDeal(saved, 2, 0x7000), 0);  // the tool saves mode 7
    c331_raise_change(2);
    SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    EXPECT_TRUE(exists("/data/modes/custom_mode7"));
    EXPECT_FALSE(exists("/data/modes/custom_mode3"));
    EXPECT_EQ(s->TlxUserModeSaved(2), 0);
    EXPECT_EQ(static_cast<u8>(read("/data/modes/custom_mode13")[mode_slot_offset(ram_brightness)]), 70);
    EXPECT_EQ(s->mode_slot[12].bytes[mode_slot_offset(ram_brightness)], 70);
    // A delete the tool applies after a save was asked is carried out after that save.
    const u8 empty[2] = {0xFF, 0xFF};
    user_change(s, ram_mode_save_request, 7);
    ASSERT_EQ(s->TlxModeUserRamParaDeal(empty, 2, 0x7000), 0);
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        s->note_remote_slots_applied_locked();  // register 11 bit 2
        c331_raise_change_locked(2);
    }
    SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    EXPECT_FALSE(exists("/data/modes/custom_mode7"));
    EXPECT_EQ(s->TlxUserModeSaved(6), 0);
}

namespace {
// The simulated board with a hook run as each file write begins, once the bytes to write are
// taken: what a tool does while the device writes a file.
class MidWriteBoard : public sim::SimBoard {
public:
    MidWriteBoard() : SimBoard(no_watcher()) {}
    int write_fault(const std::string& real_path) const override
    {
        if (on_write)
            on_write(real_path);
        return SimBoard::write_fault(real_path);
    }
    std::function<void(const std::string&)> on_write;
};
}  // namespace

// A tool's slot write made while a mode file is written is newer than that save: the slot
// keeps it and the tool's next apply carries it out. A restart waits for the slot change
// from its signal until the mode files are written.
TEST_F(StoreTest, SlotWriteDuringAModeFileWriteIsKept)
{
    TlxRamPara* s = boot();
    install_mode_writer();
    auto* board = new MidWriteBoard;
    board_.reset(board);
    platform::install_board(board);
    const auto counted = QObject::connect(s, &TlxRamPara::sig_update_para, [](int) {});  // main's connection
    const u8 saved[2] = {0xAA, 0xAA};
    const u8 odd = static_cast<u8>(s->ram_image[RAM_MODE_BASE + 98] ^ 0x5A);  // slot byte 100
    struct Case {
        const char* name;
        std::vector<u32> saves;  // slot addresses the tool marks AA AA before the apply
        int request;             // save request 0x364 instead (the panel's save)
        const char* written;     // the file during whose write the tool writes
        u32 address;             // what it writes then (into mode 10)
        std::vector<u8> bytes;
    } cases[] = {
        {"save then delete", {0xA000}, 0, "custom_mode10", 0xA000, {0xFF, 0xFF}},
        {"write after the marks were taken", {0x2000, 0xA000}, 0, "custom_mode2", 0xA000 + 100, {odd}},
        {"panel save then delete", {}, 10, "custom_mode10", 0xA000, {0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (u32 a : c.saves)
            ASSERT_EQ(s->TlxModeUserRamParaDeal(saved, 2, a), 0);
        if (c.request)
            user_change(s, ram_mode_save_request, u16(c.request));
        else
            c331_raise_change(2);
        bool written = false;
        board->on_write = [&](const std::string& path) {
            if (written || path.find(c.written) == std::string::npos)
                return;
            written = true;
            EXPECT_TRUE(pending_writes::any());
            std::thread([&] {
                s->TlxModeUserRamParaDeal(c.bytes.data(), u16(c.bytes.size()), c.address);
                c331_raise_change(2);
            }).join();
        };
        const int code = c.request ? 1 : apply_pass(s);
        if (!c.request) {
            EXPECT_TRUE(pending_writes::any());  // signalled, not yet carried out
        }
        SyncUpdate::p_SyncUpdate->para_sync(code);
        ASSERT_TRUE(written);
        EXPECT_EQ(std::memcmp(s->mode_slot[9].bytes + (c.address - 0xA000), c.bytes.data(), c.bytes.size()), 0);
        SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
        EXPECT_EQ(exists("/data/modes/custom_mode10"), c.bytes.size() == 1);
        EXPECT_FALSE(pending_writes::any());
    }
    board->on_write = nullptr;
    QObject::disconnect(counted);
}

// Remote marker writes and slot changes on one side, file loads and deletions on the GUI
// side, readers copying slots under the lock: clean under ThreadSanitizer, and every slot
// ends as what its last marker said.
TEST_F(StoreTest, SlotWritesAndModeFileLoadsDoNotRace)
{
    TlxRamPara* s = boot();
    std::atomic<bool> done{false};
    std::thread remote([&] {
        for (int i = 0; i < 400; ++i) {
            const u8 marker[2] = {u8(i % 3 ? 0xFF : 0xAA), u8(i % 3 ? 0xFF : 0xAA)};
            s->TlxModeUserRamParaDeal(marker, 2, u32((1 + i % MODE_SLOTS) << 12));
            if (i % 8 == 0)
                c331_raise_change(2);
        }
        done = true;
    });
    std::thread reader([&] {
        u8 copy[MODE_SLOT_SIZE];
        while (!done) {
            QMutexLocker lk(&c331_shared::c331_lock);
            std::memcpy(copy, s->mode_slot[3].bytes, sizeof copy);
        }
    });
    while (!done)
        SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    remote.join();
    reader.join();
    c331_raise_change(2);
    SyncUpdate::p_SyncUpdate->para_sync(apply_pass(s));
    for (int slot = 0; slot < MODE_SLOTS; ++slot)  // the last write of slot k was number 384 + k
        EXPECT_EQ(s->mode_slot[slot].bytes[0], slot % 3 ? MODE_MARKER_EMPTY : MODE_MARKER_SAVED) << "slot " << slot;
}

// The panel reads fields without the lock while remote writes land: never half of each.
TEST_F(StoreTest, UnlockedFieldReadsAreNeverTorn)
{
    TlxRamPara* s = boot();
    const u16 before = ram_rd16(s->ram_image, ram_brightness);
    std::atomic<bool> done{false};
    std::thread remote([&] {
        const u8 a[4] = {0x34, 0x12, 0x34, 0x12}, b[4] = {0xCD, 0xAB, 0xCD, 0xAB};
        for (int i = 0; i < 20000; ++i)
            s->TlxRamParaDeal(i % 2 ? a : b, 4, ram_brightness);
        done = true;
    });
    int torn = 0;
    while (!done) {
        const u16 v = ram_rd16(s->ram_image, ram_brightness);
        torn += v != 0x1234 && v != 0xABCD && v != before;
    }
    remote.join();
    EXPECT_EQ(torn, 0);
}

TEST_F(StoreTest, PersistOnceAndOnlyWhatTheScalerHasApplied)
{
    TlxRamPara* s = boot();
    const std::string before = read("/data/ram_device_info");
    // A page write followed by a synchronous save: the scaler has not applied it yet.
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(s->ram_image, ram_contrast, 90);
        c331_shared::param_changed = 1;
    }
    s->ram_para_save();
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(ram_rd16(s->ram_shadow, ram_contrast), 50);  // the scaler still sees the change
    EXPECT_EQ(read("/data/ram_device_info"), before);
    apply_pass(s);
    const int syncs = count_lines(shell_history(), "sync");
    SyncUpdate::p_SyncUpdate->para_sync(1);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(count_lines(shell_history(), "sync"), syncs + 1);  // one write for two signals
    EXPECT_EQ(ram_rd16(s->ram_shadow, ram_contrast), 90);
    const std::string after = read("/data/ram_device_info");
    EXPECT_EQ(file16(after, ram_contrast), 90);
    EXPECT_EQ(after.substr(0, 2), before.substr(0, 2));
    EXPECT_EQ(after.substr(3330), before.substr(3330));

    // A remote write waits for its apply request; a volatile change alone still persists once.
    u8 v[2] = {33, 0};
    ASSERT_EQ(s->TlxRamParaDeal(v, 2, ram_sharpness), 0);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(ram_rd16(s->ram_shadow, ram_sharpness), 10);
    c331_raise_change(1);
    apply_pass(s);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(ram_rd16(s->ram_shadow, ram_sharpness), 33);
    s->ram_image[0x120] = 9;
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(s->ram_shadow[0x120], 9);
}

TEST_F(StoreTest, FailedWriteKeepsTheShadowForTheNextSignal)
{
    TlxRamPara* s = boot();
    std::filesystem::remove(at("/data/ram_device_info"));
    std::filesystem::create_directories(at("/data/ram_device_info"));  // cannot be replaced
    ram_wr16(s->ram_image, ram_saturation, 12);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(ram_rd16(s->ram_shadow, ram_saturation), 50);
    EXPECT_NE(read("/data/zeltaqn/log/kivEnglneLog").find("ERROR"), std::string::npos);
    std::filesystem::remove(at("/data/ram_device_info"));
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(ram_rd16(s->ram_shadow, ram_saturation), 12);
    const std::string f = read("/data/ram_device_info");
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(file16(f, ram_saturation), 12);
    EXPECT_EQ(file16(f, ram_led_width), 4096);

    // A full partition: the panel is told once per change that it was not kept (a tip it asked
    // for too), the error is logged once, and the write is retried on the panel's ticks until
    // it succeeds, without another change signal.
    fail_writes(R"(["/data/ram_device_info"])");
    std::vector<int> tips;
    bool pending = false;
    shell_hooks::take_pending_tip = [&] { bool p = pending; pending = false; return p; };
    shell_hooks::tip_create = [&](int kind) { tips.push_back(kind); };
    const auto errors = [&] {
        const std::string log = read("/data/zeltaqn/log/kivEnglneLog");
        size_t n = 0;
        for (size_t at = log.find("No space left on device"); at != std::string::npos; at = log.find("No space left", at + 1))
            ++n;
        return n;
    };
    // The device's own fill at start (the layout it computes) is retried but told to nobody,
    // nor is a source's new timing, also once the file holds the settings again.
    user_change(s, ram_och_columns, 7, true);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_TRUE(SyncUpdate::p_SyncUpdate->store_failing());
    new_timing(s, ram_input_timing, 1280);
    user_change(s, ram_och_columns, file16(f, ram_och_columns), true);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_FALSE(SyncUpdate::p_SyncUpdate->store_failing()) << "the file holds the settings again";
    for (u16 w : {720, 1080, 2160})
        new_timing(s, ram_input_timing + 6 * 4, w);
    EXPECT_FALSE(SyncUpdate::p_SyncUpdate->store_failing()) << "a timing alone is never written";
    EXPECT_TRUE(tips.empty());
    user_change(s, ram_brightness, 61);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_TRUE(SyncUpdate::p_SyncUpdate->store_failing());
    user_change(s, ram_brightness, 61);  // the same change again, with a new timing: told once
    new_timing(s, ram_input_timing + 6 * 4, 1080);
    for (u32 t = 0; t < 3 * SyncUpdate::kRetryFirstTicks; ++t) {
        ++G_timeTicks;
        SyncUpdate::p_SyncUpdate->retry_tick();
    }
    new_timing(s, ram_input_timing + 6 * 4, 1280);  // a source's new timing is never stored: no tip
    pending = true;
    user_change(s, ram_brightness, 62);  // a new change, with a tip asked for
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(tips, std::vector<int>({SyncUpdate::kTipNotKept, SyncUpdate::kTipNotKept}));
    EXPECT_EQ(errors(), 1u);  // once until the file is written: not again for the brightness
    EXPECT_EQ(file16(read("/data/ram_device_info"), ram_brightness), file16(f, ram_brightness));
    fail_writes("[]");
    // A restart waiting for the writes tries the file at the next tick, not after the back-off.
    pending_writes::set_restart_waiting(true);
    ++G_timeTicks;
    SyncUpdate::p_SyncUpdate->retry_tick();
    pending_writes::set_restart_waiting(false);
    EXPECT_FALSE(SyncUpdate::p_SyncUpdate->store_failing());
    for (u32 t = 0; t <= SyncUpdate::kRetryMaxTicks && SyncUpdate::p_SyncUpdate->store_failing(); ++t) {
        ++G_timeTicks;
        SyncUpdate::p_SyncUpdate->retry_tick();
    }
    EXPECT_FALSE(SyncUpdate::p_SyncUpdate->store_failing());
    EXPECT_EQ(file16(read("/data/ram_device_info"), ram_brightness), 62);
    EXPECT_EQ(ram_rd16(s->ram_shadow, ram_brightness), 62);
    EXPECT_EQ(tips.size(), 2u);
    // A change not kept and then undone: the file holds the image again, nothing is retried.
    fail_writes(R"(["/data/ram_device_info"])");
    user_change(s, ram_brightness, 63);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_TRUE(SyncUpdate::p_SyncUpdate->store_failing());
    user_change(s, ram_brightness, 62);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_FALSE(SyncUpdate::p_SyncUpdate->store_failing());
    EXPECT_EQ(tips.size(), 3u);
    // An EDID record the file could not take is set back to the one it holds, and applied
    // again, so the EEPROM is written from what the next start reads.
    const u16 edid_width = ram_rd16(s->ram_shadow, ram_edid_addr(2));
    user_change(s, ram_edid_addr(2), 2560);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_edid_addr(2)), edid_width);
    EXPECT_EQ(c331_shared::param_changed.load(), 1) << "the set-back record is applied";
    apply_pass(s);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_FALSE(SyncUpdate::p_SyncUpdate->store_failing());
    EXPECT_EQ(tips.size(), 4u);
    // ...but not a record set back to what an EEPROM that did not keep a write holds: that
    // EEPROM cannot follow the file's record, so the record keeps showing what it holds.
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        ram_wr16(s->ram_image, ram_edid_addr(2), 1280);
        c331_shared::eeprom_held[2].valid = true;
        for (int i = 0; i < 3; ++i)
            c331_shared::eeprom_held[2].timing[i] = ram_rd16(s->ram_image, ram_edid_addr(2) + 2 * i);
        c331_raise_own_change_locked(1);
    }
    apply_pass(s);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_TRUE(SyncUpdate::p_SyncUpdate->store_failing());
    EXPECT_EQ(ram_rd16(s->ram_image, ram_edid_addr(2)), 1280);
    EXPECT_EQ(c331_shared::param_changed.load(), 0) << "nothing to write to the EEPROM again";
    c331_shared::eeprom_held[2].valid = false;
    user_change(s, ram_edid_addr(2), edid_width);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    // A mode saved while only the parameter file fails: the tip says the mode was kept.
    pending = true;
    user_change(s, ram_mode_save_request, 5);
    SyncUpdate::p_SyncUpdate->para_sync(1);
    EXPECT_TRUE(exists("/data/modes/custom_mode5"));
    EXPECT_EQ(tips.back(), SyncUpdate::kTipModeOnlyKept);
    // A mode that cannot be deleted stays saved, and the log says so.
    fail_writes(R"(["/data/modes"])");
    EXPECT_EQ(s->mode_file_deal(4, 1), 1);
    EXPECT_TRUE(s->TlxUserModeSaved(4));
    EXPECT_NE(read("/data/zeltaqn/log/kivEnglneLog").find("cannot delete /data/modes/custom_mode5: mode 5 is still saved"),
              std::string::npos);
    fail_writes("[]");
    EXPECT_EQ(s->mode_file_deal(4, 1), 0);
    EXPECT_FALSE(exists("/data/modes/custom_mode5"));
    // A tool toggling a setting as fast as it can while the file fails: a tip per change, but
    // its log lines are limited, so the flood cannot push the log out.
    fail_writes(R"(["/data/ram_device_info"])");
    const size_t log_before = read("/data/zeltaqn/log/kivEnglneLog").size();
    for (int i = 0; i < 200; ++i) {
        user_change(s, ram_brightness, u16(i % 2 ? 62 : 70));
        SyncUpdate::p_SyncUpdate->para_sync(1);
    }
    fail_writes("[]");
    EXPECT_LT(read("/data/zeltaqn/log/kivEnglneLog").size() - log_before, 5000u);
    shell_hooks::take_pending_tip = nullptr;
    shell_hooks::tip_create = nullptr;
}

// A writer killed at any moment leaves the old or the new parameter file, never a mix.
TEST_F(StoreTest, KilledWriterLeavesOldOrNewFile)
{
    boot();
    const std::string factory = read("/data/ram_device_info");
    std::mt19937 rng(57);
    int rounds_with_new_file = 0;
    for (int round = 0; round < 20; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // writes for ever: never outlive the test
            u8 img[RAM_PERSIST_LEN];
            for (int i = 0;; ++i) {
                std::memset(img, i % 2 ? 0x11 : 0x22, sizeof img);
                store_files::write_param_file(img);
            }
        }
        usleep(200 + rng() % 20000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string f = read("/data/ram_device_info");
        ASSERT_EQ(f.size(), 4096u) << round;
        if (f == factory)
            continue;  // killed before its first write was complete
        const std::string whole_write(RAM_PERSIST_LEN, f[2]);
        ASSERT_TRUE(f[2] == 0x11 || f[2] == 0x22) << "round " << round;
        ASSERT_EQ(f.substr(2, RAM_PERSIST_LEN), whole_write) << "round " << round;
        ASSERT_EQ(f.substr(0, 2), factory.substr(0, 2));
        ASSERT_EQ(f.substr(3330), factory.substr(3330));
        ++rounds_with_new_file;
    }
    EXPECT_GT(rounds_with_new_file, 0);  // the writer did get through
}
