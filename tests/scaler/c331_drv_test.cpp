// The C331 transport on a scripted SPI device: exact frames, bank-select caching, channel
// offsets, the multiplexer pads before each transfer, and failure handling.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/board.h"
#include "platform/paths.h"
#include "scaler/c331_drv.h"

namespace {

struct Bus {
    std::vector<std::string> events;        // "A" / "B" pad writes of 0x0010, "w 80 08", "r 08 ff"
    std::deque<uint8_t> read_data;          // data bytes the chip answers, in order
    int fail_after = -1;                    // transfers left before every transfer fails
    uint16_t pad_a = 0, pad_b = 0;
};

class ScriptedSpi : public platform::SpiDevice {
public:
    explicit ScriptedSpi(Bus& bus) : bus_(bus) {}
    int configure(const platform::SpiConfig& want, platform::SpiConfig* got) override
    {
        *got = want;
        cfg = want;
        return 0;
    }
    int transfer(const uint8_t* tx, uint8_t* rx, size_t len, uint32_t speed_hz) override
    {
        EXPECT_EQ(len, 2u);
        EXPECT_EQ(speed_hz, rx ? 5000000u : 10000000u) << "reads run at 5 MHz, writes at 10 MHz";
        EXPECT_EQ(bus_.pad_a, 0x10);
        EXPECT_EQ(bus_.pad_b, 0x10);
        if (bus_.fail_after == 0)
            return -1;
        if (bus_.fail_after > 0)
            --bus_.fail_after;
        char line[32];
        std::snprintf(line, sizeof line, "%c %02x %02x", rx ? 'r' : 'w', tx[0], tx[1]);
        bus_.events.push_back(line);
        if (rx) {
            rx[0] = 0;
            rx[1] = bus_.read_data.empty() ? 0 : bus_.read_data.front();
            if (!bus_.read_data.empty())
                bus_.read_data.pop_front();
        }
        bus_.pad_a = bus_.pad_b = 0;   // another user may steer the bus between transfers
        return 0;
    }
    platform::SpiConfig cfg;

private:
    Bus& bus_;
};

class PadWindow : public platform::RegWindow {
public:
    explicit PadWindow(Bus& bus) : bus_(bus) {}
    bool mapped() const override { return true; }
    uint16_t read16(uint32_t) override { return 0; }
    void write16(uint32_t off, uint16_t v) override
    {
        if (off == c331_drv::kPadSpiMuxA)
            bus_.pad_a = v;
        if (off == c331_drv::kPadSpiMuxB)
            bus_.pad_b = v;
    }

private:
    Bus& bus_;
};

class PadBoard : public platform::Board {
public:
    explicit PadBoard(Bus& bus) : window_(bus) {}
    const char* name() const override { return "pads"; }
    platform::Shell& shell() override { std::abort(); }
    platform::Mtd& mtd() override { std::abort(); }
    std::unique_ptr<platform::SpiDevice> open_spi(const std::string&) override { return nullptr; }
    std::unique_ptr<platform::I2cBus> open_i2c(const std::string&) override { return nullptr; }
    platform::RegWindow& soc_window(platform::WindowStatus*) override { return window_; }
    std::unique_ptr<platform::RegWindow> map_phys(uint32_t, uint32_t) override { return nullptr; }
    int open_knob() override { return -1; }

private:
    PadWindow window_;
};

class C331DrvTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("K57_ROOT", dir_.path().c_str(), 1);
        platform::reload_root();
        platform::install_board(&board_);
        auto dev = std::make_unique<ScriptedSpi>(bus_);
        spi_ = dev.get();
        fd_ = drv_.attach(std::move(dev));
        ASSERT_GE(fd_, 0);
    }
    std::vector<std::string> take()
    {
        auto e = bus_.events;
        bus_.events.clear();
        return e;
    }

    testutil::TempDir dir_{"k57-drv"};
    Bus bus_;
    PadBoard board_{bus_};
    c331_drv drv_;
    ScriptedSpi* spi_ = nullptr;
    int fd_ = -1;
};

using Frames = std::vector<std::string>;

TEST_F(C331DrvTest, ConfiguresModeThreeEightBitsTenMegahertz)
{
    EXPECT_EQ(spi_->cfg.mode, 3);
    EXPECT_EQ(spi_->cfg.bits, 8);
    EXPECT_EQ(spi_->cfg.speed_hz, 10000000u);
}

TEST_F(C331DrvTest, WritesOneToFourBytesLeastSignificantFirst)
{
    drv_.write_C331(fd_, 0x084903, 0x00FF00, 0);
    EXPECT_EQ(take(), (Frames{"w 80 08", "w c9 00", "w ca ff", "w cb 00"}));
    drv_.write_C331(fd_, 0x081001, 0x1234, 0);   // one byte: only the low byte goes
    EXPECT_EQ(take(), (Frames{"w 90 34"}));
    drv_.write_C331(fd_, 0x087C04, 0xA1B2C3D4, 0);
    EXPECT_EQ(take(), (Frames{"w fc d4", "w fd c3", "w fe b2", "w ff a1"}));
    drv_.write_C331(fd_, 0x082002, 0xBEEF, 0);
    EXPECT_EQ(take(), (Frames{"w a0 ef", "w a1 be"}));
}

TEST_F(C331DrvTest, ReadsAssembleLeastSignificantFirst)
{
    bus_.read_data = {0x24};
    EXPECT_EQ(drv_.read_C331(fd_, 0xB20801, 0), 0x24u);
    EXPECT_EQ(take(), (Frames{"w 80 b2", "r 08 ff"}));
    bus_.read_data = {0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(drv_.read_C331(fd_, 0xB21004, 0), 0x44332211u);
    EXPECT_EQ(take(), (Frames{"r 10 ff", "r 11 ff", "r 12 ff", "r 13 ff"}));
    bus_.read_data = {0x01, 0x02, 0x03};
    EXPECT_EQ(drv_.read_C331(fd_, 0xB27D03, 0), 0x030201u);
}

TEST_F(C331DrvTest, BankSelectSentOnlyOnChangeAndChannelOffsetMovesTheBank)
{
    drv_.write_C331(fd_, 0x0C3A02, 0x0400, 0);
    drv_.write_C331(fd_, 0x0C3C02, 0x0400, 0);
    drv_.write_C331(fd_, 0x0C3A02, 0x0400, 16);
    drv_.write_C331(fd_, 0x0C3A02, 0x0400, 112);
    EXPECT_EQ(take(), (Frames{"w 80 0c", "w ba 00", "w bb 04", "w bc 00", "w bd 04", "w 80 1c", "w ba 00",
                              "w bb 04", "w 80 7c", "w ba 00", "w bb 04"}));
    drv_.init_reg_acc_param();
    drv_.write_C331(fd_, 0x7C3A01, 1, 0);   // same bank as last used: still selected again
    EXPECT_EQ(take(), (Frames{"w 80 7c", "w ba 01"}));
}

TEST_F(C331DrvTest, CountZeroSelectsTheBankAndNothingElse)
{
    drv_.write_C331(fd_, 0x050800, 0xFF, 0);
    EXPECT_EQ(drv_.read_C331(fd_, 0x060800, 0), 0u);
    EXPECT_EQ(take(), (Frames{"w 80 05", "w 80 06"}));
}

TEST_F(C331DrvTest, MaskedWriteKeepsUnmaskedBits)
{
    bus_.read_data = {0b10100101};
    drv_.write_c331_mask(fd_, 0x002901, 0x01, 0x01, 0);
    bus_.read_data = {0b10100101};
    drv_.write_c331_mask(fd_, 0x002901, 0x00, 0x01, 0);
    bus_.read_data = {0x5A};
    drv_.write_c331_mask(fd_, 0x002901, 0xFF, 0x00, 0);   // mask 0 rewrites the old value
    EXPECT_EQ(take(), (Frames{"w 80 00", "r 29 ff", "w a9 a5", "r 29 ff", "w a9 a4", "r 29 ff", "w a9 5a"}));
}

TEST_F(C331DrvTest, FailedTransferForgetsTheSelectedBank)
{
    bus_.fail_after = 0;                      // the bank select itself fails
    drv_.write_C331(fd_, 0x0C3A01, 1, 0);
    EXPECT_EQ(drv_.cached_bank(), -1);
    bus_.fail_after = -1;
    drv_.write_C331(fd_, 0x0C3A01, 1, 0);     // so the next access selects again
    EXPECT_EQ(take(), (Frames{"w 80 0c", "w ba 01"}));

    bus_.fail_after = 1;                      // a data byte fails after a good select
    drv_.write_C331(fd_, 0x0D3A02, 0x0101, 0);
    EXPECT_EQ(drv_.cached_bank(), -1);
    bus_.fail_after = -1;
    take();
    drv_.write_C331(fd_, 0x0D3A01, 1, 0);
    EXPECT_EQ(take(), (Frames{"w 80 0d", "w ba 01"}));
}

TEST_F(C331DrvTest, MaskedWriteAfterAFailedReadWritesNothing)
{
    drv_.write_C331(fd_, 0x002201, 0, 0);   // bank 0 selected
    take();
    bus_.fail_after = 0;
    drv_.write_c331_mask(fd_, 0x002901, 1, 1, 0);
    bus_.fail_after = -1;
    EXPECT_TRUE(take().empty());
}

TEST_F(C331DrvTest, WithoutADeviceEveryAccessFailsQuietly)
{
    c331_drv lost;
    const int fd = lost.attach(nullptr);
    EXPECT_EQ(fd, -1);
    lost.write_C331(fd, 0x0C3A02, 0x400, 0);
    EXPECT_EQ(lost.read_C331(fd, 0xB20801, 0), 0u);
    EXPECT_EQ(lost.cached_bank(), -1);
}

}  // namespace
