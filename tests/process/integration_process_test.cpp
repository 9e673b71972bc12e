// The whole device program on the simulated board, along the paths that cross components:
// a scripted input travels through its receiver and the supervision thread into the image
// and the scaler's window; a custom EDID travels from the remote port to the input's EEPROM;
// the clock generator releases the FPGA while the inputs are supervised.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/device_process.h"
#include "common/remote_client.h"
#include "common/temp_dir.h"

using testutil::Bytes;
using testutil::operator+;

namespace {

constexpr int kStartMs = 30000;   // process start and first input publication under the sanitizers
constexpr int kWaitMs = 15000;
constexpr uint32_t kWindow0Source = 0x8E0 + 8;   // window record 0, source word
constexpr uint32_t kEdidRecords = 0x380;         // + 6s: custom EDID width, height, rate of input s

class DeviceIntegration : public ::testing::Test {
protected:
    void start(const QJsonArray& inputs, const char* time_scale = "50")
    {
        std::filesystem::create_directories(root_.file("sim"));
        write_inputs(inputs);
        auto opt = testutil::DeviceProcess::sim_options(root_.path());
        opt.env["K57_TIME_SCALE"] = time_scale;
        port_ = opt.tcp_port;
        dev_ = std::make_unique<testutil::DeviceProcess>(opt);
        ASSERT_TRUE(dev_->start());
        ASSERT_TRUE(client_.connect(port_, kStartMs)) << dev_->output();
    }
    void TearDown() override
    {
        if (dev_)
            dev_->terminate();
    }

    void write_inputs(const QJsonArray& inputs)
    {
        const std::string path = root_.file("sim/board.json");
        const std::string tmp = path + ".new";
        std::ofstream(tmp) << QJsonDocument(QJsonObject{{"inputs", inputs}}).toJson().toStdString();
        std::filesystem::rename(tmp, path);
    }

    // One device's "registers" from a fresh state dump; empty on time-out.
    QJsonObject dump(const std::string& device)
    {
        const std::string json = root_.file("sim/state/" + device + ".json");
        const std::string req = root_.file("sim/dump-request");
        std::remove(json.c_str());
        if (!(std::ofstream(req) << '\n'))
            return {};
        if (!dev_->wait_for([&] { return testutil::file_exists(json) && !testutil::file_exists(req); }, kWaitMs))
            return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(testutil::read_file(json)))
            .object()["registers"]
            .toObject();
    }
    // A little-endian register of the scaler chip of `bytes` bytes (unlisted bytes hold 0).
    static int c331_reg(const QJsonObject& banks, int bank, int reg, int bytes = 2)
    {
        const QJsonObject b = banks[QString::asprintf("0x%02X", bank)].toObject();
        int v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = v << 8 | b[QString::asprintf("0x%02X", reg + i)].toInt(0);
        return v;
    }
    QJsonObject c331_banks() { return dump("c331")["banks"].toObject(); }

    std::vector<int> words(uint32_t addr, int n)
    {
        auto r = client_.ram_read(addr, uint16_t(2 * n));
        if (!r || r->status() != 0 || r->data().size() < size_t(6 + 2 * n))
            return {-1};
        const Bytes d = r->data();   // address (4), length (2), then the bytes
        std::vector<int> v;
        for (int i = 0; i < n; ++i)
            v.push_back(d[size_t(6 + 2 * i)] | d[size_t(7 + 2 * i)] << 8);
        return v;
    }
    bool apply_image()
    {
        auto r = client_.reg_write(11, 0x02, 0x02);
        return r && r->status() == 0;
    }
    bool put_window0_on(int source)
    {
        auto w = client_.ram_write(kWindow0Source, testutil::le16(uint16_t(source)));
        return w && w->status() == 0 && apply_image();
    }

    // The input channel whose port selection is `sel` and the capture area the scaler gave it.
    struct Capture {
        int channel = -1;
        std::vector<int> area;   // hst, hw, vst, vw
    };
    static Capture capture_of(const QJsonObject& banks, int sel_lo, int sel_hi)
    {
        Capture cap;
        for (int c = 0; c < 8 && cap.channel < 0; ++c) {
            const int sel = c331_reg(banks, 0x00, 0x10 + c, 1);
            if (sel >= sel_lo && sel <= sel_hi)
                cap.channel = c;
        }
        if (cap.channel >= 0) {
            const int bank = 0x10 + 0x10 * cap.channel;
            for (int reg : {0x17, 0x19, 0x1B, 0x1D})
                cap.area.push_back(c331_reg(banks, bank, reg));
        }
        return cap;
    }
    // Whether output channel 0 (window 0 alone on the LED) shows its background.
    static bool background_on(const QJsonObject& banks) { return c331_reg(banks, 0x08, 0x48, 1) == 1; }

    std::string log() const { return testutil::read_file(root_.file("data/zeltaqn/log/kivEnglneLog")); }
    std::string eeprom(int s) const { return testutil::read_file(root_.file("sim/edid" + std::to_string(s) + ".bin")); }

    testutil::TempDir root_{"k57integ"};
    std::unique_ptr<testutil::DeviceProcess> dev_;
    testutil::TcpRemoteClient client_;
    uint16_t port_ = 0;
};

std::string area_text(const std::vector<int>& v) { return ::testing::PrintToString(v); }

// Input 2 (IT6602) at 1080p60 and input 4 (IT6805) at 2160p60, each in turn on window 0: the
// receiver's timing reaches the image record and the scaler's capture area of the window's
// input channel on the input's port; a lost signal shows the window's background, a returned
// one the picture again.
TEST_F(DeviceIntegration, ScriptedInputsReachWindowZeroAndALostSignalShowsItsBackground)
{
    QJsonArray inputs{QJsonObject{}, QJsonObject{}, QJsonObject{{"format", "1080p60"}}, QJsonObject{},
                      QJsonObject{{"format", "2160p60"}}, QJsonObject{{"cable", false}}};
    start(inputs);
    using V = std::vector<int>;
    ASSERT_TRUE(dev_->wait_for([&] { return words(0x100 + 6 * 2, 3) == V{1920, 1080, 60}; }, kStartMs, 200))
        << dev_->output();

    // Port 1 carries input 2: port selection 2 (its first half), capture from the sync and
    // back porch (44 + 148, 5 + 36) of the receiver's record.
    ASSERT_TRUE(put_window0_on(2));
    const V full_hd{44 + 148 - 7, 1920, 5 + 36 + 1, 1080};
    QJsonObject banks;
    Capture cap;
    EXPECT_TRUE(dev_->wait_for([&] {
        banks = c331_banks();
        cap = capture_of(banks, 2, 2);
        return cap.area == full_hd && !background_on(banks);
    }, kWaitMs, 200)) << "channel " << cap.channel << " area " << area_text(cap.area) << " background "
                      << background_on(banks);

    inputs[2] = QJsonObject{{"format", "1080p60"}, {"signal", false}};
    write_inputs(inputs);
    EXPECT_TRUE(dev_->wait_for([&] { return words(0x100 + 6 * 2, 3) == V{0, 0, 0}; }, kWaitMs, 200));
    EXPECT_TRUE(dev_->wait_for([&] { return background_on(c331_banks()); }, kWaitMs, 200)) << "no background";

    inputs[2] = QJsonObject{{"format", "1080p60"}};
    write_inputs(inputs);
    EXPECT_TRUE(dev_->wait_for([&] { return !background_on(c331_banks()); }, kWaitMs, 200))
        << "background stays after the signal returned";

    // Port 5 carries input 4 (V-by-One): port selections 12..15; a 3840-wide input is
    // captured at half its horizontals.
    ASSERT_TRUE(dev_->wait_for([&] { return words(0x100 + 6 * 4, 3) == V{3840, 2160, 60}; }, kWaitMs, 200))
        << dev_->output();
    ASSERT_TRUE(put_window0_on(4));
    const V uhd{(88 + 296) / 2 - 7, 1920, 10 + 72 + 1, 2160};
    EXPECT_TRUE(dev_->wait_for([&] {
        banks = c331_banks();
        cap = capture_of(banks, 12, 15);
        return cap.area == uhd && !background_on(banks);
    }, kWaitMs, 200)) << "channel " << cap.channel << " area " << area_text(cap.area) << " background "
                      << background_on(banks);

    inputs[4] = QJsonObject{{"format", "2160p60"}, {"signal", false}};
    write_inputs(inputs);
    EXPECT_TRUE(dev_->wait_for([&] { return words(0x100 + 6 * 4, 3) == V{0, 0, 0}; }, kWaitMs, 200));
    EXPECT_TRUE(dev_->wait_for([&] { return background_on(c331_banks()); }, kWaitMs, 200)) << "no background";
    inputs[4] = QJsonObject{{"format", "2160p60"}};
    write_inputs(inputs);
    EXPECT_TRUE(dev_->wait_for([&] { return words(0x100 + 6 * 4, 3) == V{3840, 2160, 60}; }, kWaitMs, 200));
    EXPECT_TRUE(dev_->wait_for([&] { return !background_on(c331_banks()); }, kWaitMs, 200))
        << "background stays after the signal returned";
    EXPECT_TRUE(dev_->running());
}

// A custom EDID for input 4 written into the image and applied: a timing no descriptor can
// hold (a pixel clock above 655.35 MHz, a width beyond 12 bits) leaves the input's EEPROM as
// it was and the device up; a valid one rewrites the EEPROM's two descriptors as two whole,
// equal detailed timings.
TEST_F(DeviceIntegration, CustomEdidReachesTheEepromOnlyWhenADescriptorCanHoldIt)
{
    start(QJsonArray{});
    const int r = 4;
    const auto valid = testutil::valid_edid_base_block;
    // The first start repairs the blank EEPROMs; input 4's is the fifth.
    ASSERT_TRUE(dev_->wait_for([&] { return valid(eeprom(r)) && valid(eeprom(5)); }, kStartMs, 200))
        << dev_->output();
    const std::string before = eeprom(r);
    auto refusals = [&] {
        const std::string l = log(), what = "custom EDID of input " + std::to_string(r) + " refused";
        int n = 0;
        for (size_t at = l.find(what); at != std::string::npos; at = l.find(what, at + 1))
            ++n;
        return n;
    };
    auto custom = [&](uint16_t w, uint16_t h, uint16_t hz) {
        auto wr = client_.ram_write(kEdidRecords + 6 * r, testutil::le16(w) + testutil::le16(h) + testutil::le16(hz));
        return wr && wr->status() == 0 && apply_image();
    };

    ASSERT_TRUE(custom(4095, 4095, 120));
    EXPECT_TRUE(dev_->wait_for([&] { return refusals() == 1; }, kWaitMs, 100)) << log();
    EXPECT_EQ(eeprom(r), before);
    // 5376 = 0x1500 would be written as the 12-bit width 0x500 = 1280.
    ASSERT_TRUE(custom(5376, 720, 60));
    EXPECT_TRUE(dev_->wait_for([&] { return refusals() == 2; }, kWaitMs, 100)) << log();
    EXPECT_EQ(eeprom(r), before);
    ASSERT_TRUE(dev_->running());

    // 1280x720 at 60 Hz with the wide blanking of the IT6805 inputs (560, 90): 89.42 MHz.
    ASSERT_TRUE(custom(1280, 720, 60));
    const std::string want("\xEE\x22\x00\x30\x52\xD0\x5A\x20\xB0\x58\x8A\x00", 12);
    std::string e;   // read whole: the model rewrites its file while the device writes
    ASSERT_TRUE(dev_->wait_for([&] {
        e = eeprom(r);
        return valid(e) && e.compare(54, 12, want) == 0 && e.compare(72, 18, e, 54, 18) == 0;
    }, kWaitMs, 100)) << dev_->output();
    EXPECT_EQ(e.substr(128), before.substr(128)) << "the extension block is not the custom timing's";
    EXPECT_TRUE(dev_->running());
}

// A fresh root: the clock generator releases the FPGA, whose output start runs to its end
// while the supervision thread brings up and publishes all six inputs. The log then holds no
// ERROR but the missing serial port of a fresh root, and an idle device adds nothing to it.
TEST_F(DeviceIntegration, FpgaStartsItsOutputWhileTheInputsAreSupervisedAndTheLogStaysQuiet)
{
    start(QJsonArray{});
    ASSERT_TRUE(dev_->wait_for([&] { return dump("soc")["0x207858"].toInt() == 16; }, kStartMs, 200))
        << "FPGA never released\n" << dev_->output();
    ASSERT_TRUE(dev_->wait_for([&] {
        const QJsonObject regs = dump("fpga0")["registers"].toObject();
        return (regs["3"].toInt() & 0x20) != 0;
    }, kStartMs, 200)) << "output never started\n" << dev_->output();
    using V = std::vector<int>;
    ASSERT_TRUE(dev_->wait_for([&] {
        const V v = words(0x100, 18);
        for (int s = 0; s < 6; ++s)
            if (v.size() != 18 || V(v.begin() + 3 * s, v.begin() + 3 * s + 3) != V{1920, 1080, 60})
                return false;
        return true;
    }, kStartMs, 200)) << ::testing::PrintToString(words(0x100, 18));
    EXPECT_NE(log().find("fpga: LED output started"), std::string::npos) << log();

    // Idle for a while (about two minutes of device time): nothing is logged every pass.
    const std::string settled = log();
    EXPECT_FALSE(dev_->wait_for([&] { return log().size() != settled.size(); }, 2500, 100))
        << log().substr(settled.size());
    ASSERT_TRUE(dev_->running());

    std::istringstream lines(log());
    for (std::string line; std::getline(lines, line);) {
        if (line.find("[ERROR") != std::string::npos) {
            EXPECT_NE(line.find("/dev/ttyS2"), std::string::npos) << line;
        }
    }
}

}  // namespace
