// Frames the FPGA component builds, and the frame edits of the pass-through.
#include <gtest/gtest.h>

#include <vector>

#include "video_io/fpga_frames.h"

namespace ff = fpga_frames;
using Bytes = std::vector<uint8_t>;

TEST(FpgaFrames, search_relay_and_vmf_frames_are_laid_out_as_the_cards_expect)
{
    Bytes search(ff::kSearchLen);
    ff::search_frame(5, search.data());
    EXPECT_EQ(search, (Bytes{0xFE, 0x1F, 0x00, 0xF0, 0x10, 0xAA, 0xFF, 0x06, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x42}));

    Bytes relay(ff::kRelayLen);
    ff::relay_frame(0x5000, 6, false, relay.data());  // relay 6 off, module on port 5
    EXPECT_EQ(relay, (Bytes{0x00, 0x50, 0x00, 0xF0, 0x10, 0xBB, 0x03, 0x00, 0x00, 0xA0, 0x03, 0x0C, 0x00, 0x04, 0xA3}));
    ff::relay_frame(0x4000, 1, true, relay.data());
    EXPECT_EQ(relay[10], 0x02);
    EXPECT_EQ(relay[11], 0x03);
    EXPECT_EQ(relay[13], 0x03);
    EXPECT_TRUE(ff::bcc_ok(relay.data(), ff::kRelayLen));

    Bytes ram0(ff::kVmfReadLen), data(ff::kVmfReadLen);
    ff::vmf_ram0_frame(0x7000, ram0.data());
    ff::vmf_data_frame(0x7000, data.data());
    EXPECT_EQ(Bytes(ram0.begin() + 9, ram0.end() - 1), (Bytes{0x61, 0, 0, 0, 0, 0, 0x01, 0, 0}));
    EXPECT_EQ(Bytes(data.begin() + 9, data.end() - 1), (Bytes{0x61, 0, 0, 0, 0x02, 0x80, 0, 0, 0}));
    EXPECT_TRUE(ff::bcc_ok(ram0.data(), ff::kVmfReadLen) && ff::bcc_ok(data.data(), ff::kVmfReadLen));
}

TEST(FpgaFrames, group_bits_edit_keeps_the_checksum_valid)
{
    Bytes f = {0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x06, 0x00, 0x61, 0x00, 0x00};
    ff::set_bcc(f.data(), uint32_t(f.size()));
    ff::set_group_bits(f.data(), uint32_t(f.size()), 0, 5 % 4);  // port 5: place 1 in its group
    EXPECT_EQ(f[1], 0x10);
    EXPECT_TRUE(ff::bcc_ok(f.data(), uint32_t(f.size())));
    ff::set_group_bits(f.data(), uint32_t(f.size()), 0, 0);
    EXPECT_EQ(f[1], 0x00);
    EXPECT_TRUE(ff::bcc_ok(f.data(), uint32_t(f.size())));
}

TEST(FpgaFrames, clock_command_takes_bcd_without_leading_zeros)
{
    const uint8_t bcd[7] = {0x24, 0x20, 0x05, 0x06, 0x07, 0x08, 0x09};
    EXPECT_EQ(ff::clock_command(bcd).toStdString(), "date \"2024-5-6 7:8:9\";hwclock -wu");
    const uint8_t late[7] = {0x99, 0x19, 0x12, 0x31, 0x23, 0x59, 0x58};
    EXPECT_EQ(ff::clock_command(late).toStdString(), "date \"1999-12-31 23:59:58\";hwclock -wu");
}
