// The whole device program with four fonts in the scaler chip's flash: the bring-up loads and
// reports them, and an OSD menu file sent by the PC tool is drawn on the output channels.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/remote_client.h"
#include "common/sample_files.h"
#include "common/sim_device_test.h"
#include "common/temp_dir.h"

using testutil::Bytes;

namespace {

constexpr int kStartMs = 20000;
constexpr int kWaitMs = 5000;
constexpr uint32_t kOsdEnable = 0x84C;

class OsdProcess : public testutil::SimDeviceTest {
protected:
    OsdProcess() : SimDeviceTest("k57osdproc") {}
    void SetUp() override
    {
        std::filesystem::create_directories(root_.file("sim"));
        // The flash image: erased up to the last header, four font headers of type 'P'.
        std::vector<char> flash(0x450000 + 35, char(0xFF));
        for (uint32_t a : {0x000000u, 0x010000u, 0x410000u, 0x450000u}) {
            flash[a] = 'P';
            flash[a + 17] = flash[a + 18] = char(a >= 0x410000 ? 64 : 32);
        }
        std::ofstream(root_.file("sim/c331_flash.bin"), std::ios::binary).write(flash.data(), flash.size());
        ASSERT_TRUE(start_device("100"));
    }

    QJsonObject chip_banks()
    {
        return dump("c331", kWaitMs)["banks"].toObject();
    }
    // A 1..4 byte register (low byte first) of a dump.
    static uint32_t reg(const QJsonObject& banks, int bank, int r, int bytes)
    {
        return testutil::bank_register(banks, bank, r, bytes);
    }
};

TEST_F(OsdProcess, FontsAreReportedAndTheMenuFileIsDrawn)
{
    // The bring-up ends with the font DMAs; the last one copies the 64-dot CJK font.
    QJsonObject banks;
    ASSERT_TRUE(dev_->wait_for(
        [&] {
            banks = chip_banks();
            return reg(banks, 0x04, 0x56, 4) == 0x80A40000u;
        },
        kStartMs, 100))
        << dev_->output();
    EXPECT_EQ(reg(banks, 0x04, 0x4E, 4), 0x00450023u);
    EXPECT_EQ(reg(banks, 0x04, 0x11, 4), 0x7F29F000u);

    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kWaitMs)) << dev_->output();
    auto fonts = client.reg_read(43, 1);
    ASSERT_TRUE(fonts && fonts->status() == 0);
    EXPECT_EQ(fonts->data().at(2), 0x3F);

    std::ofstream(root_.file("data/configs/omenu.json")) << testutil::kOsdMenuK57;
    ASSERT_EQ(client.ram_write(kOsdEnable, Bytes{1, 0})->status(), 0);
    ASSERT_EQ(client.reg_write(11, 0x08, 0x08)->status(), 0);
    ASSERT_TRUE(dev_->wait_for(
        [&] {
            // The final state: the OSD shown from display memory and channel 0 scrolling at
            // the new speed. The speed alone is not enough: the scroll set-up writes it in its
            // stop loop too, with the control stopped, before it starts every channel.
            banks = chip_banks();
            return reg(banks, 0x09, 0x3D, 1) == 30 && reg(banks, 0x09, 0x3C, 1) == 0x80u &&
                   reg(banks, 0x09, 0x08, 2) == 0x6003u;
        },
        kWaitMs, 50))
        << dev_->output();
    EXPECT_EQ(reg(banks, 0x09, 0x08, 2), 0x6003u);
    EXPECT_EQ(reg(banks, 0x09, 0x14, 2), 1000u);
    EXPECT_EQ(reg(banks, 0x09, 0x18, 2), 200u);
    EXPECT_EQ(reg(banks, 0x09, 0x1E, 1), 32u);
    EXPECT_EQ(reg(banks, 0x09, 0x3C, 1), 0x80u);
    EXPECT_EQ(reg(banks, 0x19, 0x1A, 4), 0x74B803E8u);

    std::ofstream(root_.file("data/configs/omenu.json")) << "{\"osdcount\": ";
    ASSERT_EQ(client.reg_write(11, 0x08, 0x08)->status(), 0);
    EXPECT_TRUE(dev_->wait_for([&] { return !testutil::file_exists(root_.file("data/configs/omenu.json")); },
                               kWaitMs));
    EXPECT_TRUE(dev_->running());
}

}  // namespace
