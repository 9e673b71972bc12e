// The configuration flash, the register mirror and the RAM framing, against the simulated
// FPGA and its flash.
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "fpga_fixture.h"
#include "core/pending_writes.h"
#include "core/utils.h"
#include "video_io/fpga_drv.h"
#include "video_io/fpga_page_record.h"

using Bytes = std::vector<uint8_t>;

class FpgaAccess : public FpgaFixture {};

TEST_F(FpgaAccess, flash_programs_page_by_page_and_reads_in_2048_byte_messages)
{
    fpga_drv& d = *f_->drv;
    const Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    flash_->read(0, 1);
    flash_->clear_messages();
    ASSERT_EQ(d.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0x10FA, ten.data(), 10), 1u);
    EXPECT_EQ(flash_->programs(), 2u);  // 6 bytes up to the boundary, then 4
    EXPECT_EQ(flash_->read(0x10FA, 10), ten);
    EXPECT_TRUE(pads_idle());

    Bytes page(256, 0x5A);
    ASSERT_EQ(d.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0x2000, page.data(), 256), 1u);
    EXPECT_EQ(flash_->programs(), 3u);  // exactly one page program
    EXPECT_EQ(flash_->read(0x2000, 256), page);

    Bytes out(4096);
    flash_->clear_messages();
    ASSERT_EQ(d.FPGA_SPI_FLASH_VBYONE_READ(2, 0x1000, 4096, out.data()), 1u);
    EXPECT_EQ(flash_->messages(), (std::vector<size_t>{2053, 2053}));
    EXPECT_EQ(Bytes(out.begin() + 0xFA, out.begin() + 0x104), ten);
    flash_->clear_messages();
    ASSERT_EQ(d.FPGA_SPI_FLASH_VBYONE_READ(2, 0x1000, 2049, out.data()), 1u);
    EXPECT_EQ(flash_->messages(), (std::vector<size_t>{2053, 6}));
    EXPECT_TRUE(pads_idle());
}

TEST_F(FpgaAccess, flash_refuses_out_of_range_requests_without_touching_the_bus)
{
    fpga_drv& d = *f_->drv;
    Bytes buf(0x200, 0);
    flash_->read(0, 1);
    flash_->clear_messages();
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_READ(2, 0x7FFFFF, 2, buf.data()), 0u);
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0x7FFFFF, buf.data(), 2), 0u);
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0xFFFFFF00u, buf.data(), 0x200), 0u);    // wraps in 32 bits
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_READ(2, 0xFFFFFF00u, 0x200, buf.data()), 0u);
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0x10, 2, 0xFFFFFFFFu), 0u);              // 16 x count wraps
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0, 3, 1), 0u);                            // no erase type 3
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_READ(3, 0, 1, buf.data()), 0u);                    // chip 1's flash
    EXPECT_TRUE(flash_->messages().empty());
    EXPECT_EQ(flash_->erases(), 0u);

    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_READ(2, 0x7FFFFE, 2, buf.data()), 1u);  // last byte 0x7FFFFF
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0x7FF, 0, 0), 1u);             // count 0: idle check only
    EXPECT_EQ(flash_->erases(), 0u);
    EXPECT_TRUE(pads_idle());
}

TEST_F(FpgaAccess, flash_that_stays_busy_is_given_up_after_three_seconds)
{
    write_board(QJsonObject{{"fpga_flash_busy_polls", -1}});
    fpga_drv& d = *f_->drv;
    const Bytes one = {0x00};
    ASSERT_EQ(d.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0x100, one.data(), 1), 0u);  // program, then never idle
    const uint64_t t0 = clock_.now_us();
    EXPECT_EQ(d.FPGA_SPI_FLASH_VBYONE_ERASE(2, 1, 0, 1), 0u);
    EXPECT_GE(clock_.now_us() - t0, fpga_drv::kBusyTimeoutUs);
    EXPECT_LT(clock_.now_us() - t0, 2 * fpga_drv::kBusyTimeoutUs);
    EXPECT_TRUE(pads_idle());
    EXPECT_EQ(board_->soc().read16(pads::PAD_FLASH0_CS), pads::kHigh);
}

// The busy waits let the bus go: another thread's flash command must still wait for the flash,
// which ignores a program or an erase while busy with one (it would be answered done and lost).
TEST_F(FpgaAccess, flash_operations_of_several_threads_each_land_though_the_busy_waits_let_the_bus_go)
{
    write_board(QJsonObject{{"fpga_flash_busy_polls", 5}});
    fpga_drv& d = *f_->drv;
    const Bytes zero(1, 0x00);
    for (uint32_t s = 0x400; s < 0x410; ++s)
        ASSERT_EQ(d.FPGA_SPI_FLASH_VBYONE_WRITE(2, s * 4096, zero.data(), 1), 1u);
    unsigned written[2] = {0, 0};
    unsigned erased = 0;
    auto writer = [&](int w) {
        for (int i = 0; i < 16; ++i) {
            const Bytes b(64, uint8_t(16 * w + i));
            written[w] += d.FPGA_SPI_FLASH_VBYONE_WRITE(2, 0x100000 * (w + 1) + 256 * i, b.data(), 64);
        }
    };
    std::thread a(writer, 0), b(writer, 1);
    std::thread c([&] { erased = d.FPGA_SPI_FLASH_VBYONE_ERASE(2, 0x400, 0, 16); });
    a.join();
    b.join();
    c.join();
    ASSERT_EQ(written[0] + written[1], 32u);
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(flash_->read(0x100000 * (w + 1) + 256 * i, 64), Bytes(64, uint8_t(16 * w + i))) << w << " " << i;
    ASSERT_EQ(erased, 1u);
    for (uint32_t s = 0x400; s < 0x410; ++s)
        EXPECT_EQ(flash_->read(s * 4096, 1), Bytes(1, 0xFF)) << s;
    EXPECT_TRUE(pads_idle());
}

// A tool's restart served beside another tool's record store or erase waits for it, as for
// the files: a store kept from the bus keeps the restart waiting its whole bound; once the
// store has ended the restart goes at once, both copies written.
TEST_F(FpgaAccess, a_record_store_under_way_is_a_write_a_restart_waits_for)
{
    ASSERT_FALSE(pending_writes::any());
    for (const bool erase : {false, true}) {
        SCOPED_TRACE(erase ? "erase" : "store");
        Utils::_spi_mutex.lock();  // the store begins and waits for the bus
        std::thread store([&] {
            const Bytes page(fpga::kPageSize, 0x11);
            if (erase)
                EXPECT_TRUE(fpga::erase_record(*f_->drv, fpga::kPageRecord));
            else
                EXPECT_EQ(fpga::save_page_record(*f_->drv, page.data()), fpga::PageSave::Stored);
        });
        for (int i = 0; i < 10000 && !pending_writes::any(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint64_t asked = clock_.now_us();
        EXPECT_FALSE(pending_writes::finish());  // the restart waited its bound for the store
        EXPECT_GE(clock_.now_us() - asked, uint64_t(pending_writes::kBoundMs) * 1000);
        Utils::_spi_mutex.unlock();
        store.join();
        EXPECT_TRUE(pending_writes::finish());
        for (uint32_t copy : {0x6C7000u, 0x6C8000u})
            EXPECT_EQ(flash_->read(copy, 1), Bytes(1, erase ? 0xFF : 0xAA)) << copy;
    }
}

TEST_F(FpgaAccess, mirror_keeps_local_registers_and_frames_every_access)
{
    const uint64_t before = fpga0_->transfers();
    f_->write_to_register(70, 0xFF, 0xA0, 0);
    f_->write_to_register(70, 0x0F, 0x05, 0);
    EXPECT_EQ(f_->reg(70), 0xA5);
    f_->write_to_register(100, 0xFF, 0x33, 0);
    EXPECT_EQ(f_->reg(100), 0);
    f_->read_from_register(171, 0);
    f_->read_from_register(64, 0);
    EXPECT_EQ(fpga0_->transfers(), before);  // local and out-of-range registers never reach the chip

    f_->write_to_register(6, 0x0F, 0x0C, 0);
    f_->write_to_register(6, 0xF0, 0x30, 0);
    EXPECT_EQ(fpga0_->reg(6), 0x3C);
    EXPECT_EQ(f_->reg(6), 0x3C);
    EXPECT_TRUE(pads_idle());

    const Bytes data = {9, 8, 7};
    f_->write_fpga_ram(data.data(), 0x1234, 3, 60, 0);
    EXPECT_EQ(fpga0_->ram(60, 0x234, 3), data);  // only the low 12 bits of the address
    Bytes back(3);
    f_->read_fpga_ram(back.data(), 0x234, 3, 60, 0);
    EXPECT_EQ(back, data);
    EXPECT_TRUE(pads_idle());
}

TEST_F(FpgaAccess, register_2_bit_2_runs_the_command_page_once_and_is_not_sent)
{
    const uint8_t page[] = {0xAA, 1, 0, 0, 0, 0, 7, 0, 0x24, 0x20, 0x05, 0x06, 0x07, 0x08, 0x09};
    fpga_manage::page_copy_in(fpga_manage::MCU_RAM_CMD, 0, page, sizeof page);
    f_->write_to_register(2, 4, 4, 0);
    EXPECT_EQ(fpga0_->reg(2) & 0x04, 0);
    std::ifstream log(root_->path() + "/sim/shell.log");
    const std::string text((std::istreambuf_iterator<char>(log)), {});
    const std::string cmd = "date \"2024-5-6 7:8:9\";hwclock -wu";
    size_t count = 0;
    for (size_t p = text.find(cmd); p != std::string::npos; p = text.find(cmd, p + 1))
        ++count;
    EXPECT_EQ(count, 1u);
}

TEST_F(FpgaAccess, on_off_record_with_an_overlong_length_is_refused_and_nothing_erased)
{
    flash_write(0x6CD000, {0xAA, 2, 0xAA});
    uint8_t page[8] = {0xAA, 2, 0xAA, 0, 0, 0, 0xF9, 0x03};  // length 1017: page + 8 > 1024
    fpga_manage::page_copy_in(fpga_manage::MCU_RAM_CMD, 0, page, sizeof page);
    f_->Dealwith_mcu_ram();
    EXPECT_EQ(flash_->erases(), 0u);
    EXPECT_EQ(flash_->read(0x6CD000, 1)[0], 0xAA);
    EXPECT_EQ(f_->reg(66), 1);  // the record a start finds is still there

    page[6] = 4;
    page[7] = 0;
    fpga_manage::page_copy_in(fpga_manage::MCU_RAM_CMD, 0, page, sizeof page);
    f_->Dealwith_mcu_ram();
    EXPECT_EQ(f_->reg(66), 1);
    EXPECT_EQ(flash_->read(0x6CD000, 12), (Bytes{0xAA, 2, 0xAA, 0, 0, 0, 4, 0, 0, 0, 0, 0}));
    page[2] = 0x55;
    fpga_manage::page_copy_in(fpga_manage::MCU_RAM_CMD, 0, page, sizeof page);
    f_->Dealwith_mcu_ram();
    EXPECT_EQ(f_->reg(66), 0);
    EXPECT_EQ(flash_->read(0x6CD000, 1)[0], 0xFF);
}
