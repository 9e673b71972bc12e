// The FPGA and the flashes on the remote protocol: commands to 0xF000 and the processor's
// flash commands, through the dispatcher as a transport calls it.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "common/remote_client.h"
#include "core/log.h"
#include "core/ram_map.h"
#include "core/request_hooks.h"
#include "fpga_fixture.h"
#include "common/device_process.h"
#include "remote/message_deal.h"
#include "remote/remote_endpoint.h"
#include "remote/networkManage.h"
#include "remote/Qn_uart_inout.h"
#include "remote/udpnetManage.h"
#include <QJsonArray>

using Bytes = std::vector<uint8_t>;
using testutil::le16;
using testutil::le32;
using testutil::operator+;

// CPU seconds of this process's thread named `name` (0 when there is none).
double thread_cpu_s(const std::string& name)
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm;
        std::getline(std::ifstream(task.path() / "comm"), comm);
        if (comm != name)
            continue;
        std::ifstream st(task.path() / "stat");
        const std::string text((std::istreambuf_iterator<char>(st)), std::istreambuf_iterator<char>());
        std::istringstream rest(text.substr(text.rfind(')') + 2));  // from the state, field 3
        std::string field;
        unsigned long long ticks = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i)
            if (i >= 14)  // utime, stime
                ticks += std::stoull(field);
        return double(ticks) / double(::sysconf(_SC_CLK_TCK));
    }
    return 0;
}

class FpgaRemote : public FpgaFixture {
protected:
    QJsonObject board_json() const override
    {
        return QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 2}}};
    }
    // The reply data (status first) of one request.
    Bytes ask(uint16_t dst, uint8_t cmd, const Bytes& data)
    {
        const Bytes req = testutil::make_frame(dst, 0xF011, cmd, data);
        Bytes reply(message_deal::kReplyCapacity);
        const u32 n = deal_.message_group_deal(req.data(), u32(req.size()), reply.data());
        if (n < 12)
            return {};
        return Bytes(reply.begin() + 10, reply.begin() + n - 1);
    }
    // The output offsets applied, taken into the page as the scaler asks.
    void set_offsets(u16 x, u16 y)
    {
        apply_offsets(x, y);
        scaler_req::net_para_dirty = 1;
        run(1);
    }
    // The request with the power cut after `writes` flash writes, then the device starting
    // again and its FPGA brought up.
    void cut_and_restart(long writes, uint16_t dst, uint8_t cmd, const Bytes& data)
    {
        flash_->cut_power_after(writes);
        ask(dst, cmd, data);
        flash_->restore_power();
        restart();
        bring_up();
    }
    message_deal deal_{2};
};

TEST_F(FpgaRemote, flash_commands_reach_the_fpga_flash_and_refuse_what_does_not_fit)
{
    const Bytes rec = {0xAA, 3, 0x55, 0, 0, 0, 2, 0, 16, 9};
    EXPECT_EQ(ask(0xF100, 0x6E, le32(0x026CE123) + le16(1) + Bytes{0}), (Bytes{0}));
    EXPECT_EQ(ask(0xF100, 0x6D, le32(0x026CE000) + le16(10) + rec), (Bytes{0}) + le32(0x026CE000));
    EXPECT_EQ(flash_->read(0x6CE000, 10), rec);
    EXPECT_EQ(ask(0xF100, 0x6C, le32(0x026CE000) + le16(10)), (Bytes{0}) + le32(0x026CE000) + le16(10) + rec);

    const uint64_t erases = flash_->erases(), programs = flash_->programs();
    EXPECT_EQ(ask(0xF100, 0x6D, le32(0x027FFFFF) + le16(2) + Bytes{1, 2})[0], 1);   // past 8 MiB
    EXPECT_EQ(ask(0xF100, 0x6C, le32(0x027FFFFF) + le16(2))[0], 1);
    EXPECT_EQ(ask(0xF100, 0x6E, le32(0x027F0000) + le16(0xFFFF) + Bytes{2})[0], 1);  // count too large
    EXPECT_EQ(ask(0xF100, 0x6E, le32(0x02000000) + le16(1) + Bytes{3})[0], 1);       // no kind 3
    EXPECT_EQ(ask(0xF100, 0x6D, le32(0x026CE000) + le16(10) + Bytes{1})[0], 1);      // bytes missing
    EXPECT_EQ(ask(0xF100, 0x6C, le32(0x05000000) + le16(1))[0], 1);                  // no such flash
    remote::set_scaler_flash(nullptr);
    EXPECT_EQ(ask(0xF100, 0x6C, le32(0x00001000) + le16(1))[0], 2);                  // scaler flash absent
    EXPECT_EQ(flash_->erases(), erases);
    EXPECT_EQ(flash_->programs(), programs);

    // The on/off record written and erased by the tool itself: register 66 follows the flash.
    const Bytes onoff = {0xAA, 2, 0xAA, 0, 0, 0, 1, 0, 0};
    EXPECT_EQ(ask(0xF100, 0x6D, le32(0x026CD000) + le16(9) + onoff)[0], 0);
    EXPECT_EQ(f_->reg(66), 1);
    EXPECT_EQ(ask(0xF100, 0x6E, le32(0x026C4000) + le16(1) + Bytes{2})[0], 0);  // the 64 KiB unit that holds it
    EXPECT_EQ(f_->reg(66), 0);
}

TEST_F(FpgaRemote, led_page_is_saved_only_while_the_fpga_runs_and_without_the_output_offsets)
{
    EXPECT_EQ(ask(0xF100, 0x6F, {}), (Bytes{3}));  // not running yet: nothing stored
    EXPECT_EQ(ask(0xF000, 0x60, le32(0x1000 + 32) + le16(1) + le16(0) + Bytes{7})[0], 3);  // the bring-up would replace it
    f_->set_local(fpga::REG_RUN_STATE, 3);  // as the bring-up does before it loads the saved page
    EXPECT_EQ(ask(0xF100, 0x6F, {}), (Bytes{3}));
    f_->set_local(fpga::REG_RUN_STATE, 0);
    EXPECT_EQ(flash_->erases() + flash_->programs(), 0u);
    EXPECT_EQ(flash_->read(0x6C7000, 1), (Bytes{0xFF}));

    bring_up();
    set_offsets(100, 50);
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{100, 0, 50, 0}));  // port 0 at the offsets
    fpga_manage::page_wr16(fpga_manage::MCU_RAM_PARA_func[0], 32, 740);  // the tool puts port 2 at x 740
    EXPECT_EQ(ask(0xF100, 0x6F, {}), (Bytes{0}));
    EXPECT_EQ(flash_->read(0x6C7000, 1), (Bytes{0xAA}));
    EXPECT_EQ(flash_->read(0x6C7001 + 8, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(flash_->read(0x6C7001 + 32, 2), (Bytes{0x80, 0x02}));
    const uint64_t writes = flash_->erases() + flash_->programs();
    EXPECT_EQ(ask(0xF100, 0x6F, {}), (Bytes{0}));
    EXPECT_EQ(flash_->erases() + flash_->programs(), writes) << "an unchanged page is not stored again";
    // A port's link came or went, or its cards were found, on ports 1 to 4 (bytes 96 to 127)
    // and on ports 5 to 16 (links at 512 and 513, results from 560 and from 640).
    for (uint32_t at : {fpga::PARA_STATE_FIRST + 4, fpga::PARA_LINK4, fpga::PARA_LINK8, 560u, 562u, 642u, 668u}) {
        fpga_manage::MCU_RAM_PARA_func[0][at] ^= 0x01;
        EXPECT_EQ(ask(0xF100, 0x6F, {}), (Bytes{0}));
        EXPECT_EQ(flash_->erases() + flash_->programs(), writes) << "the link state a bring-up clears is not stored: " << at;
    }
    set_offsets(0, 0);  // the running page holds the offsets once
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{0, 0, 0, 0}));

    restart();
    bring_up();
    EXPECT_EQ(fpga0_->ram(1, 8, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(fpga0_->ram(1, 32, 2), (Bytes{0x80, 0x02}));
}

TEST_F(FpgaRemote, power_cut_while_a_record_is_stored_leaves_the_old_record_or_the_new_one)
{
    bring_up();
    fpga_manage::page_wr16(fpga_manage::MCU_RAM_PARA_func[0], 32, 640);  // port 2's x
    const uint64_t before = flash_->erases() + flash_->programs();
    ASSERT_EQ(ask(0xF100, 0x6F, {}), (Bytes{0}));
    const long writes = long(flash_->erases() + flash_->programs() - before);
    // The page whole in the first copy alone (a tool erased the second): a cut after the next
    // save's first erase leaves it, as the save begins with the copy the start would not load.
    ASSERT_EQ(ask(0xF100, 0x6E, le32(0x026C8000) + le16(1) + Bytes{0})[0], 0);
    fpga_manage::page_wr16(fpga_manage::MCU_RAM_PARA_func[0], 32, 699);
    cut_and_restart(1, 0xF100, 0x6F, {});
    EXPECT_EQ(fpga_manage::page_rd16(fpga_manage::MCU_RAM_PARA_func[0], 32), 640);
    // Cut after each write of the save: the next start loads the page saved before or the new
    // one, never the defaults (port 2 at x 0) nor the new page's first bytes. Each save first
    // writes the copy the start would not load (half the writes), then the other: the new page
    // is loaded once the copy at 0x6C7000 has been erased, or as soon as that copy is whole
    // again when a cut in the save before had left the page in the copy at 0x6C8000 only.
    int old = 640;
    for (long cut = 0; cut <= writes; ++cut) {
        SCOPED_TRACE(cut);
        fpga_manage::page_wr16(fpga_manage::MCU_RAM_PARA_func[0], 32, u16(700 + cut));
        const bool first_whole = flash_->read(0x6C7000, 1) == Bytes{0xAA};
        cut_and_restart(cut, 0xF100, 0x6F, {});
        const abyte* page = fpga_manage::MCU_RAM_PARA_func[0];
        const int want = cut >= writes / 2 + (first_whole ? 1 : 0) ? int(700 + cut) : old;
        EXPECT_EQ(fpga_manage::page_rd16(page, 32), want);
        EXPECT_EQ(fpga_manage::page_rd16(page, 632 + 4), 1280);  // port 15's width
        old = want;
    }
    EXPECT_EQ(flash_->read(0x6C7000, 1), (Bytes{0xAA}));  // a whole save leaves the documented copy
    // A copy whose bytes no longer match its check (an erase cut before it reached the mark)
    // is not loaded: the other copy is.
    flash_write(0x6C7001 + 32, Bytes{0x00, 0x00});
    restart();
    bring_up();
    EXPECT_EQ(fpga_manage::page_rd16(fpga_manage::MCU_RAM_PARA_func[0], 32), old);
    // The command-page records, the on/off times (longer than a flash page) and a manual
    // brightness: a cut after each write of a store leaves the record stored before or the new
    // one (its first data byte loaded back into the command page, register 64 the brightness).
    for (const bool bright : {false, true}) {
        const auto store = [&](u8 v, u8 keep = 0xAA) {  // 0x55: erase the record
            const Bytes page = bright ? Bytes{0xAA, 3, keep, 0, 0, 0} + le16(2) + Bytes{0, v}
                                      : Bytes{0xAA, 2, keep, 0, 0, 0} + le16(400) + Bytes{1, v} + Bytes(398, 0);
            EXPECT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
        };
        const auto stored = [&] { return bright ? int(f_->reg(64)) : int(fpga_manage::MCU_RAM_CMD[9]); };
        store(1);
        const uint64_t before = flash_->erases() + flash_->programs();
        ASSERT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 0);
        const long writes = long(flash_->erases() + flash_->programs() - before);
        int old = 1;
        for (long cut = 0; cut <= writes; ++cut) {
            SCOPED_TRACE(cut + (bright ? 1000 : 0));
            const int want = 2 + int(cut % 15);
            store(u8(want));
            cut_and_restart(cut, 0xF000, 0x62, Bytes{2, 4, 4});
            EXPECT_EQ(f_->reg(66), 1);  // an on/off record is stored
            EXPECT_TRUE(stored() == old || stored() == want) << stored();
            if (cut == writes) {
                EXPECT_EQ(stored(), want);
            }
            old = stored();
        }
        // A store cut once its first copy is whole leaves two records; an erase cut after its
        // first erase leaves the one the start loads, not the other.
        store(u8(old == 9 ? 10 : 9));
        cut_and_restart(writes / 2, 0xF000, 0x62, Bytes{2, 4, 4});
        EXPECT_EQ(stored(), old);
        store(u8(old), 0x55);
        cut_and_restart(1, 0xF000, 0x62, Bytes{2, 4, 4});
        EXPECT_EQ(stored(), old) << (bright ? "brightness" : "on/off");
        EXPECT_EQ(f_->reg(66), 1);
    }
    // A tool that erases a record's first copy removes the record: its second copy does not
    // bring it back at the next start.
    ASSERT_EQ(ask(0xF100, 0x6E, le32(0x026CD000) + le16(1) + Bytes{0})[0], 0);
    EXPECT_EQ(f_->reg(66), 0);
    restart();
    bring_up();
    EXPECT_EQ(f_->reg(66), 0);
    // A record a tool writes itself carries no check, nor need its length bytes be written.
    ASSERT_EQ(ask(0xF100, 0x6D, le32(0x026CD000) + le16(3) + Bytes{0xAA, 2, 0x55})[0], 0);
    restart();
    bring_up();
    EXPECT_EQ(f_->reg(66), 1);
    // A record whole in its second copy alone (a store cut in its second half) that a tool
    // erases there: register 66 follows, as for the first copy.
    ASSERT_EQ(ask(0xF100, 0x6E, le32(0x026CD000) + le16(1) + Bytes{0})[0], 0);
    flash_write(0x6C9000, Bytes{0xAA, 2, 0x55});
    restart();
    bring_up();
    ASSERT_EQ(f_->reg(66), 1);
    ASSERT_EQ(ask(0xF100, 0x6E, le32(0x026C9000) + le16(1) + Bytes{0})[0], 0);
    EXPECT_EQ(f_->reg(66), 0);
}

TEST_F(FpgaRemote, brightness_command_is_applied_with_its_own_mode)
{
    // Without a usable record (none, a manual 0, a manual 4 with a data length of 1, a manual 8
    // erased through the command page before the bring-up) and in the automatic mode before its
    // first step, the brightness in use is 16, and register 64 says so.
    for (const Bytes& row : {Bytes{}, Bytes{2, 0, 0}, Bytes{1, 2}, Bytes{1, 0, 4}, Bytes{2, 0, 8}}) {  // length, data
        SCOPED_TRACE(row.size() * 100 + (row.empty() ? 0 : row.back()));
        if (!row.empty())
            flash_write(0x6CE000, Bytes{0xAA, 3, 0xAA, 0, 0, 0, row[0], 0} + Bytes(row.begin() + 1, row.end()));
        restart();
        if (row == Bytes{2, 0, 8}) {
            const Bytes erase = {0xAA, 3, 0x55, 0, 0, 0, 1, 0, 2};
            ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(erase.size())) + le16(0) + erase)[0], 0);
            ASSERT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 0);
        }
        bring_up();
        EXPECT_TRUE(run_until([&] { return ask(0xF000, 0x63, Bytes{64, 1}) == Bytes{0, 64, 1, 16}; }, 1100));
    }
    // A register 64 write is the brightness in use: on the cards at once, with no record too.
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{64, 5, 0xFF}), (Bytes{0, 64, 5}));
    EXPECT_EQ(fpga0_->reg(6), 79);
    // A tool's write of register 64 takes what the command page takes for the mode in use:
    // any byte in the raw mode, else 1 to 16, and puts it on the cards at once in that mode.
    for (const Bytes& c : {Bytes{0x10, 200, 200}, Bytes{0, 8, 127}}) {  // mode, value, register 6
        const Bytes page = {0xAA, 3, 0, 0, 0, 0, 2, 0, c[0], c[1]};
        ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
        ASSERT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 0);
        EXPECT_EQ(fpga0_->reg(6), c[2]);
        for (u8 v : {0, 17, 0xFF})
            EXPECT_EQ(ask(0xF000, 0x62, Bytes{64, v, 0xFF}), (Bytes{c[0] ? u8(0) : u8(1), 64, c[0] ? v : c[1]}));
        EXPECT_EQ(ask(0xF000, 0x62, Bytes{64, 3, 0xFF}), (Bytes{0, 64, 3}));
        EXPECT_EQ(fpga0_->reg(6), c[0] ? 3 : 47);
        EXPECT_EQ(ask(0xF000, 0x62, Bytes{64, c[1], 0xFF}), (Bytes{0, 64, c[1]}));
        EXPECT_EQ(fpga0_->reg(6), c[2]);
    }
    // Data the cards cannot take is refused and changes nothing: a manual value of 0 (it
    // would wrap to the brightest) or 17, an unknown mode, a half-hour table cut short.
    for (const Bytes& c : {Bytes{0, 0, 0}, Bytes{0, 17, 0}, Bytes{3, 5, 0xAA}, Bytes{1, 4, 0xAA}}) {
        SCOPED_TRACE(int(c[0]) * 1000 + c[1]);
        const Bytes page = {0xAA, 3, c[2], 0, 0, 0, 2, 0, c[0], c[1]};
        ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
        EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 1);
        run(1100);
        EXPECT_EQ(fpga0_->reg(6), 127);
        EXPECT_EQ(flash_->read(0x6CE000, 1), (Bytes{0xFF}));
    }
    // The reload that follows a stored brightness leaves the command page to the tools: a
    // command written there at once (on/off times to store) is the one its run carries out.
    for (const Bytes& page : {Bytes{0xAA, 3, 0xAA, 0, 0, 0, 2, 0, 0, 5},
                              Bytes{0xAA, 2, 0xAA, 0, 0, 0, 5, 0, 1, 0x11, 0x22, 0x33, 0x44}}) {
        ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
        if (page[1] == 2)
            run(1);  // the pass that serves the reload, before the tool's run
        ASSERT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 0);
    }
    EXPECT_EQ(f_->reg(66), 1);
    EXPECT_EQ(flash_->read(0x6CD000 + 9, 1), (Bytes{0x11}));
    EXPECT_EQ(fpga0_->reg(6), 79);
}

// The newest brightness command rules over the stored record's re-applications and over a
// reload asked by an earlier stored command, for a minute after it.
TEST_F(FpgaRemote, newest_brightness_command_rules_until_the_next_one)
{
    Bytes rec(57, 0);
    rec[0] = 0xAA;
    rec[6] = 2;     // data length
    rec[8] = 0x10;  // raw 200 stored
    rec[9] = 200;
    flash_write(0x6CE000, rec);
    bring_up();
    ASSERT_TRUE(run_until([&] { return fpga0_->reg(6) == 200; }, 1500));
    const auto command = [&](u8 store, u8 mode, u8 value) {
        const Bytes page = {0xAA, 3, store, 0, 0, 0, 2, 0, mode, value};
        ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
        ASSERT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 0);
    };
    const auto holds_for_a_minute = [&](int value) {
        for (int t = 0; t < 6000; t += 50) {
            run(50);
            if (fpga0_->reg(6) != value)
                return false;
        }
        return true;
    };
    run(500);
    command(0, 0, 8);  // manual 8, not stored, while the record's raw value is re-applied
    EXPECT_EQ(fpga0_->reg(6), 127);
    EXPECT_TRUE(holds_for_a_minute(127));

    command(0xAA, 0, 8);  // manual 8 stored, then at once raw 200 not stored
    command(0, 0x10, 200);
    EXPECT_EQ(fpga0_->reg(6), 200);
    EXPECT_TRUE(holds_for_a_minute(200));

    restart();  // the stored command is the record from now on
    bring_up();
    ASSERT_TRUE(run_until([&] { return fpga0_->reg(6) == 127; }, 1500));

    // A command given before the FPGA runs is not overridden by the record at its bring-up,
    // nor at a later one.
    restart();
    command(0, 0x10, 100);
    bring_up();
    EXPECT_TRUE(holds_for_a_minute(100));
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 2}}, {"fpga_restart", 1},
                            {"fpga_version_after_restart", 26}});
    ASSERT_TRUE(run_until([&] { return f_->get_fpga_status() == 0; }, 50));
    bring_up();
    EXPECT_TRUE(holds_for_a_minute(100));

    // A stored manual 11 whose store is still under way when another tool's unstored manual 4
    // (here run between two of the store's flash steps) is taken: the store's end brings
    // back neither 11 nor the record over the newer 4, at the bring-up nor later.
    restart();
    auto armed = std::make_shared<bool>(true);
    const uint64_t erases = flash_->erases();
    board_->soc().watch(pads::PAD_FLASH0_CS, [this, armed, erases](uint32_t, uint16_t high) {
        if (!*armed || !high || flash_->erases() == erases)
            return;
        *armed = false;
        // On a thread of its own, as another transport runs it (no port has a link yet: the
        // command needs no bus, which the store holds here).
        std::thread([this] {
            const Bytes newer = {0xAA, 3, 0, 0, 0, 0, 2, 0, 0, 4};
            fpga_manage::page_copy_in(fpga_manage::MCU_RAM_CMD, 0, newer.data(), u32(newer.size()));
            EXPECT_EQ(f_->Dealwith_mcu_ram(), fpga_manage::CommandResult::Done);
        }).join();
    });
    command(0xAA, 0, 11);
    EXPECT_FALSE(*armed);
    EXPECT_EQ(f_->reg(64), 4);
    bring_up();
    EXPECT_TRUE(holds_for_a_minute(63));
    EXPECT_EQ(f_->reg(64), 4);
    // An older command's store that comes to the flash after a newer one's (a store run on
    // another thread) leaves the newer record and what is in use.
    const u32 older = f_->brightness_gen;
    command(0xAA, 0, 9);
    const Bytes eleven = {0xAA, 3, 0xAA, 0, 0, 0, 2, 0, 0, 11};
    EXPECT_TRUE(f_->store_brightness_record(older, eleven.data(), true));
    f_->brightness_stored(older, true);
    EXPECT_EQ(flash_->read(0x6CE000 + 9, 1), (Bytes{9}));
    EXPECT_EQ(flash_->read(0x6CA000 + 9, 1), (Bytes{9}));
    EXPECT_TRUE(holds_for_a_minute(143));

    // A half-hour table that is not to be stored cannot be kept (the mode runs from the record).
    const Bytes half_hour = {0xAA, 3, 0, 0, 0, 0, 2, 0, 1, 0};
    ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(half_hour.size())) + le16(0) + half_hour)[0], 0);
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 1);
}

// A record's erase that fails (the flash stays busy) leaves the record stored, and says so.
TEST_F(FpgaRemote, failed_record_erase_keeps_the_record_and_reports_it)
{
    bring_up();
    const auto command = [&](u8 code, u8 store, u8 status = 0) {
        const Bytes page = {0xAA, code, store, 0, 0, 0, 2, 0, 0, 8};
        ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
        ASSERT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], status);
    };
    command(2, 0xAA);  // on/off times and manual brightness 8, both stored
    command(3, 0xAA);
    ASSERT_EQ(f_->reg(66), 1);
    run(1);
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 2}}, {"fpga_flash_busy_polls", -1}});
    ASSERT_EQ(ask(0xF100, 0x6E, le32(0x02700000) + le16(1) + Bytes{0})[0], 3);  // now busy for good

    command(2, 0x55, 3);        // failed
    EXPECT_EQ(f_->reg(66), 1);  // the record is still there
    command(3, 0x55, 3);
    EXPECT_EQ(flash_->read(0x6CD000, 1), (Bytes{0xAA}));
    EXPECT_EQ(flash_->read(0x6CE000, 1), (Bytes{0xAA}));
    run(1100);  // no reload: the brightness record is still the one applied
    EXPECT_EQ(fpga0_->reg(6), 127);

}

// A store or erase of the on/off record that fails part way (the flash stays busy after the
// erase or program command that follows `erases` completed erases): register 66 says what a
// start would find, a whole copy it would load, and the next start agrees.
TEST_F(FpgaRemote, record_store_failing_part_way_reads_as_what_a_start_finds)
{
    bring_up();
    const auto command = [&](u8 store) {
        const Bytes page = {0xAA, 2, store, 0, 0, 0, 2, 0, 0, 8};
        EXPECT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
        return ask(0xF000, 0x62, Bytes{2, 4, 4})[0];
    };
    const QJsonArray cards{0, 0, 0, 0, 0, 0, 2};
    const auto whole = [&](uint32_t at) { return flash_->read(at, 1) == Bytes{0xAA}; };
    struct Case {
        u8 store;
        uint64_t erases;  // completed before the flash stays busy
        u8 finds;
    };
    for (const Case c : {Case{0xAA, 0, 1}, Case{0x55, 0, 1}, Case{0xAA, 1, 1}, Case{0x55, 1, 0}, Case{0xAA, 2, 1}}) {
        SCOPED_TRACE(int(c.store) * 10 + int(c.erases));
        ASSERT_EQ(command(0xAA), 0);
        ASSERT_EQ(f_->reg(66), 1);
        const uint64_t erases = flash_->erases() + c.erases;
        auto armed = std::make_shared<bool>(true);
        const auto slow = [this, cards] {
            write_board(QJsonObject{{"cards", cards}, {"fpga_flash_busy_polls", 400}});  // longer than the wait
        };
        if (c.erases == 0) {
            *armed = false;
            slow();
        }
        board_->soc().watch(pads::PAD_FLASH0_CS, [this, armed, erases, slow](uint32_t, uint16_t high) {
            if (*armed && high && flash_->erases() == erases) {
                *armed = false;
                slow();
            }
        });
        EXPECT_EQ(command(c.store), 3);
        EXPECT_FALSE(*armed);
        EXPECT_EQ(f_->reg(66), c.finds);
        EXPECT_EQ(whole(0x6CD000) || whole(0x6C9000), c.finds == 1);  // the copies a start would load
        write_board(QJsonObject{{"cards", cards}});
        while (ask(0xF100, 0x6E, le32(0x026CD000) + le16(0) + Bytes{0})[0] != 0) {  // idle again
        }
        restart();
        bring_up();
        EXPECT_EQ(f_->reg(66), c.finds);
    }

    // The brightness in use follows the same rule: a half-hour table over a stored manual 8
    // whose store fails once its first copy is whole and the other erased is what a start
    // loads, and so what is in use.
    const Bytes manual = {0xAA, 3, 0xAA, 0, 0, 0, 2, 0, 0, 8};
    ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(manual.size())) + le16(0) + manual)[0], 0);
    ASSERT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 0);
    run(100);  // its record reloaded
    ASSERT_EQ(fpga0_->reg(6), 127);
    Bytes table = {0xAA, 3, 0xAA, 0, 0, 0, 49, 0, 1};
    table.resize(table.size() + 48, 5);
    const uint64_t erases = flash_->erases() + 2;
    auto armed = std::make_shared<bool>(true);
    board_->soc().watch(pads::PAD_FLASH0_CS, [this, armed, erases, cards](uint32_t, uint16_t high) {
        if (*armed && high && flash_->erases() == erases) {
            *armed = false;
            write_board(QJsonObject{{"cards", cards}, {"fpga_flash_busy_polls", 400}});
        }
    });
    ASSERT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(table.size())) + le16(0) + table)[0], 0);
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 3);
    EXPECT_FALSE(*armed);
    EXPECT_TRUE(run_until([&] { return f_->reg(64) == 5 && fpga0_->reg(6) == 79; }, 200));
    write_board(QJsonObject{{"cards", cards}});
    while (ask(0xF100, 0x6E, le32(0x026CD000) + le16(0) + Bytes{0})[0] != 0) {  // idle again
    }
    restart();
    bring_up();
    EXPECT_TRUE(run_until([&] { return fpga0_->reg(6) == 79; }, 200));
}

TEST_F(FpgaRemote, led_size_applied_from_the_remote_side_blanks_the_output_for_the_scaler)
{
    start_output();
    const u16 width = ram_rd16(store_->ram_image, ram_led_width);
    const u16 wider = u16(width + 64);
    ASSERT_EQ(ask(0xF100, 0x60, le32(ram_led_width) + le16(2) + le16(0) + le16(wider))[0], 0);
    ASSERT_EQ(ask(0xF100, 0x62, Bytes{11, 2, 2})[0], 0);  // apply
    EXPECT_EQ(g_set_led_para.load(), 1);
    ASSERT_TRUE(run_until([] { return g_set_led_para == 0; }, 100));
    EXPECT_TRUE(fpga0_->reg(0) & 0x04);  // blanked for the scaler's panel set-up

    ram_wr16(store_->ram_applied, ram_led_width, wider);  // the scaler has applied it
    ASSERT_EQ(ask(0xF100, 0x62, Bytes{11, 2, 2})[0], 0);  // the same size again
    EXPECT_EQ(g_set_led_para.load(), 0);

    // Back to the old size before the parameter file was written (the shadow still holds
    // it): the scaler runs the wider canvas, so this is a new size for it.
    ASSERT_EQ(ram_rd16(store_->ram_shadow, ram_led_width), width);
    ASSERT_EQ(ask(0xF100, 0x60, le32(ram_led_width) + le16(2) + le16(0) + le16(width))[0], 0);
    ASSERT_EQ(ask(0xF100, 0x62, Bytes{11, 2, 2})[0], 0);
    EXPECT_EQ(g_set_led_para.load(), 1);
    ASSERT_TRUE(run_until([] { return g_set_led_para == 0; }, 100));
    ram_wr16(store_->ram_applied, ram_led_width, width);
}

TEST_F(FpgaRemote, fpga_registers_and_pages_through_destination_f000)
{
    // Before the bring-up a write to the chip, or of a register the bring-up sets, would be
    // lost: refused (status 3), nothing written, the device's copy unchanged. What a read
    // would answer is not there yet either (the chip's registers and blocks, the records and
    // the page the bring-up loads): refused too. The command page and register 2, which runs
    // it, are served, and so are register 80 and the extend page, read only.
    const Bytes page = {0xAA, 1, 0, 0, 0, 0, 7, 0, 0x24, 0x20, 0x05, 0x06, 0x07, 0x08, 0x09};
    for (u8 r : {5, 50, 60, 64, 70, 160})
        EXPECT_EQ(ask(0xF000, 0x62, Bytes{r, 0x5A, 0xFF}), (Bytes{3, r, 0})) << int(r);
    // Without the FPGA component (the first seconds of a start) every request is refused so,
    // in the same shape.
    fpga_manage::p_fpga_manage = nullptr;
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4}), (Bytes{3, 2, 0}));
    EXPECT_EQ(ask(0xF000, 0x63, Bytes{80, 1}), (Bytes{3, 80, 1}));
    for (u8 cmd : {0x60, 0x61})
        EXPECT_EQ(ask(0xF000, cmd, le32(30 * 0x1000) + le16(1) + le16(0) + Bytes{0}), Bytes{3} + le32(30 * 0x1000) + le16(1));
    fpga_manage::p_fpga_manage = f_;
    EXPECT_EQ(ask(0xF000, 0x60, le32(33 * 0x1000) + le16(2) + le16(0) + Bytes{7, 8})[0], 3);
    EXPECT_EQ(ask(0xF000, 0x60, le32(3 * 0x1000) + le16(2) + le16(0) + Bytes{7, 8})[0], 3);
    const auto refused_reads = [this] {
        for (const Bytes& r : {Bytes{28, 4}, Bytes{64, 1}, Bytes{66, 1}, Bytes{64, 33}, Bytes{79, 2}})
            EXPECT_EQ(ask(0xF000, 0x63, r), (Bytes{3, r[0], r[1]})) << int(r[0]);
        for (u32 block : {1, 2, 30, 33}) {
            const Bytes at = le32(block * 0x1000) + le16(4);
            EXPECT_EQ(ask(0xF000, 0x61, at + le16(0)), Bytes{3} + at) << block;
        }
        EXPECT_EQ(ask(0xF000, 0x63, Bytes{80, 1}), (Bytes{0, 80, 1, 0}));
        EXPECT_EQ(ask(0xF000, 0x61, le32(31 * 0x1000 + 29) + le16(1) + le16(0))[0], 0);
    };
    refused_reads();
    // The device's own reports (the chip runs, an on/off record stored, the power allowed, bad
    // checksums) are never a tool's to write; nor are register 2's hand-shake bits.
    const auto reports_refused = [this] {
        for (u8 r : {66, 67, 80, 85})
            EXPECT_EQ(ask(0xF000, 0x62, Bytes{r, 0x5A, 0xFF}), (Bytes{1, r, f_->reg(r)})) << int(r);
    };
    reports_refused();
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 0x0B, 0x0B}), (Bytes{0, 2, 0}));
    EXPECT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4}), (Bytes{0, 2, 0x04}));
    EXPECT_EQ(fpga0_->reg(5) | fpga0_->reg(50) | fpga0_->reg(60) | fpga0_->reg(160) | f_->reg(64) | f_->reg(80), 0);
    EXPECT_NE(fpga0_->ram(33, 0, 2), (Bytes{7, 8}));
    EXPECT_NE(fpga_manage::MCU_RAM_DEFAULT[0].load(), 7);
    // A command written before the bring-up and run after it runs as written: the bring-up's
    // records and version do not replace it.
    Bytes waiting = page;
    waiting[12] = 0x10;
    EXPECT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(waiting.size())) + le16(0) + waiting)[0], 0);

    // Throughout the bring-up (its record and page loads may wait for a slow store), register
    // 80 reads 3 only while a tool's writes are taken.
    auto told_early = std::make_shared<int>(0), selects = std::make_shared<int>(0);
    board_->soc().watch(pads::PAD_FPGA0_SEL, [this, told_early, selects](uint32_t, uint16_t) {
        if (*selects < 0)
            return;
        ++*selects;
        if (f_->reg(fpga::REG_RUN_STATE) == 3 && !(f_->chip_ready() && f_->page_ready()))
            ++*told_early;
    });
    bring_up();
    EXPECT_GT(*selects, 0);
    EXPECT_EQ(*told_early, 0);
    *selects = -1;
    EXPECT_EQ(ask(0xF000, 0x61, le32(30 * 0x1000) + le16(u16(waiting.size())) + le16(0)),
              Bytes{0} + le32(30 * 0x1000) + le16(u16(waiting.size())) + waiting);
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 0);
    reports_refused();
    EXPECT_EQ(f_->reg(80), 3);
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 0, 0x0B}), (Bytes{0, 2, 0x08}));
    EXPECT_EQ(fpga0_->reg(2), 0x08);
    EXPECT_EQ(ask(0xF000, 0x63, Bytes{64, 1})[0], 0);
    // The input the FPGA measures, from the bring-up on (before the output start) and as it
    // changes.
    const Bytes input = le32(0x1000 + 116) + le16(8);
    EXPECT_EQ(ask(0xF000, 0x61, input + le16(0)), Bytes{0} + input + le16(4096) + le16(2160) + le32(833753));
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 2}}, {"fpga_input", QJsonArray{1920, 1080, 900000}}});
    EXPECT_EQ(ask(0xF000, 0x61, le32(0x1000 + 118) + le16(2) + le16(0)), Bytes{0} + le32(0x1000 + 118) + le16(2) + le16(1080));
    for (u8 r : {5, 50, 60, 160})
        EXPECT_EQ(ask(0xF000, 0x62, Bytes{r, 0x5A, 0xFF}), (Bytes{0, r, 0x5A})) << int(r);
    EXPECT_EQ(ask(0xF000, 0x63, Bytes{5, 1}), (Bytes{0, 5, 1, 0x5A}));
    // The clock command through the command page (block 30), run by register 2 bit 2.
    EXPECT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(page.size())) + le16(0) + page)[0], 0);
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4}), (Bytes{0, 2, 0x0C}));  // the mirror keeps bit 2
    EXPECT_EQ(fpga0_->reg(2) & 0x04, 0);
    std::ifstream log(root_->path() + "/sim/shell.log");
    const std::string text((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(text.find("date \"2024-5-6 7:8:9\";hwclock -wu"), std::string::npos);
    EXPECT_NE(text.find("date \"2024-5-6 10:8:9\";hwclock -wu"), std::string::npos);
    // A date or time the clock cannot take (month 13, 31 April, hour 25, a nibble past 9, a
    // field missing) is refused and runs nothing.
    for (const Bytes& t : {Bytes{0x24, 0x20, 0x13, 0x06, 0x07, 0x08, 0x09}, Bytes{0x24, 0x20, 0x04, 0x31, 0, 0, 0},
                           Bytes{0x24, 0x20, 0x05, 0x06, 0x25, 0x08, 0x09}, Bytes{0x24, 0x20, 0x05, 0x06, 0x07, 0x08, 0xFF},
                           Bytes{0x24, 0x20, 0x05, 0x06, 0x07, 0x08}}) {
        SCOPED_TRACE(t.size() * 100 + t[2]);
        const Bytes bad = Bytes{0xAA, 1, 0, 0, 0, 0, u8(t.size()), 0} + t;
        EXPECT_EQ(ask(0xF000, 0x60, le32(30 * 0x1000) + le16(u16(bad.size())) + le16(0) + bad)[0], 0);
        EXPECT_EQ(ask(0xF000, 0x62, Bytes{2, 4, 4})[0], 1);
    }
    std::ifstream log_after(root_->path() + "/sim/shell.log");
    const std::string after((std::istreambuf_iterator<char>(log_after)), {});
    EXPECT_EQ(after.find("date", text.rfind("date") + 1), std::string::npos);

    EXPECT_EQ(ask(0xF000, 0x62, Bytes{97, 1, 0xFF})[0], 1);
    EXPECT_EQ(ask(0xF000, 0x62, Bytes{171, 1, 0xFF})[0], 1);
    EXPECT_EQ(ask(0xF000, 0x63, Bytes{28, 4}), (Bytes{0, 28, 4, 1, 0, 0, 33}));
    EXPECT_EQ(ask(0xF000, 0x63, Bytes{170, 2})[0], 1);
    EXPECT_EQ(ask(0xF001, 0x63, Bytes{28, 4}), (Bytes{1}));

    // Parameter page reads come from the page, FPGA blocks from the chip.
    const Bytes head = (Bytes{0}) + le32(0x1000) + le16(4);
    EXPECT_EQ(ask(0xF000, 0x61, le32(0x1000) + le16(4) + le16(0)), head + (Bytes{0x00, 0x05, 0x00, 0x04}));
    EXPECT_EQ(ask(0xF000, 0x60, le32(60 * 0x1000 + 0x10) + le16(2) + le16(0) + Bytes{7, 8})[0], 0);
    EXPECT_EQ(fpga0_->ram(60, 0x10, 2), (Bytes{7, 8}));
    EXPECT_EQ(ask(0xF000, 0x61, le32(0x1FF0) + le16(0x20) + le16(0))[0], 1);   // crosses a block
    EXPECT_EQ(ask(0xF000, 0x61, le32(0x1000) + le16(1025) + le16(0))[0], 1);   // over 1024 bytes
    EXPECT_EQ(ask(0xF000, 0x60, le32(31 * 0x1000) + le16(1) + le16(0) + Bytes{1})[0], 1);  // extend page: read only

    // An FPGA restart: from its reset on, until the bring-up is whole again.
    f_->reset_chip(0);
    refused_reads();
    bring_up();
    EXPECT_EQ(ask(0xF000, 0x63, Bytes{64, 1})[0], 0);
}

// Two card frames of one transport, to output port 7 (cards) and port 2 (none): the answer
// of port 7, relayed by the FPGA's own thread, does not end the transport's wait while port
// 2's is still owed; the wait ends when nothing is owed any more.
TEST_F(FpgaRemote, a_transport_waits_for_every_answer_it_is_owed)
{
    bring_up();
    run(100);
    static remote::RemoteEndpoint* endpoint = nullptr;
    remote::RemoteEndpoint ep(remote::TR_TCP);
    endpoint = &ep;
    fpga_manage::set_relay(remote::TR_TCP, [](const u8* f, u32 n, uint64_t peer) { endpoint->relay(f, n, peer); });
    // Card 1 at its address 0, by port number: port 7 has cards, port 2 none.
    auto card_read = [](uint8_t netport) {
        Bytes f = testutil::make_frame(0x0001, 0xF010, 0x61, le32(0) + le16(16) + le16(0));
        f[6] = 1;
        f[7] = netport;
        f.back() = testutil::bcc(f.data(), f.size() - 1);
        return testutil::encode(f);
    };
    remote::FrameReassembler stream;
    auto no_reply = [](const u8*, size_t) {};
    for (uint8_t port : {7, 2}) {
        const Bytes wire = card_read(port);
        ep.receive(stream, wire.data(), wire.size(), no_reply, 1);
    }
    {
        std::lock_guard<std::mutex> lk(f_->frame_mutex);  // the FPGA thread collects the answer
        f_->reg_IRQ_Dealwith(0, 0);
    }
    size_t answers = 0;
    ep.take_relayed([&answers](uint64_t, const u8*, size_t) { ++answers; });
    EXPECT_EQ(answers, 1u);
    ep.poll_pass_through();
    EXPECT_EQ(ep.pass_wait_ms(), remote::RemoteEndpoint::kPassPollMs) << "port 2's answer is still owed";
    run(310);
    ep.poll_pass_through();
    EXPECT_EQ(ep.pass_wait_ms(), -1);
    fpga_manage::set_relay(remote::TR_TCP, nullptr);
}

// Two tools served in turns, one frame (or one part of a long erase) each, as the TCP server
// serves its clients. Between the parts of tool A's erase, tool B's frames for what the device
// does not serve (a destination of nobody's, a card address from a source that is not the card
// source, their byte 6 far past an erase kind) are dropped as B's own, B's next request is
// answered in B's next turn, and A's erase ends with its reply and its own range erased.
TEST_F(FpgaRemote, another_tools_frames_between_the_parts_of_a_long_erase_are_served_as_their_own)
{
    ASSERT_EQ(ask(0xF100, 0x6D, le32(0x020FF000) + le16(4) + Bytes{1, 2, 3, 4})[0], 0);  // last sector erased
    ASSERT_EQ(ask(0xF100, 0x6D, le32(0x02100000) + le16(4) + Bytes{5, 6, 7, 8})[0], 0);  // the next one kept
    remote::RemoteEndpoint ep(remote::TR_TCP);
    struct Tool {
        uint64_t peer;
        remote::FrameReassembler stream;
        std::vector<testutil::Frame> replies;
    } a{1, {}, {}}, b{2, {}, {}};
    // One turn of a tool: the rest of its request carried out in parts, or the frame it sends.
    auto turn = [&ep](Tool& t, const Bytes& frame = {}) {
        const Bytes wire = frame.empty() ? Bytes{} : testutil::encode(frame);
        auto sink = [&t](const u8* p, size_t n) { t.replies.push_back({testutil::decode(Bytes(p, p + n))}); };
        bool taken = false;
        EXPECT_EQ(ep.receive_one(t.stream, wire.data(), wire.size(), sink, t.peer, taken), wire.size());
    };
    const Bytes far_kind = le32(0x02000000) + le16(1) + Bytes{242};
    turn(a, testutil::make_frame(0xF100, 0xF011, 0x6E, le32(0x02000000) + le16(256) + Bytes{0}));
    ASSERT_FALSE(a.stream.rest.empty()) << "the erase goes on in parts";
    for (const Bytes& dropped : {testutil::make_frame(0x1234, 0xF011, 0x6E, far_kind),
                                 testutil::make_frame(0x0001, 0xF011, 0x6E, far_kind)}) {
        turn(b, dropped);
        EXPECT_TRUE(b.replies.empty());
        EXPECT_TRUE(b.stream.rest.empty()) << "a dropped frame is not carried on as A's erase";
        turn(a);
    }
    turn(b, testutil::make_frame(0xF100, 0xF011, 0x63, {37, 3}));
    ASSERT_EQ(b.replies.size(), 1u) << "B's request is served in B's next turn";
    EXPECT_EQ(b.replies[0].cmd(), 0x63);
    EXPECT_EQ(b.replies[0].status(), 0);
    for (int turns = 0; a.replies.empty() && turns < 100; ++turns)
        turn(a);
    ASSERT_EQ(a.replies.size(), 1u);
    EXPECT_EQ(a.replies[0].cmd(), 0x6E);
    EXPECT_EQ(a.replies[0].status(), 0);
    EXPECT_EQ(flash_->read(0x0FF000, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(flash_->read(0x100000, 4), (Bytes{5, 6, 7, 8})) << "the erase went past its own range";
    EXPECT_EQ(b.replies.size(), 1u);
}

// Last in this file: the TCP server's thread outlives the test.
TEST_F(FpgaRemote, card_frames_over_tcp_and_udp_are_answered_to_their_requester)
{
    outlive_the_test();
    bring_up();
    outlive_test();
    g_port = testutil::free_tcp_port();
    const uint16_t udp_offset = testutil::free_udp_offset();
    setenv("K57_SIM_UDP_PORT_OFFSET", std::to_string(udp_offset).c_str(), 1);
    networkManage::pInstance();  // listens on g_port, installs its relay
    udpnetManage::pInstance();
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(uint16_t(networkManage::p_networkManage->listening_port())));
    fpga0_->clear_sent();
    // Card 1 on output port 7: 16 bytes at its address 0.
    const Bytes request = {0xA5, 0xA5, 0xA5, 0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00,
                           0x61, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x96, 0x5A};
    const Bytes answer = {0x10, 0xF0, 0x01, 0x00, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x96};
    ASSERT_TRUE(client.send_bytes(request));
    const auto reply = client.next_reply(5000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, answer);

    testutil::UdpRemoteClient udp(uint16_t(5008 + udp_offset));
    ASSERT_TRUE(udp.send_bytes(request));
    const auto udp_reply = udp.next_reply(5000);
    ASSERT_TRUE(udp_reply);
    EXPECT_EQ(udp_reply->bytes, answer);
    EXPECT_FALSE(client.next_reply(200));  // nothing for the TCP client

    {
        std::lock_guard<std::recursive_mutex> lk(fpga0_->device_lock());
        ASSERT_EQ(fpga0_->sent().size(), 2u);
        EXPECT_EQ(fpga0_->sent()[0].port, 6);
        EXPECT_EQ(fpga0_->sent()[0].bytes[0] | fpga0_->sent()[0].bytes[1] << 8, 0x2001);
    }

    // A long erase (512 sectors, a second of real time here) holds no other TCP tool: a tool
    // asking meanwhile is answered while the erase goes on, in parts, in its client's turns.
    // The eraser's own next request, sent meanwhile, waits for the erase's reply without
    // keeping the server busy.
    ASSERT_EQ(ask(0xF100, 0x6D, le32(0x021FF000) + le16(4) + Bytes{1, 2, 3, 4})[0], 0);  // in the last sector
    const Bytes erase = testutil::encode(testutil::make_frame(0xF100, 0xF011, 0x6E, le32(0x02000000) + le16(512) + Bytes{0}));
    ASSERT_TRUE(client.send_bytes(erase));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the erase is under way
    const Bytes reg_read_frame = testutil::encode(testutil::make_frame(0xF100, 0xF011, 0x63, {3, 1}));
    const double server_cpu0 = thread_cpu_s("tcp-server");
    const auto erase_t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.send_bytes(reg_read_frame));
    testutil::TcpRemoteClient tool;
    ASSERT_TRUE(tool.connect(uint16_t(networkManage::p_networkManage->listening_port())));
    EXPECT_TRUE(tool.reg_read(37, 3));
    EXPECT_FALSE(client.next_reply(50)) << "the tool waited for the whole erase";
    const auto erased = client.next_reply(10000);
    ASSERT_TRUE(erased);
    EXPECT_EQ(erased->status(), 0);
    EXPECT_LT(thread_cpu_s("tcp-server") - server_cpu0,
              0.25 * std::chrono::duration<double>(std::chrono::steady_clock::now() - erase_t0).count())
        << "the server spun while the eraser's next request waited";
    EXPECT_TRUE(client.next_reply(2000)) << "the eraser's next request";
    EXPECT_EQ(flash_->read(0x1FF000, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));

    // A tool asking the processor and an FPGA register twice a second, while another tool's
    // long request is under way: the longest it waits for an answer, in milliseconds.
    const auto worst_wait_ms = [&](testutil::RemoteClient& busy, const Bytes& request, bool fpga, int replies = 1) {
        EXPECT_TRUE(busy.send_bytes(request));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // under way
        double worst = 0;
        for (int round = 0; round < 6; ++round) {
            const auto t0 = std::chrono::steady_clock::now();
            EXPECT_TRUE(tool.reg_read(3, 1));
            if (fpga) {
                EXPECT_TRUE(tool.request(0x63, Bytes{37, 3}, 5000, 0xF000));
            }
            worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        for (int r = 0; r < replies; ++r) {
            const auto done = busy.next_reply(20000);
            EXPECT_TRUE(done && done->status() == 0) << "reply " << r;
        }
        return worst;
    };
    // The whole flash erased over UDP, then over the serial line (4 s here), in one request
    // or in 16-sector erases back to back: the bus is handed over between the erase's parts
    // and between the requests, and the TCP tool is answered within them.
    const Bytes whole = testutil::encode(testutil::make_frame(0xF100, 0xF011, 0x6E, le32(0x02000000) + le16(2048) + Bytes{0}));
    Bytes back_to_back;
    for (u32 at = 0; at < 0x800000; at += 0x10000)
        back_to_back = back_to_back + testutil::encode(testutil::make_frame(0xF100, 0xF011, 0x6E, le32(0x02000000 + at) + le16(16) + Bytes{0}));
    EXPECT_LT(worst_wait_ms(udp, back_to_back, true, 128), 500.0) << "over UDP, back to back";
    EXPECT_LT(worst_wait_ms(udp, whole, true), 500.0) << "over UDP";
    std::filesystem::create_directories(root_->path() + "/dev");
    testutil::PtyRemoteClient serial;
    ASSERT_TRUE(serial.link_as(root_->path() + "/dev/ttyS2"));
    Qn_uart_inout::pInstance();
    EXPECT_LT(worst_wait_ms(serial, whole, true), 500.0) << "over the serial line";

    // The LED page stored by one TCP client on a slow flash (0.2 s of real time an operation
    // here, 3 s the store): another's requests to the processor and the FPGA are answered
    // meanwhile, the store's reply comes once both copies are whole.
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 2}}, {"fpga_flash_busy_polls", 200}});
    const Bytes save = testutil::encode(testutil::make_frame(0xF100, 0xF011, 0x6F, {}));
    EXPECT_LT(worst_wait_ms(client, save, true), 500.0) << "a TCP tool waited for another's store";
    EXPECT_EQ(flash_->read(fpga::FLASH_PARA_SECTOR * fpga::kFlashSector, 1), (Bytes{0xAA}));
    EXPECT_EQ(flash_->read(fpga::FLASH_PARA_COPY_SECTOR * fpga::kFlashSector, 1), (Bytes{0xAA}));
    write_board(QJsonObject{{"cards", QJsonArray{0, 0, 0, 0, 0, 0, 2}}});
    tool.close();
    // The server logs the disconnect: let it do so before the process (and its log) ends, and
    // take the log's lock once more from here so the log's end comes after it.
    client.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writeLogMsg(LOG_DEBUG, "fpga test: done");
}
