// The JSON files a PC tool sends (the OSD menu "OSDS", the names "ALIS") against the whole
// device program on the simulated board: a file nested 100,000 deep is refused at upload with
// the old file kept, and one found at start is not applied, logged and removed while the device
// runs on. An uploaded menu is shown only while the OSD is switched on.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/remote_client.h"
#include "common/sample_files.h"
#include "common/sim_device_test.h"

using testutil::Bytes;

namespace {

// The device's server limits run on its scaled clock too: at 10 an idle transfer is given up
// after 3 s of real time, a pause a loaded machine does not reach between two chunks of an
// upload (at 100 it was 0.3 s, and a busy scheduler abandoned the upload now and then).
const char* const kTimeScale = "10";
constexpr int kStartMs = 30000;
constexpr int kWaitMs = 10000;
constexpr uint32_t kOsdEnable = 0x84C;
constexpr uint8_t kApplyReg = 11, kApplyOsd = 0x08;

const char* const kAlias = R"({"namelist": {"source": [{"id": 2, "valid": "on", "name": "Stage"}]}})";

class JsonFilesProcess : public testutil::SimDeviceTest {
protected:
    JsonFilesProcess() : SimDeviceTest("k57jsonproc") {}

    std::string menu_file() const { return root_.file("data/configs/omenu.json"); }
    std::string alias_file() const { return root_.file("data/configs/alias.json"); }

    // The OSD control word of output channel 0 as the chip holds it (0 until first written).
    uint32_t osd_control()
    {
        return testutil::bank_register(dump("c331", kWaitMs)["banks"].toObject(), 0x09, 0x08, 2);
    }
    bool osd_control_is(uint32_t shown_bits)
    {
        return dev_->wait_for(
            [&] {
                const uint32_t c = osd_control();
                return c != 0 && (c & 3) == shown_bits;
            },
            kWaitMs, 100);
    }
    bool log_has(const std::string& text) const
    {
        return testutil::read_file(root_.file("data/zeltaqn/log/kivEnglneLog")).find(text) != std::string::npos;
    }
};

TEST_F(JsonFilesProcess, NestedFilesAreRefusedAtUploadAndAtStart)
{
    ASSERT_TRUE(start_device(kTimeScale));
    const uint16_t port = port_;
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(port, kStartMs)) << dev_->output();

    // With the OSD switched off an uploaded menu is read but not shown.
    const std::string menu = testutil::kOsdMenuK57;
    ASSERT_EQ(client.write_file("OSDS", Bytes(menu.begin(), menu.end())), 0);
    EXPECT_TRUE(osd_control_is(0)) << std::hex << osd_control();
    ASSERT_EQ(client.write_file("ALIS", testutil::text_bytes(kAlias)), 0);

    const Bytes nested(100000, '[');
    EXPECT_EQ(client.write_file("OSDS", nested), 3);
    EXPECT_EQ(client.write_file("ALIS", nested), 3);
    EXPECT_EQ(testutil::read_file(menu_file()), menu);
    EXPECT_EQ(testutil::read_file(alias_file()), kAlias);

    ASSERT_EQ(client.ram_write(kOsdEnable, Bytes{1, 0})->status(), 0);
    ASSERT_EQ(client.reg_write(kApplyReg, kApplyOsd, kApplyOsd)->status(), 0);
    EXPECT_TRUE(osd_control_is(3)) << std::hex << osd_control();
    ASSERT_TRUE(dev_->wait_for([&] { return testutil::para_file_word(root_.path(), kOsdEnable) == 1; }, kWaitMs));

    // Nested files on disk (as an older program let them in): the start, which reloads the
    // menu since the OSD is on, and the source page, which reads the names, refuse them.
    client.close();
    ASSERT_TRUE(dev_->terminate());
    std::ofstream(menu_file()) << std::string(100000, '[');
    std::ofstream(alias_file()) << std::string(100000, '[');
    dev_ = testutil::sim_device(root_.path(), kTimeScale, &port_);
    ASSERT_TRUE(dev_->start());
    EXPECT_TRUE(dev_->wait_for([&] { return !testutil::file_exists(menu_file()); }, kStartMs)) << dev_->output();
    ASSERT_TRUE(dev_->wait_for([&] { return testutil::key_pipe_ready(root_.path()); }, kStartMs));
    for (const char* key : {"F6", "F6"})   // the main menu, then its first row: the source page
        ASSERT_TRUE(testutil::send_key(root_.path(), key));
    EXPECT_TRUE(dev_->wait_for([&] { return !testutil::file_exists(alias_file()); }, kWaitMs)) << dev_->output();

    ASSERT_TRUE(client.connect(port, kWaitMs)) << dev_->output();
    auto answer = client.reg_read(43, 1);
    EXPECT_TRUE(answer && answer->status() == 0) << "the device runs on";
    EXPECT_TRUE(log_has("OSD menu file refused (nested deeper than 64 levels), removed"));
    EXPECT_TRUE(log_has("/data/configs/alias.json refused (nested deeper than 64 levels), removed"));
    EXPECT_TRUE(dev_->running());
}

}  // namespace
