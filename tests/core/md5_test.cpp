// MD5 against the RFC 1321 test suite, fed whole and in odd pieces.
#include <gtest/gtest.h>

#include <string>

#include "core/md5.h"

namespace {

std::string md5_of(const std::string& s)
{
    MD5 m;
    m.update(s.data(), u32(s.size()));
    return m.toString();
}

TEST(Md5, Rfc1321Suite)
{
    EXPECT_EQ(md5_of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5_of("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5_of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5_of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5_of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5_of("1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecewiseUpdatesAcrossBlockAndPaddingBoundaries)
{
    // Lengths around 55/56/64 bytes exercise the one- and two-block padding.
    for (size_t n : {55, 56, 57, 63, 64, 65, 119, 120, 128, 1000}) {
        std::string msg;
        for (size_t i = 0; i < n; ++i)
            msg.push_back(char('a' + i % 26));
        const std::string whole = md5_of(msg);
        for (size_t piece : {1, 3, 63, 64, 65}) {
            MD5 m;
            for (size_t at = 0; at < n; at += piece) {
                const size_t len = std::min(piece, n - at);
                m.update(reinterpret_cast<const u8*>(msg.data() + at), u32(len));
            }
            ASSERT_EQ(m.toString(), whole) << "n=" << n << " piece=" << piece;
        }
    }

    MD5 m;
    const std::string block(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        m.update(block.data(), u32(block.size()));
    EXPECT_EQ(m.toString(), "7707d6ae4e027c70eea2a935c2296f21");  // a million 'a'
}

TEST(Md5, DigestIsStableAndResetStartsOver)
{
    MD5 m;
    m.update("abc", 3);
    const std::string first(reinterpret_cast<const char*>(m.digest()), 16);
    const std::string second(reinterpret_cast<const char*>(m.digest()), 16);
    EXPECT_EQ(first, second);
    EXPECT_EQ(m.toString(), "900150983cd24fb0d6963f7d28e17f72");

    // Taking the digest does not disturb a message that goes on.
    m.update("def", 3);
    EXPECT_EQ(m.toString(), md5_of("abcdef"));

    m.reset();
    m.update("a", 1);
    EXPECT_EQ(m.toString(), "0cc175b9c0f1b6a831c399e269772661");

    md5.reset();  // the global starts like any other object
    EXPECT_EQ(md5.toString(), "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
