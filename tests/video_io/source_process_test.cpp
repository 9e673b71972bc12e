// The whole device program on a fresh simulated board: the EEPROMs are repaired once, the
// FPGA released, the IT6602 inputs published into the image; a lost signal, an SDI reset
// request and a custom EDID travel from the board or the remote port to the hardware.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QString>
#include <cstdio>
#include <fstream>

#include "common/remote_client.h"
#include "common/sim_device_test.h"
#include "common/temp_dir.h"

using testutil::Bytes;

namespace {

constexpr int kStartMs = 20000;  // process start under the sanitizers
constexpr int kWaitMs = 8000;

class SourceProcess : public testutil::SimDeviceTest {
protected:
    SourceProcess() : SimDeviceTest("k57sourceproc") {}
    void SetUp() override { ASSERT_TRUE(start_device("100")); }

    // One device's registers from a fresh state dump; empty on time-out.
    QJsonObject dump(const std::string& device) { return SimDeviceTest::dump(device, kWaitMs); }
    std::string eeprom(int s) { return testutil::read_file(root_.file("sim/edid" + std::to_string(s) + ".bin")); }
    std::string edid_check_item()
    {
        QSettings ini(QString::fromStdString(root_.file("data/configs/tcpip.ini")), QSettings::IniFormat);
        return ini.value("config/EDIDCheck").toString().toStdString();
    }
    // Input timing records 0..5 as 18 words.
    std::vector<int> records(testutil::TcpRemoteClient& c)
    {
        auto r = c.ram_read(0x100, 36);
        std::vector<int> v;
        if (!r || r->status() != 0)
            return v;
        const Bytes d = r->data();  // address (4 bytes) and length (2), then the bytes
        for (size_t i = 6; i + 1 < d.size(); i += 2)
            v.push_back(d[i] | d[i + 1] << 8);
        return v;
    }
};

TEST_F(SourceProcess, FreshBoardComesUpAndServesInputRequests)
{
    ASSERT_TRUE(dev_->wait_for([&] { return edid_check_item() == "Never"; }, kStartMs, 100)) << dev_->output();
    for (int s = 0; s < 6; ++s)
        EXPECT_TRUE(testutil::valid_edid_base_block(eeprom(s))) << "EEPROM " << s;
    EXPECT_TRUE(dev_->wait_for([&] { return dump("soc")["0x207858"].toInt() == 16; }, kWaitMs, 100));

    testutil::TcpRemoteClient c;
    ASSERT_TRUE(c.connect(port_, kWaitMs)) << dev_->output();
    const std::vector<int> live = {1920, 1080, 60};
    ASSERT_TRUE(dev_->wait_for([&] {
        const auto v = records(c);
        if (v.size() < 12)
            return false;
        for (int s = 0; s < 4; ++s)
            if (std::vector<int>(v.begin() + 3 * s, v.begin() + 3 * s + 3) != live)
                return false;
        return true;
    }, kWaitMs, 100)) << dev_->output() << " records " << ::testing::PrintToString(records(c));

    // Input 2 loses its signal.
    std::ofstream(root_.file("sim/board.json")) << R"({"inputs": [{}, {}, {"signal": false}]})";
    EXPECT_TRUE(dev_->wait_for([&] {
        const auto v = records(c);
        return v.size() >= 9 && v[6] == 0 && v[7] == 0 && v[8] == 0 && v[0] == 1920;
    }, kWaitMs, 100));

    // Register 17 bit 0: one reset pulse of the SDI receiver (its length in ticks is pinned on
    // virtual time by video_io_test: at this time scale the panel tick moves in steps of ten).
    const int pulses = dump("sdi_rx")["pulses"].toInt();
    auto sdi = c.reg_write(17, 0x01, 0x01);
    ASSERT_TRUE(sdi && sdi->status() == 0);
    EXPECT_TRUE(dev_->wait_for([&] { return dump("sdi_rx")["pulses"].toInt() == pulses + 1; }, kWaitMs, 100));

    // A custom EDID for input 0: 1280x720 at 60 Hz, applied by register 11.
    auto w = c.ram_write(0x380, Bytes{0x00, 0x05, 0xD0, 0x02, 0x3C, 0x00});
    ASSERT_TRUE(w && w->status() == 0);
    auto apply = c.reg_write(11, 0x02, 0x02);
    ASSERT_TRUE(apply && apply->status() == 0);
    const std::string want("\x64\x1A\x00\xA0\x50\xD0\x3E\x20\x30\x20\x3A\x00", 12);
    EXPECT_TRUE(dev_->wait_for([&] {
        const std::string e = eeprom(0);
        return e.size() == 256 && e.compare(54, 12, want) == 0 && e.compare(72, 12, want) == 0 && testutil::valid_edid_base_block(e);
    }, kWaitMs, 100)) << dev_->output();
    EXPECT_TRUE(dev_->running());
}

// At a tenth of the real waits, so the few seconds a reboot may wait for the writes are not
// shorter than the device's own reaction.
class SourceRebootProcess : public SourceProcess {
protected:
    void SetUp() override { ASSERT_TRUE(start_device("10")); }
};

// A custom EDID applied and the device rebooted at once (register 14 bit 0): the reboot lets
// the parameter file and the EEPROM be written first. An EEPROM torn all the same is
// rewritten from its record at the next start, with the check configured "Never".
TEST_F(SourceRebootProcess, RebootRightAfterACustomEdidKeepsItWholeAndATornOneIsRepaired)
{
    const std::string want("\x64\x1A\x00\xA0\x50\xD0\x3E\x20\x30\x20\x3A\x00", 12);  // 1280x720 at 60
    auto holds_custom = [&] {
        const std::string e = eeprom(0);
        return e.size() == 256 && e.compare(54, 12, want) == 0 && testutil::valid_edid_base_block(e);
    };
    ASSERT_TRUE(dev_->wait_for([&] { return edid_check_item() == "Never"; }, kStartMs, 100)) << dev_->output();
    {
        testutil::TcpRemoteClient c;
        ASSERT_TRUE(c.connect(port_, kWaitMs)) << dev_->output();
        auto w = c.ram_write(0x380, Bytes{0x00, 0x05, 0xD0, 0x02, 0x3C, 0x00});
        ASSERT_TRUE(w && w->status() == 0);
        auto apply = c.reg_write(11, 0x02, 0x02);
        ASSERT_TRUE(apply && apply->status() == 0);
        auto reboot = c.reg_write(14, 0x01, 0x01);
        ASSERT_TRUE(reboot && reboot->status() == 0);
    }
    ASSERT_TRUE(dev_->wait_exit(kWaitMs)) << dev_->output();
    EXPECT_EQ(dev_->exit_code(), 3);
    EXPECT_EQ(testutil::para_file_word(root_.path(), 0x380), 1280);
    EXPECT_TRUE(holds_custom());

    // The write cut off after the descriptors: the checksum page still holds the old byte.
    std::string torn = eeprom(0);
    ASSERT_EQ(torn.size(), 256u);
    torn[127] = char(torn[127] ^ 0x5A);
    std::ofstream(root_.file("sim/edid0.bin"), std::ios::binary | std::ios::trunc) << torn;
    ASSERT_TRUE(start_device("10"));
    EXPECT_TRUE(dev_->wait_for(holds_custom, kStartMs, 100)) << dev_->output();
    EXPECT_EQ(edid_check_item(), "Never");
}

}  // namespace
