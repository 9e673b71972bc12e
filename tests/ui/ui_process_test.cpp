// The running device on the simulated board, driven through its key pipe: a dump request
// writes the panel's grab, and a key changes what the grab shows.
#include <gtest/gtest.h>

#include <QImage>
#include <fstream>

#include "common/device_process.h"
#include "common/remote_client.h"
#include "common/temp_dir.h"

namespace {

// Starts the device and waits for its key pipe.
::testing::AssertionResult start_with_key_pipe(testutil::DeviceProcess& dev, const testutil::TempDir& root)
{
    if (!dev.start())
        return ::testing::AssertionFailure() << "the device did not start";
    if (!dev.wait_for([&] { return testutil::key_pipe_ready(root.path()); }, 30000))
        return ::testing::AssertionFailure() << "no key pipe: " << dev.output();
    return ::testing::AssertionSuccess();
}

// Asks for a dump and waits, as a tool does, until the request file is gone; returns the
// screen's pixels (null image on time-out or when the dump has no screen).
QImage dump_screen(testutil::DeviceProcess& dev, const testutil::TempDir& root)
{
    const std::string png = root.file("sim/state/screen.png");
    const std::string request = root.file("sim/dump-request");
    std::remove(png.c_str());
    std::ofstream(request).put('\n');
    if (!dev.wait_for([&] { return !testutil::file_exists(request); }, 15000, 1))
        return QImage();
    return QImage(QString::fromStdString(png));
}

bool send_key(const testutil::TempDir& root, const std::string& line)
{
    return testutil::send_key(root.path(), line);
}

}  // namespace

TEST(UiProcess, KeyPipeDrivesThePanelAndTheDumpGrabsIt)
{
    testutil::TempDir root;
    testutil::DeviceProcess dev(testutil::DeviceProcess::sim_options(root.path()));
    ASSERT_TRUE(start_with_key_pipe(dev, root));

    const QImage home = dump_screen(dev, root);
    ASSERT_FALSE(home.isNull()) << dev.output();
    EXPECT_EQ(home.size(), QSize(320, 240));

    ASSERT_TRUE(send_key(root, "F6"));  // home -> main window
    QImage menu;
    ASSERT_TRUE(dev.wait_for([&] {
        menu = dump_screen(dev, root);
        return !menu.isNull() && menu != home;
    }, 30000)) << dev.output();

    ASSERT_TRUE(send_key(root, "BACK"));  // back home
    ASSERT_TRUE(dev.wait_for([&] { return dump_screen(dev, root) == home; }, 30000));
    EXPECT_TRUE(dev.running());
    dev.terminate();
}

// The request file goes last: a tool that waits for its deletion finds this dump's screen and
// panel files, never none or the previous ones.
TEST(UiProcess, DumpRequestIsDeletedAfterThePanelFiles)
{
    testutil::TempDir root;
    testutil::DeviceProcess dev(testutil::DeviceProcess::sim_options(root.path()));
    ASSERT_TRUE(start_with_key_pipe(dev, root));
    const std::string png = root.file("sim/state/screen.png");
    const std::string panel = root.file("sim/state/panel.json");
    for (int round = 0; round < 5; ++round) {
        std::remove(png.c_str());
        std::remove(panel.c_str());
        ASSERT_FALSE(dump_screen(dev, root).isNull()) << "round " << round << dev.output();
        EXPECT_TRUE(testutil::file_exists(panel)) << "round " << round;
    }
    dev.terminate();
}

// A window switched on remotely, then the source page by keys through the pipe: window 3 gets
// the whole HDMI3, which the apply pass persists; the dump names the page on top.
TEST(UiProcess, SourcePageByKeysWritesThePersistedWindowSource)
{
    testutil::TempDir root;
    auto opt = testutil::DeviceProcess::sim_options(root.path());
    testutil::DeviceProcess dev(opt);
    ASSERT_TRUE(start_with_key_pipe(dev, root));
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(opt.tcp_port, 20000)) << dev.output();
    ASSERT_EQ(client.ram_write(0x914, testutil::le16(1))->status(), 0);
    ASSERT_EQ(client.reg_write(11, 0x02, 0x02)->status(), 0);

    auto window3_source = [&] { return testutil::para_file_word(root.path(), 0x91C); };
    ASSERT_TRUE(dev.wait_for([&] { return (testutil::para_file_word(root.path(), 0x914) & 0xFF) == 1; }, 30000))
        << dev.output();
    EXPECT_EQ(window3_source(), 0x0003);  // HDMI2 from the factory image

    // Main window, source page, window 3, its inputs (HDMI2), HDMI3, its cards, the whole input.
    for (const char* k : {"F6", "F6", "F5", "F6", "F5", "F6", "F6"})
        ASSERT_TRUE(send_key(root, k));
    EXPECT_TRUE(dev.wait_for([&] { return window3_source() == 0x0004; }, 30000)) << dev.output();

    ASSERT_FALSE(dump_screen(dev, root).isNull());
    const std::string panel = testutil::read_file(root.file("sim/state/panel.json"));
    EXPECT_NE(panel.find("\"page_focus\":3"), std::string::npos) << panel;
    EXPECT_NE(panel.find("\"pages\":[\"InputChoose\"]"), std::string::npos) << panel;
    EXPECT_TRUE(dev.running());
    dev.terminate();
}

// The LED size typed on the keypad by keys through the pipe reaches the persisted parameter
// file (canvas and window 0); a test pattern is on while its page shows it and off after back.
TEST(UiProcess, SettingsPagesByKeysReachTheImage)
{
    testutil::TempDir root;
    auto opt = testutil::DeviceProcess::sim_options(root.path());
    testutil::DeviceProcess dev(opt);
    ASSERT_TRUE(start_with_key_pipe(dev, root));
    testutil::TcpRemoteClient client;
    ASSERT_TRUE(client.connect(opt.tcp_port, 20000)) << dev.output();

    auto file_word = [&](uint32_t addr) { return testutil::para_file_word(root.path(), addr); };
    auto press = [&](std::initializer_list<const char*> ks) {
        for (const char* k : ks)
            ASSERT_TRUE(send_key(root, k));
    };
    // Main window, menu (its fourth row), output, LED size, the width field's keypad.
    press({"F6", "F5", "F5", "F5", "F6", "F5", "F5", "F6", "F6", "F6"});
    // Keypad keys 1 2 3 4 5 6 7 8 9 . 0 del - close ok, focus on "1": type 3, 8, 4, 0, OK.
    press({"F5", "F5", "F6", "F5", "F5", "F5", "F5", "F5", "F6", "F4", "F4", "F4", "F4", "F6"});
    press({"F5", "F5", "F5", "F5", "F5", "F5", "F5", "F6", "F5", "F5", "F5", "F5", "F6"});
    press({"F5", "F5", "F6"});  // Apply
    EXPECT_TRUE(dev.wait_for([&] { return file_word(0x562) == 3840 && file_word(0x8EE) == 3840; }, 30000))
        << dev.output();
    // The confirmation tip takes the keys for its 200 ticks.
    EXPECT_TRUE(dev.wait_for([&] {
        dump_screen(dev, root);
        const std::string panel = testutil::read_file(root.file("sim/state/panel.json"));
        return panel.find("\"tip\":false") != std::string::npos && panel.find("\"page_focus\":13") != std::string::npos;
    }, 30000)) << testutil::read_file(root.file("sim/state/panel.json"));

    // Back to the menu, advanced, test pattern, the first pattern.
    press({"BACK", "BACK", "F5", "F5", "F5", "F6", "F5", "F6", "F6"});
    auto pattern = [&] {
        auto r = client.ram_read(0x360, 1);
        return r && r->status() == 0 && r->data().size() > 6 ? int(r->data()[6]) : -1;
    };
    EXPECT_TRUE(dev.wait_for([&] { return pattern() == 1; }, 30000)) << dev.output();
    press({"BACK"});
    EXPECT_TRUE(dev.wait_for([&] { return pattern() == 0; }, 30000)) << dev.output();
    EXPECT_TRUE(dev.running());
    dev.terminate();
}

// The crop editor opened after a user-mode recall changed the crop table behind it, all by keys
// through the pipe: two HDMI1 crops added, mode 1 saved, crop 2 deleted, mode 1 recalled (crop 2
// is back), then Menu -> Crop -> Add takes the free id 3, not the recalled crop's id 2.
TEST(UiProcess, CropAddedAfterARecallTakesAFreeId)
{
    testutil::TempDir root;
    auto opt = testutil::DeviceProcess::sim_options(root.path());
    testutil::DeviceProcess dev(opt);
    ASSERT_TRUE(start_with_key_pipe(dev, root));

    auto row_key = [&](int row) { return testutil::para_file_word(root.path(), 0x5C0 + 10 * row); };
    auto press = [&](std::initializer_list<const char*> ks) {
        for (const char* k : ks)
            ASSERT_TRUE(send_key(root, k));
    };
    auto tip_shown = [&] {
        dump_screen(dev, root);
        return testutil::read_file(root.file("sim/state/panel.json")).find("\"tip\":true") != std::string::npos;
    };
    // The tip that follows a save or a recall takes the keys until it has gone.
    auto after_tip = [&] {
        dev.wait_for(tip_shown, 5000);
        return dev.wait_for([&] { return !tip_shown(); }, 30000);
    };

    press({"F6", "F6", "F5", "F6", "F6", "F6", "F4", "F6"});
    press({"F6", "F4", "F6"});
    ASSERT_TRUE(dev.wait_for([&] { return row_key(0) == 0x8002 && row_key(1) == 0x8102; }, 30000)) << dev.output();
    press({"BACK", "BACK", "BACK", "F5", "F6", "F6", "F6"});  // save mode 1
    ASSERT_TRUE(dev.wait_for([&] { return testutil::file_exists(root.file("data/modes/custom_mode1")); }, 30000));
    ASSERT_TRUE(after_tip());
    press({"F4", "F6", "F5", "F6", "F6", "F5", "F5", "F5", "F6", "F4", "F4", "F4", "F6"});  // delete crop 2
    ASSERT_TRUE(dev.wait_for([&] { return row_key(1) == 0; }, 30000)) << dev.output();
    press({"BACK", "BACK", "BACK", "F5", "F6", "F6", "F5", "F6"});  // recall mode 1
    ASSERT_TRUE(dev.wait_for([&] { return row_key(1) == 0x8102; }, 30000)) << dev.output();
    ASSERT_TRUE(after_tip());
    press({"F5", "F5", "F6", "F6", "F6", "F6", "F4", "F6"});  // Menu -> Crop -> HDMI1 -> Add -> OK
    ASSERT_TRUE(dev.wait_for([&] { return row_key(2) & 0x8000; }, 30000)) << dev.output();
    EXPECT_EQ(row_key(2), 0x8202);
    EXPECT_EQ(row_key(1), 0x8102);
    EXPECT_TRUE(dev.running());
    dev.terminate();
}
