// The whole device program with four fonts in the scaler chip's flash: the bring-up loads and
// reports them, and an OSD menu file sent by the PC tool is drawn on the output channels.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
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
constexpr qint64 kDisplayMemory = 0x74B80000;   // the OSD display memory (the tiled copy shown)

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

    // The menu file put in place whole, as the file transfer installs it (renamed over the old
    // one): a reload an earlier apply raised may read it at any moment, and must not find it
    // half written (the device refuses and removes such a file).
    void put_menu(const std::string& text)
    {
        const std::string part = root_.file("omenu.json.new");
        std::ofstream(part) << text;
        std::filesystem::rename(part, root_.file("data/configs/omenu.json"));
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
    // The bring-up ends with the font DMAs; the last one copies the 64-dot CJK font. Its
    // length is written before its destination, which the dump may read in between: the wait
    // is for both.
    QJsonObject banks;
    ASSERT_TRUE(dev_->wait_for(
        [&] {
            banks = chip_banks();
            return reg(banks, 0x04, 0x56, 4) == 0x80A40000u && reg(banks, 0x04, 0x11, 4) == 0x7F29F000u;
        },
        kStartMs, 100))
        << dev_->output();
    EXPECT_EQ(reg(banks, 0x04, 0x4E, 4), 0x00450023u);

    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kWaitMs)) << dev_->output();
    auto fonts = client.reg_read(43, 1);
    ASSERT_TRUE(fonts && fonts->status() == 0);
    EXPECT_EQ(fonts->data().at(2), 0x3F);

    put_menu(testutil::kOsdMenuK57);
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

    put_menu("{\"osdcount\": ");
    ASSERT_EQ(client.reg_write(11, 0x08, 0x08)->status(), 0);
    EXPECT_TRUE(dev_->wait_for([&] { return !testutil::file_exists(root_.file("data/configs/omenu.json")); },
                               kWaitMs));
    EXPECT_TRUE(dev_->running());
}

// On a screen split side by side into unequal pieces (the first 1000 of 3840 wide, ended on
// the channel boundary 1840 pixels into the first channel) a menu entry at LED 800, 500 spans
// the pieces' seam: each channel shows its part, read back from the chip's OSD windows.
TEST_F(OsdProcess, MenuEntryIsDrawnAtItsLedPositionOnASplitScreen)
{
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port_, kStartMs)) << dev_->output();
    const auto word = [](uint16_t v) { return Bytes{uint8_t(v), uint8_t(v >> 8)}; };
    const std::pair<uint32_t, uint16_t> screen[] = {
        {0x560, 3}, {0x562, 3840}, {0x564, 1080}, {0x584, 1000}, {0x586, 1080}, {kOsdEnable, 1}};
    for (const auto& [addr, v] : screen)
        ASSERT_EQ(client.ram_write(addr, word(v))->status(), 0);
    ASSERT_EQ(client.reg_write(11, 0x02, 0x02)->status(), 0);
    std::string menu = testutil::kOsdMenuK57;
    const std::string pos = R"("x": 0, "y": 0, "w": 1000, "h": 200)";
    menu.replace(menu.find(pos), pos.size(), R"("x": 800, "y": 500, "w": 400, "h": 100)");
    put_menu(menu);
    ASSERT_EQ(client.reg_write(11, 0x08, 0x08)->status(), 0);

    // The dump reads the registers while the scaler may be writing them: a channel's width
    // before its address and its switch, and each reload (the apply's, then bit 3's) redraws
    // through drawing memory, channel by channel. So the wait is for the final state of both
    // channels: switched on, showing from display memory.
    QJsonArray osd;
    const auto addr = [&](int k) { return qint64(osd[k].toObject()["addr"].toDouble()); };
    const auto shown = [&](int k) { return osd[k].toObject()["on"].toBool() && osd[k].toObject()["w"].toInt() == 200; };
    ASSERT_TRUE(dev_->wait_for(
        [&] {
            osd = dump("c331", kWaitMs)["osd_reads"].toArray();
            return osd.size() == 8 && shown(0) && shown(1) && addr(0) == kDisplayMemory && addr(1) == kDisplayMemory + 200;
        },
        kWaitMs, 50))
        << QJsonDocument(osd).toJson().toStdString() << dev_->output();
    auto layout = client.ram_read(0x566, 10);
    ASSERT_TRUE(layout && layout->status() == 0);
    const Bytes l = layout->data();   // address, length, then the words
    EXPECT_EQ(l.at(6) | l.at(7) << 8, 1840) << "the first piece's offset";
    EXPECT_EQ(l.at(14) | l.at(15) << 8, 2840) << "channel width";
    const QJsonObject left = osd[0].toObject(), right = osd[1].toObject();
    EXPECT_EQ(left["x"].toInt(), 1840 + 800);
    EXPECT_EQ(left["y"].toInt(), 500);
    EXPECT_EQ(left["h"].toInt(), 100);
    EXPECT_EQ(right["x"].toInt(), 0);
    EXPECT_EQ(right["y"].toInt(), 500);
    for (int k = 2; k < 8; ++k)
        EXPECT_EQ(osd[k].toObject()["w"].toInt() * osd[k].toObject()["h"].toInt(), 0) << k;
}

}  // namespace
