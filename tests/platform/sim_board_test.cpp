// The simulated board: board.json, routing to models, pads, observation, selection.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <chrono>
#include <thread>

#include "sim/c331_model.h"
#include "sim/sim_board.h"
#include "temp_root.h"

namespace {

// An SPI device that echoes each byte plus one, and answers only while a pad selects it.
class EchoChip : public sim::SpiModel {
public:
    EchoChip(sim::SimBoard& b, uint32_t select_pad) : SpiModel("echo"), b_(b), pad_(select_pad) {}
    int transfer(const uint8_t* tx, uint8_t* rx, size_t len) override
    {
        note_bytes("xfer", tx, len);
        const bool selected = b_.soc().read16(pad_) == 0x10;
        for (size_t i = 0; i < len; ++i)
            rx[i] = selected ? uint8_t(tx[i] + 1) : 0xFF;
        return 0;
    }
    QJsonObject state() const override { return {{"pad", pad_ == 0x207900}}; }

private:
    sim::SimBoard& b_;
    uint32_t pad_;
};

// An I2C register file with an address pointer.
class RegChip : public sim::I2cModel {
public:
    RegChip(const std::string& name, uint8_t fill) : I2cModel(name) { regs.fill(fill); }
    bool i2c_write(const uint8_t* d, size_t n) override
    {
        if (n == 0)
            return false;
        ptr = d[0];
        for (size_t i = 1; i < n; ++i)
            regs[ptr++] = d[i];
        return true;
    }
    bool i2c_read(uint8_t* d, size_t n) override
    {
        for (size_t i = 0; i < n; ++i)
            d[i] = regs[ptr++];
        return true;
    }
    std::array<uint8_t, 256> regs{};
    uint8_t ptr = 0;
};

uint8_t read_reg(platform::I2cBus& bus, uint8_t addr, uint8_t reg, int* rc)
{
    uint8_t v = 0;
    platform::I2cMsg m[2] = {{addr, false, &reg, 1}, {addr, true, &v, 1}};
    *rc = bus.transfer(m, 2);
    return v;
}

int select(platform::I2cBus& bus, uint8_t sw, uint8_t ch)
{
    uint8_t b[2] = {0x00, ch};
    platform::I2cMsg m{sw, false, b, 2};
    return bus.transfer(&m, 1);
}

// Runs for every board made with install_models (the default).
SIM_DEVICE_INSTALLER(test_probe)
{
    board.add_spi("/dev/test-probe", std::make_shared<EchoChip>(board, 0));
}

sim::SimBoard::Options bare()
{
    auto o = sim::SimBoard::no_watcher();
    o.install_models = false;
    return o;
}

class SimBoardTest : public ::testing::Test {
protected:
    TempRoot root;
    std::unique_ptr<sim::SimBoard> board = sim::SimBoard::install_for_test(root.path(), bare());
};

TEST(SimBoardModels, InstallersRunUnlessTurnedOff)
{
    TempRoot root;
    EXPECT_NE(nullptr, sim::SimBoard::install_for_test(root.path())->spi_model("/dev/test-probe"));
    EXPECT_EQ(nullptr, sim::SimBoard::install_for_test(root.path(), bare())->spi_model("/dev/test-probe"));
}

TEST_F(SimBoardTest, BoardJsonDefaultsAreWrittenAndChangesReadBack)
{
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(root.read("/sim/board.json")));
    EXPECT_TRUE(doc.object().value("ethernet").toBool(false));
    EXPECT_EQ(3, doc.object().value("soc_id_words").toArray().size());

    auto id = platform::board().map_phys(0x1F000000, 0x2B0000);
    ASSERT_TRUE(id->mapped());
    EXPECT_EQ(0, id->read16(0x4058));

    const uint64_t gen = board->config_generation();
    int hooks = 0;
    board->on_config_change([&] { ++hooks; });
    board->poll();  // nothing changed
    EXPECT_EQ(gen, board->config_generation());

    root.write("/sim/board.json", R"({"soc_id_words": [4660, 22136, 39612], "cards": 4})");
    board->poll();
    EXPECT_EQ(1, hooks);
    EXPECT_EQ(0x1234, id->read16(0x4058));
    EXPECT_EQ(0x5678, id->read16(0x405C));
    EXPECT_EQ(0x9ABC, id->read16(0x4060));
    EXPECT_TRUE(board->board_config().ethernet());          // missing key: default
    EXPECT_EQ(4, board->config().value("cards").toInt());   // later keys pass through

    root.write("/sim/board.json", R"({"soc_id_words": [1, 2)");  // half-written: keep the last
    board->poll();
    EXPECT_EQ(0x1234, id->read16(0x4058));
    EXPECT_EQ(1, hooks);
}

TEST_F(SimBoardTest, PhysicalMappingsOutsideTheSocBlockAreUnmapped)
{
    auto w = platform::board().map_phys(0x1F000000 + 0x2B0000 - 2, 4);
    EXPECT_FALSE(w->mapped());
    EXPECT_EQ(0, w->read16(0));
    auto inner = platform::board().map_phys(0x1F207800, 0x200);
    platform::board().soc_window().write16(0x207810, 0x10);
    EXPECT_EQ(0x10, inner->read16(0x10));   // same registers through both views
    EXPECT_EQ(0, inner->read16(0x200));     // outside the inner view
}

TEST_F(SimBoardTest, SpiRoutingByPathAndPads)
{
    auto chip = std::make_shared<EchoChip>(*board, 0x207900);
    board->add_spi("/dev/spidev32766.1", chip);
    EXPECT_EQ(nullptr, platform::board().open_spi("/dev/spidev32766.0"));
    auto dev = platform::board().open_spi("/dev/spidev32766.1");
    ASSERT_NE(nullptr, dev);
    platform::SpiConfig got;
    EXPECT_EQ(0, dev->configure({3, 8, 25000000}, &got));
    EXPECT_EQ(3, got.mode);

    int pad_writes = 0;
    board->soc().watch(0x207900, [&](uint32_t, uint16_t v) { pad_writes += v == 0x10; });
    uint8_t tx[3] = {1, 2, 3}, rx[3] = {};
    EXPECT_EQ(0, dev->transfer(tx, rx, 3));
    EXPECT_EQ(0xFF, rx[0]);  // not selected
    platform::board().soc_window().write16(0x207900, 0x10);
    EXPECT_EQ(0, dev->transfer(tx, rx, 3));
    EXPECT_EQ((std::array<uint8_t, 3>{2, 3, 4}), (std::array<uint8_t, 3>{rx[0], rx[1], rx[2]}));
    EXPECT_EQ(0, dev->transfer(tx, nullptr, 3));  // transmit only
    board->soc().set16(0x207900, 0x10);           // a device-driven value: no watcher
    EXPECT_EQ(1, pad_writes);
    EXPECT_EQ(1u, board->soc().write_count(0x207900));
    EXPECT_EQ(4u, chip->record().total());  // configure + 3 transfers
    EXPECT_EQ("xfer 01 02 03", chip->record().lines().back());
}

TEST_F(SimBoardTest, I2cSwitchChannelsDecideWhoAnswers)
{
    auto rxsw = board->add_i2c_switch(0x77, "rx_switch");
    auto eesw = board->add_i2c_switch(0x70, "eeprom_switch");
    auto rx0 = std::make_shared<RegChip>("rx0", 0x10);
    auto rx1 = std::make_shared<RegChip>("rx1", 0x11);
    auto clk = std::make_shared<RegChip>("clock", 0xC0);
    auto deep = std::make_shared<RegChip>("deep", 0xD0);
    board->add_i2c(0x48, rx0, rxsw, 0x01);
    board->add_i2c(0x48, rx1, rxsw, 0x02);
    board->add_i2c(0x68, clk, eesw, 0x80);
    auto inner = board->add_i2c_switch(0x71, "inner", eesw, 0x01);
    board->add_i2c(0x50, deep, inner, 0x04);

    auto bus = platform::board().open_i2c("/dev/i2c-0");
    ASSERT_NE(nullptr, bus);
    EXPECT_EQ(nullptr, platform::board().open_i2c("/dev/i2c-1"));
    int rc;
    read_reg(*bus, 0x48, 0, &rc);
    EXPECT_EQ(-1, rc);  // no channel selected: NACK

    ASSERT_EQ(0, select(*bus, 0x77, 0x02));
    EXPECT_EQ(0x11, read_reg(*bus, 0x48, 5, &rc));
    EXPECT_EQ(0, rc);
    ASSERT_EQ(0, select(*bus, 0x77, 0x01));
    EXPECT_EQ(0x10, read_reg(*bus, 0x48, 5, &rc));

    ASSERT_EQ(0, select(*bus, 0x70, 0x80));
    EXPECT_EQ(0xC0, read_reg(*bus, 0x68, 0, &rc));
    read_reg(*bus, 0x71, 0, &rc);
    EXPECT_EQ(-1, rc);  // the inner switch sits behind channel 0x01
    ASSERT_EQ(0, select(*bus, 0x70, 0x81));
    ASSERT_EQ(0, select(*bus, 0x71, 0x04));
    EXPECT_EQ(0xD0, read_reg(*bus, 0x50, 0, &rc));
    ASSERT_EQ(0, select(*bus, 0x70, 0x80));
    read_reg(*bus, 0x50, 0, &rc);
    EXPECT_EQ(-1, rc);  // the path upstream closed again

    // A combined transaction may not switch addresses halfway.
    uint8_t reg = 0, v = 0;
    platform::I2cMsg mixed[2] = {{0x68, false, &reg, 1}, {0x48, true, &v, 1}};
    EXPECT_EQ(-1, bus->transfer(mixed, 2));
    platform::I2cMsg null_buf{0x68, true, nullptr, 4};
    EXPECT_EQ(-1, bus->transfer(&null_buf, 1));
    EXPECT_EQ(0x81, select(*bus, 0x70, 0x81) == 0 ? eesw->channels() : 0);
}

TEST_F(SimBoardTest, DumpRequestWritesEveryDeviceAndDeletesTheRequest)
{
    board->add_spi("/dev/spidev32766.0", std::make_shared<EchoChip>(*board, 0x207900));
    board->add_i2c_switch(0x77, "rx_switch");
    board->soc().write16(0x207858, 0x10);
    std::string writer_dir;
    board->add_dump_writer([&](const std::string& dir) { writer_dir = dir; });

    auto dev = platform::board().open_spi("/dev/spidev32766.0");
    uint8_t tx[2] = {0xAB, 0xCD}, rx[2];
    dev->transfer(tx, rx, 2);

    root.write("/sim/dump-request", "");
    board->poll();
    EXPECT_FALSE(root.exists("/sim/dump-request"));
    EXPECT_EQ(root.at("/sim/state"), writer_dir);
    const auto echo = QJsonDocument::fromJson(QByteArray::fromStdString(root.read("/sim/state/echo.json"))).object();
    EXPECT_EQ("echo", echo.value("device").toString());
    EXPECT_TRUE(echo.value("registers").toObject().value("pad").toBool());
    EXPECT_EQ("xfer ab cd", echo.value("transactions").toArray().last().toString());
    EXPECT_TRUE(root.exists("/sim/state/rx_switch.json"));
    const auto soc = QJsonDocument::fromJson(QByteArray::fromStdString(root.read("/sim/state/soc.json"))).object();
    EXPECT_EQ(16, soc.value("registers").toObject().value("0x207858").toInt());
}

TEST(SimBoardWatcher, PicksUpChangesAndRequestsWhileRunning)
{
    TempRoot root;
    auto board = sim::SimBoard::install_for_test(root.path(), sim::SimBoard::Options{});
    root.write("/sim/board.json", R"({"ethernet": false})");
    root.write("/sim/dump-request", "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((board->board_config().ethernet() || root.exists("/sim/dump-request")) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(board->board_config().ethernet());
    EXPECT_FALSE(root.exists("/sim/dump-request"));
    EXPECT_TRUE(root.exists("/sim/state/soc.json"));
}

// A long run keeps each device's last kRingKeep transactions (its record, the scaler chip's
// register writes) and counts every one, so memory stays flat and a dump shows the recent past.
TEST_F(SimBoardTest, RecordsKeepOnlyTheRecentHistory)
{
    const size_t keep = sim::kRingKeep, n = keep + 300;
    auto echo = std::make_shared<EchoChip>(*board, 0x207900);
    board->add_spi("/dev/spidev32766.1", echo);
    auto chip = std::make_shared<sim::C331Model>(*board);
    board->add_spi(sim::C331Model::kPath, chip);
    board->soc().write16(sim::C331Model::kPadMuxA, sim::C331Model::kPadSelected);
    board->soc().write16(sim::C331Model::kPadMuxB, sim::C331Model::kPadSelected);
    auto to_echo = platform::board().open_spi("/dev/spidev32766.1");
    std::vector<uint8_t> writes;  // n writes of register 1 of the chip, in one message
    for (size_t i = 0; i < n; ++i) {
        uint8_t tx[2] = {uint8_t(i >> 8), uint8_t(i)}, rx[2];
        to_echo->transfer(tx, rx, 2);
        writes.insert(writes.end(), {0x81, uint8_t(i)});
    }
    std::vector<uint8_t> rx(writes.size());
    platform::board().open_spi(sim::C331Model::kPath)->transfer(writes.data(), rx.data(), writes.size());

    EXPECT_EQ(keep, echo->record().lines().size());
    EXPECT_EQ(n, echo->record().total());
    EXPECT_EQ("xfer 01 2c", echo->record().lines().front());  // transfer 300, the oldest kept
    EXPECT_EQ(keep, chip->writes().size());
    EXPECT_EQ(n, chip->total_writes());
    EXPECT_EQ(uint8_t(300), chip->writes().front().value);

    root.write("/sim/dump-request", "");
    board->poll();
    const auto dump = QJsonDocument::fromJson(QByteArray::fromStdString(root.read("/sim/state/echo.json"))).object();
    const QJsonArray shown = dump.value("transactions").toArray();
    EXPECT_EQ(int(keep), shown.size());
    EXPECT_EQ("xfer 11 2b", shown.last().toString());  // transfer n - 1
    EXPECT_EQ(double(n), dump.value("transactions_total").toDouble());
    const uint8_t b[40] = {};
    EXPECT_EQ(32 * 3 - 1 + 4, int(sim::hex_bytes(b, 40).size()));  // a long message is cut
}

TEST(Selection, EnvironmentChoosesTheBoard)
{
    TempRoot root;
    sim::register_factory();
    setenv("K57_BOARD", "sim", 1);
    EXPECT_STREQ("sim", platform::select_board_from_env());
    EXPECT_EQ(0, platform::board().shell().run("reboot-is-not-this"));  // emulated, not run
    EXPECT_STREQ("sim", platform::board().name());
    setenv("K57_BOARD", "hw", 1);
    EXPECT_STREQ("hw", platform::select_board_from_env());
    setenv("K57_BOARD", "simm", 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the sim board's watcher runs
    EXPECT_EXIT(platform::select_board_from_env(), ::testing::ExitedWithCode(2), "unknown board");
    unsetenv("K57_BOARD");
}

}  // namespace
