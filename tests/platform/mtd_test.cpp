// Flash partitions of the simulated board, and the real MTD calls' failure paths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "platform/hw_board.h"
#include "sim/sim_board.h"
#include "temp_root.h"

namespace {

class SimMtdTest : public ::testing::Test {
protected:
    TempRoot root;
    std::unique_ptr<sim::SimBoard> board = sim::SimBoard::install_for_test(root.path());
    sim::SimMtd& mtd = board->sim_mtd();

    int open8() { return mtd.open(platform::rooted("/dev/mtd8").c_str(), O_RDWR); }
    std::vector<uint8_t> cells(off_t off, size_t n)
    {
        std::vector<uint8_t> v(n);
        int fd = ::open(root.at("/sim/mtd8.bin").c_str(), O_RDONLY);
        EXPECT_EQ(ssize_t(n), ::pread(fd, v.data(), n, off));
        ::close(fd);
        return v;
    }
};

TEST_F(SimMtdTest, NewPartitionIsErasedWithNandGeometry)
{
    int fd = open8();
    ASSERT_GE(fd, 0);
    platform::MtdInfo info;
    ASSERT_EQ(0, mtd.getinfo(fd, &info));
    EXPECT_EQ(0x20000u, info.erasesize);
    EXPECT_EQ(0x800u, info.writesize);
    EXPECT_EQ(off_t(info.size), lseek(fd, 0, SEEK_END));
    EXPECT_EQ(std::vector<uint8_t>(16, 0xFF), cells(info.size - 16, 16));
    EXPECT_EQ(0, mtd.close(fd));
}

TEST_F(SimMtdTest, WriteClearsBitsAndEraseRestoresWholeBlocks)
{
    int fd = open8();
    const std::vector<uint8_t> a{0x0F, 0xF0, 0x33};
    const std::vector<uint8_t> b{0xFF, 0x3C, 0x0F};
    ASSERT_EQ(3, mtd.pwrite(fd, a.data(), 3, 0x20000 - 1));   // across a block edge
    ASSERT_EQ(3, mtd.pwrite(fd, b.data(), 3, 0x20000 - 1));   // over unerased cells
    EXPECT_EQ((std::vector<uint8_t>{0x0F, 0x30, 0x03}), cells(0x20000 - 1, 3));

    ASSERT_EQ(0, mtd.erase(fd, 0x20000, 0x20000));  // only the second block
    EXPECT_EQ((std::vector<uint8_t>{0x0F, 0xFF, 0xFF}), cells(0x20000 - 1, 3));
    mtd.close(fd);
}

TEST_F(SimMtdTest, DriverRefusesBadRangesAndForeignDescriptors)
{
    int fd = open8();
    platform::MtdInfo info;
    mtd.getinfo(fd, &info);
    EXPECT_EQ(-1, mtd.erase(fd, 0x100, 0x20000));            // unaligned start
    EXPECT_EQ(-1, mtd.erase(fd, 0, 0x20001));                // partial block
    EXPECT_EQ(-1, mtd.erase(fd, info.size, 0x20000));        // past the end
    EXPECT_EQ(-1, mtd.unlock(fd, info.size - 0x20000, 0x40000));
    uint8_t buf[8] = {};
    EXPECT_EQ(-1, mtd.pwrite(fd, buf, 8, info.size));        // no room
    EXPECT_EQ(4, mtd.pwrite(fd, buf, 8, info.size - 4));     // cut at the end
    EXPECT_EQ(off_t(info.size), lseek(fd, 0, SEEK_END));     // the file never grows

    int plain = ::open(root.path().c_str(), O_RDONLY);
    EXPECT_EQ(-1, mtd.getinfo(plain, &info));
    EXPECT_EQ(ENOTTY, errno);
    EXPECT_EQ(-1, mtd.erase(plain, 0, 0x20000));
    ::close(plain);
    mtd.close(fd);

    EXPECT_EQ(-1, mtd.open(platform::rooted("/dev/mtd3").c_str(), O_RDWR));   // not on this board
    EXPECT_EQ(-1, mtd.open("/dev/mtd8", O_RDWR));                             // not rooted
}

TEST_F(SimMtdTest, InjectedFailuresHitTheNthCallOnly)
{
    int fd = open8();
    mtd.fail_nth(sim::SimMtd::Op::Erase, 2);
    EXPECT_EQ(0, mtd.erase(fd, 0, 0x20000));
    EXPECT_EQ(-1, mtd.erase(fd, 0x20000, 0x20000));
    EXPECT_EQ(EIO, errno);
    EXPECT_EQ(0, mtd.erase(fd, 0x20000, 0x20000));

    mtd.fail_nth(sim::SimMtd::Op::GetInfo, 1);
    platform::MtdInfo info;
    EXPECT_EQ(-1, mtd.getinfo(fd, &info));
    EXPECT_EQ(0, mtd.getinfo(fd, &info));

    mtd.fail_nth(sim::SimMtd::Op::Write, 1);
    uint8_t byte = 0;
    EXPECT_EQ(-1, mtd.pwrite(fd, &byte, 1, 0));
    EXPECT_EQ(0xFF, cells(0, 1)[0]);  // nothing written
    auto c = mtd.counts();
    EXPECT_EQ(3, c.erase);
    EXPECT_EQ(2, c.getinfo);
    EXPECT_EQ(1, c.write);
    mtd.close(fd);
}

TEST(SimMtdConfig, GeometryFromBoardJson)
{
    TempRoot root;
    root.write("/sim/board.json", R"({"mtd": {"mtd8": {"size": 262144, "erasesize": 65536}, "mtd2": {"size": 65536}}})");
    auto board = sim::SimBoard::install_for_test(root.path());
    platform::MtdInfo info;
    ASSERT_TRUE(board->sim_mtd().geometry("mtd8", &info));
    EXPECT_EQ(262144u, info.size);
    EXPECT_EQ(65536u, info.erasesize);
    EXPECT_EQ(0x800u, info.writesize);  // default kept
    EXPECT_TRUE(board->sim_mtd().geometry("mtd2", &info));
    EXPECT_TRUE(board->sim_mtd().geometry("mtd10", &info));
    EXPECT_FALSE(board->sim_mtd().geometry("mtd9", &info));
}

TEST(HwMtd, RequestsOnANonFlashNodeFail)
{
    TempRoot root;
    root.write("/dev/mtd8", std::string(4096, '\xff'));
    platform::HwMtd mtd;
    int fd = mtd.open(platform::rooted("/dev/mtd8").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    platform::MtdInfo info;
    EXPECT_EQ(-1, mtd.getinfo(fd, &info));
    EXPECT_EQ(-1, mtd.unlock(fd, 0, 4096));
    EXPECT_EQ(-1, mtd.erase(fd, 0, 4096));
    EXPECT_EQ(0, mtd.close(fd));
    EXPECT_EQ(-1, mtd.open(platform::rooted("/dev/mtd10").c_str(), O_RDWR));
}

}  // namespace
