// The whole device program on the simulated board: a remote RAM write of brightness and
// contrast, applied by register 11, travels through the scaler thread to the chip and is
// persisted in the parameter file by the GUI thread.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <arpa/inet.h>
#include <cstdio>
#include <fstream>
#include <sys/socket.h>
#include <unistd.h>

#include "common/remote_client.h"
#include "common/sim_device_test.h"
#include "common/temp_dir.h"

using testutil::Bytes;

namespace {

constexpr uint32_t kBrightness = 0x880;
constexpr uint32_t kContrast = 0x882;
constexpr int kStartMs = 15000;                // process start under the sanitizers
constexpr int kWaitMs = 5000;

class ScalerProcess : public testutil::SimDeviceTest {
protected:
    ScalerProcess() : SimDeviceTest("k57scalerproc") {}
    void SetUp() override { ASSERT_TRUE(start_device("100")); }

    // The simulated chip's registers from a fresh state dump; empty on time-out.
    QJsonObject chip_banks()
    {
        return dump("c331", kWaitMs)["banks"].toObject();
    }
    // A 16-bit register (low byte first) of a dump; registers holding 0 are not listed.
    static int word(const QJsonObject& banks, int bank, int reg)
    {
        return int(testutil::bank_register(banks, bank, reg, 2));
    }
    int para_word(uint32_t addr) const { return testutil::para_file_word(root_.path(), addr); }
    // A remote RAM write, and the apply (register 11 bit 1), each answered with status 0.
    static bool ram_write(testutil::TcpRemoteClient& c, uint32_t addr, const Bytes& b)
    {
        auto r = c.ram_write(addr, b);
        return r && r->status() == 0;
    }
    static bool apply(testutil::TcpRemoteClient& c)
    {
        auto r = c.reg_write(11, 0x02, 0x02);
        return r && r->status() == 0;
    }
};

TEST_F(ScalerProcess, RemoteBrightnessAndContrastReachTheChipAndTheParameterFile)
{
    // Bring-up is done once its last picture step (saturation of the eighth channel) is on
    // the chip.
    ASSERT_TRUE(dev_->wait_for([&] { return word(chip_banks(), 0x7C, 0x1B) != 0; }, kStartMs, 100))
        << dev_->output();
    const QJsonObject before = chip_banks();
    ASSERT_NE(word(before, 0x0C, 0x3A), 0x0400) << "factory brightness already 100";
    ASSERT_NE(word(before, 0x0C, 0x28), 1023) << "factory contrast already 100";

    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kWaitMs)) << dev_->output();
    ASSERT_TRUE(ram_write(client, kBrightness, Bytes{100, 0, 100, 0}));   // brightness, contrast
    ASSERT_TRUE(apply(client));

    QJsonObject after;
    const bool applied = dev_->wait_for(
        [&] {
            after = chip_banks();
            return word(after, 0x7C, 0x2C) == 1023;   // the last contrast word written
        },
        kWaitMs, 50);
    ASSERT_TRUE(applied) << dev_->output();
    for (int c = 0; c < 8; ++c) {
        const int bank = 0x0C + 0x10 * c;
        for (int reg : {0x3A, 0x3C, 0x3E})
            EXPECT_EQ(word(after, bank, reg), 0x0400) << "brightness, channel " << c << " reg " << reg;
        for (int reg : {0x28, 0x2A, 0x2C})
            EXPECT_EQ(word(after, bank, reg), 1023) << "contrast, channel " << c << " reg " << reg;
    }

    EXPECT_TRUE(dev_->wait_for([&] { return para_word(kBrightness) == 100 && para_word(kContrast) == 100; },
                               kWaitMs, 50))
        << "parameter file: brightness " << para_word(kBrightness) << ", contrast " << para_word(kContrast);
    EXPECT_TRUE(dev_->running());
}

// A second window enabled from the remote tool shares output channel 0 with window 0: both
// are laid on it as layers, ordered by the windows' priorities.
TEST_F(ScalerProcess, SecondWindowIsLaidOverTheFirstByPriority)
{
    ASSERT_TRUE(dev_->wait_for([&] { return word(chip_banks(), 0x7C, 0x1B) != 0; }, kStartMs, 100))
        << dev_->output();
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kWaitMs)) << dev_->output();
    ASSERT_TRUE(ram_write(client, 0x8FA, Bytes{1, 0}));   // window 1 enable
    ASSERT_TRUE(apply(client));
    // The pass writes the channels' overlay words one after the other: wait for both.
    QJsonObject banks;
    EXPECT_TRUE(dev_->wait_for(
        [&] {
            banks = chip_banks();
            return word(banks, 0x0E, 0x09) == 0x89 && word(banks, 0x1E, 0x09) == 0;
        },
        kWaitMs, 50))
        << "overlay " << std::hex << word(banks, 0x0E, 0x09) << ", channel 1 " << word(banks, 0x1E, 0x09)
        << dev_->output();

    ASSERT_TRUE(ram_write(client, 0x8A0, Bytes{1, 0, 0, 0}));   // window 0 priority 1, window 1 priority 0
    ASSERT_TRUE(apply(client));
    EXPECT_TRUE(dev_->wait_for(
        [&] {
            banks = chip_banks();
            return word(banks, 0x0E, 0x09) == 0x98;
        },
        kWaitMs, 50))
        << "overlay " << std::hex << word(banks, 0x0E, 0x09);
    EXPECT_TRUE(dev_->running());
}

// Dot-by-dot mode index 1 set from the remote tool joins HDMI1 and HDMI2 side by side: the
// wall shows both 1080p pictures, 3840 x 1080, once the ports are measured.
TEST_F(ScalerProcess, RemoteDotByDotJoinShowsBothPictures)
{
    ASSERT_TRUE(dev_->wait_for([&] { return word(chip_banks(), 0x7C, 0x1B) != 0; }, kStartMs, 100))
        << dev_->output();
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kWaitMs)) << dev_->output();
    ASSERT_TRUE(ram_write(client, 0x8F6, Bytes{1, 0}));   // window 0 dot-by-dot mode 1
    ASSERT_TRUE(ram_write(client, 0x8F2, Bytes{0, 1}));   // window 0 dot-by-dot on
    ASSERT_TRUE(apply(client));
    QJsonObject och0;
    EXPECT_TRUE(dev_->wait_for(
        [&] {
            och0 = dump("c331", kWaitMs)["och_reads"].toArray().at(0).toObject();
            return och0["hw"].toInt() == 3840 && och0["vw"].toInt() == 1080;
        },
        kWaitMs, 100))
        << QJsonDocument(och0).toJson().toStdString();
    EXPECT_TRUE(dev_->running());
}

// A sharpness saved from the remote tool is on the chip again after a restart: the start sets
// it before any input is measured, and window 0's channel gets it once its input is.
TEST_F(ScalerProcess, SavedSharpnessIsOnTheChipAfterARestart)
{
    constexpr uint32_t kSharpness = 0x884;
    constexpr int kSharpened = 6 | 255 << 8;   // horizontal enable 6, gain of level 50 saturated
    ASSERT_TRUE(dev_->wait_for([&] { return word(chip_banks(), 0x7C, 0x1B) != 0; }, kStartMs, 100))
        << dev_->output();
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kWaitMs)) << dev_->output();
    ASSERT_TRUE(ram_write(client, kSharpness, Bytes{60, 0}));
    ASSERT_TRUE(apply(client));
    EXPECT_TRUE(dev_->wait_for([&] { return word(chip_banks(), 0x0B, 0x08) == kSharpened; }, kStartMs, 100));
    ASSERT_TRUE(dev_->wait_for([&] { return para_word(kSharpness) == 60; }, kWaitMs, 50));

    ASSERT_TRUE(dev_->terminate());
    ASSERT_TRUE(start_device("100"));
    int seen = -1;
    EXPECT_TRUE(dev_->wait_for(
        [&] {
            seen = word(chip_banks(), 0x0B, 0x08);
            return seen == kSharpened;
        },
        kStartMs, 100))
        << std::hex << seen << dev_->output();
    EXPECT_TRUE(dev_->running());
}

}  // namespace
