// The running device on the simulated board, driven through its key pipe: a dump request
// writes the panel's grab, and a key changes what the grab shows.
#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/device_process.h"
#include "common/temp_dir.h"

namespace {

bool is_fifo(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Asks for a dump and waits for a new screen.png; returns its pixels (null image on time-out).
QImage dump_screen(testutil::DeviceProcess& dev, const testutil::TempDir& root)
{
    const std::string png = root.file("sim/state/screen.png");
    std::remove(png.c_str());
    std::ofstream(root.file("sim/dump-request")).put('\n');
    if (!dev.wait_for([&] { return testutil::file_exists(png); }, 15000))
        return QImage();
    return QImage(QString::fromStdString(png));
}

// Non-blocking, so a device that has gone away fails the test instead of hanging it.
bool send_key(const testutil::TempDir& root, const std::string& line)
{
    const int fd = ::open(root.file("sim/keys").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const std::string text = line + "\n";
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

}  // namespace

TEST(UiProcess, KeyPipeDrivesThePanelAndTheDumpGrabsIt)
{
    testutil::TempDir root;
    testutil::DeviceProcess dev(testutil::DeviceProcess::sim_options(root.path()));
    ASSERT_TRUE(dev.start());
    ASSERT_TRUE(dev.wait_for([&] { return is_fifo(root.file("sim/keys")); }, 30000)) << dev.output();

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
