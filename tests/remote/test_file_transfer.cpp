// The remote file transfer through message_deal, in process on the simulated board.
#include "remote_fixture.h"

#include <QSettings>
#include <sys/stat.h>

#include "common/sample_files.h"
#include "core/globals.h"
#include "platform/virtual_clock.h"
#include "remote/file_transfer.h"
#include "scaler/c331_manage.h"

namespace {

// One requester: a dispatcher of a transport with a peer number.
struct Tool {
    Tool(u8 transport, uint64_t peer) : deal(transport), peer(peer) {}
    testutil::Frame call(u8 cmd, const Bytes& data) { return remote_test::call(deal, cmd, data, peer); }
    u8 start(const char* code, u32 total) { return call(CMD_FILE_WRITE_START, testutil::text_bytes(code) + le32(total)).status(); }
    u8 block(u32 off, const Bytes& b) { return call(CMD_FILE_WRITE_BLOCK, le32(off) + le16(u16(b.size())) + b).status(); }
    testutil::Frame end(const Bytes& md5) { return call(CMD_FILE_WRITE_END, md5); }
    // Whole write; the end command's status.
    u8 send(const char* code, const Bytes& content, const Bytes& md5)
    {
        if (u8 st = start(code, u32(content.size())))
            return st;
        for (size_t off = 0; off < content.size(); off += 1024) {
            const size_t n = std::min<size_t>(1024, content.size() - off);
            if (u8 st = block(u32(off), Bytes(content.begin() + long(off), content.begin() + long(off + n))))
                return st;
        }
        return end(md5).status();
    }
    message_deal deal;
    uint64_t peer;
};

Bytes pattern(size_t n, u8 seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = u8(i * 7 + seed + (i >> 8));
    return b;
}

// A JSON document of exactly n bytes (n at least 8).
// n bytes (at least 36) both readers take: an OSD menu without entries, no names.
Bytes json_text(size_t n)
{
    const std::string text = "{\"osdcount\":0,\"namelist\":{},\"t\":\"" + std::string(n - 36, 'x') + "\"}";
    return Bytes(text.begin(), text.end());
}

std::string path(const char* rel) { return remote_test::root().file(rel); }

void write_text(const std::string& p, const std::string& text)
{
    QDir().mkpath(QString::fromStdString(p.substr(0, p.rfind('/'))));
    FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

class FileTransfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        remote_test::reset_store();
        write_text(path("data/configs/omenu.json"), "old menus");
        tool.call(CMD_FILE_READ_END, {});  // end whatever an earlier test left
    }
    Tool tool{TR_TCP, 1};
};

}  // namespace

TEST_F(FileTransfer, TargetIsReplacedOnlyWhenTheDigestMatches)
{
    const Bytes content = json_text(2500);
    Bytes wrong = testutil::md5_of(content);
    wrong[0] ^= 0xFF;
    auto status = tool.send("OSDS", content, wrong);
    EXPECT_EQ(status, ST_FAILED);
    EXPECT_EQ(testutil::read_file(path("data/configs/omenu.json")), "old menus");
    EXPECT_FALSE(testutil::file_exists(path("data/configs/omenu.json.part")));

    c331_manage::g_osd_update = 0;
    ASSERT_EQ(tool.start("OSDS", u32(content.size())), ST_DONE);
    for (size_t off = 0; off < content.size(); off += 1000)
        ASSERT_EQ(tool.block(u32(off), Bytes(content.begin() + long(off),
                                             content.begin() + long(std::min(off + 1000, content.size())))),
                  ST_DONE);
    EXPECT_EQ(testutil::read_file(path("data/configs/omenu.json")), "old menus") << "untouched until the end";
    auto end = tool.end(testutil::md5_of(content));
    EXPECT_EQ(end.status(), ST_DONE);
    EXPECT_EQ(end.data(), testutil::md5_of(content)) << "the device reports its own digest";
    const std::string now = testutil::read_file(path("data/configs/omenu.json"));
    EXPECT_EQ(Bytes(now.begin(), now.end()), content);
    EXPECT_EQ(c331_manage::g_osd_update.load(), 1);
    EXPECT_EQ(c331_shared::param_changed.load(), 1);
}

TEST_F(FileTransfer, BlocksMustComeInOrderAndInsideTheLength)
{
    ASSERT_EQ(tool.start("ALIS", 2000), ST_DONE);
    EXPECT_EQ(tool.block(1000, pattern(1000, 0)), ST_REFUSED) << "gap";
    EXPECT_EQ(tool.block(0, pattern(1000, 0)), ST_DONE);
    EXPECT_EQ(tool.block(0, pattern(1000, 0)), ST_REFUSED) << "repeat";
    EXPECT_EQ(tool.block(1000, pattern(1001, 0)), ST_REFUSED) << "past the total";
    EXPECT_EQ(tool.block(1000, pattern(1025, 0)), ST_REFUSED) << "block too long";
    EXPECT_EQ(tool.call(CMD_FILE_WRITE_BLOCK, le32(1000) + le16(500) + pattern(10, 0)).status(), ST_REFUSED)
        << "block shorter than announced";
    // Ending early refuses and abandons; the old file stays.
    write_text(path("data/configs/alias.json"), "{}");
    EXPECT_EQ(tool.end(Bytes(16, 0)).status(), ST_REFUSED);
    EXPECT_EQ(testutil::read_file(path("data/configs/alias.json")), "{}");
    EXPECT_EQ(tool.block(1000, pattern(1000, 0)), ST_REFUSED) << "no transfer any more";
}

TEST_F(FileTransfer, CodesAndSizesAreChecked)
{
    EXPECT_EQ(tool.start("XXXX", 10), ST_REFUSED);
    EXPECT_EQ(tool.start("PARA", 10), ST_REFUSED) << "read only";
    EXPECT_EQ(tool.start("OSDS", 0), ST_REFUSED);
    EXPECT_EQ(tool.start("OSDS", kJsonMaxSize + 1), ST_REFUSED);
    EXPECT_EQ(tool.start("LOGO", 0x200001), ST_REFUSED) << "larger than the partition";
    EXPECT_EQ(tool.call(CMD_FILE_READ_START, testutil::text_bytes("KERN")).status(), ST_REFUSED);
    EXPECT_EQ(tool.call(CMD_FILE_WRITE_START, testutil::text_bytes("OSD")).status(), ST_REFUSED);
}

TEST_F(FileTransfer, OneTransferForTheWholeDevice)
{
    Tool other(TR_UDP, 1);
    ASSERT_EQ(tool.start("ALIS", 100), ST_DONE);
    EXPECT_EQ(other.start("OSDS", 100), ST_BUSY);
    EXPECT_EQ(other.block(0, pattern(100, 0)), ST_BUSY);
    EXPECT_EQ(other.call(CMD_FILE_READ_START, testutil::text_bytes("PARA")).status(), ST_BUSY);
    Tool same_transport_other_client(TR_TCP, 2);
    EXPECT_EQ(same_transport_other_client.start("OSDS", 100), ST_BUSY);
    // The owner may start over.
    EXPECT_EQ(tool.start("OSDS", 40), ST_DONE);
    EXPECT_EQ(tool.send("OSDS", json_text(40), testutil::md5_of(json_text(40))), ST_DONE);
    EXPECT_EQ(other.start("OSDS", 100), ST_DONE) << "free again";
    other.end(Bytes(16, 0));

    // UDP senders are told apart by their whole address and port.
    Tool udp_a(TR_UDP, (uint64_t(0x0A000001) << 16) | 5000);
    Tool udp_b(TR_UDP, (uint64_t(0x0B000001) << 16) | 5000);
    ASSERT_EQ(udp_a.start("ALIS", 100), ST_DONE);
    EXPECT_EQ(udp_b.block(0, pattern(100, 0)), ST_BUSY);
    udp_a.end(Bytes(16, 0));
}

TEST_F(FileTransfer, IdleTransferIsAbandonedAfter30Seconds)
{
    platform::VirtualClock clock(1000000);
    platform::set_clock(&clock);
    Tool other(TR_SERIAL, 0);
    ASSERT_EQ(tool.start("ALIS", 100), ST_DONE);
    clock.advance_us(29 * 1000000ull);
    EXPECT_EQ(other.start("ALIS", 100), ST_BUSY);
    EXPECT_EQ(tool.block(0, pattern(50, 0)), ST_DONE) << "activity restarts the 30 s";
    clock.advance_us(29 * 1000000ull);
    EXPECT_EQ(other.start("ALIS", 100), ST_BUSY);
    clock.advance_us(2 * 1000000ull);
    remote::file_transfer_expire();
    EXPECT_FALSE(testutil::file_exists(path("data/configs/alias.json.part")));
    EXPECT_EQ(tool.block(50, pattern(50, 0)), ST_REFUSED);
    EXPECT_EQ(other.start("ALIS", 100), ST_DONE);
    other.end(Bytes(16, 0));
    platform::set_clock(nullptr);
}

TEST_F(FileTransfer, ApplicationUpdateIsInstalled)
{
    g_app_reset_flag = 0;
    g_update_flag = 0;
    write_text(path("data/app/tlxK57N"), "old program");
    write_text(path("data/configs/led_load_config.ini"), "[app-1]\napp_path=/somewhere/else\n");
    Bytes app = pattern(5000, 9);
    // Not a program the device could start: refused, the old one stays, no restart.
    EXPECT_EQ(tool.send("APPL", app, testutil::md5_of(app)), ST_FAILED);
    EXPECT_EQ(testutil::read_file(path("data/app/tlxK57N")), "old program");
    EXPECT_EQ(g_app_reset_flag.load(), 0);
    std::memcpy(app.data(), "\x7f" "ELF", 4);
    ASSERT_EQ(tool.start("APPL", u32(app.size())), ST_DONE);
    EXPECT_EQ(g_update_flag.load(), 1) << "the splash shows during the transfer";
    for (size_t off = 0; off < app.size(); off += 1024)
        ASSERT_EQ(tool.block(u32(off), Bytes(app.begin() + long(off), app.begin() + long(std::min(off + 1024, app.size())))), ST_DONE);
    struct stat sb {};
    // The end command renames this file into place: a power cut right after the rename must
    // leave a program that can be started.
    ASSERT_EQ(::stat(path("data/app/tlxK57N.part").c_str(), &sb), 0);
    EXPECT_TRUE(sb.st_mode & S_IXUSR);
    ASSERT_EQ(tool.end(testutil::md5_of(app)).status(), ST_DONE);
    EXPECT_EQ(g_update_flag.load(), 0);
    const std::string got = testutil::read_file(path("data/app/tlxK57N"));
    EXPECT_EQ(Bytes(got.begin(), got.end()), app);
    ASSERT_EQ(::stat(path("data/app/tlxK57N").c_str(), &sb), 0);
    EXPECT_TRUE(sb.st_mode & S_IXUSR);
    QSettings ini(QString::fromStdString(path("data/configs/led_load_config.ini")), QSettings::IniFormat);
    EXPECT_EQ(ini.value("app-1/app_path").toString(), "/data/app/tlxK57N -platform linuxfb");
    EXPECT_EQ(g_app_reset_flag.load(), 1);
    g_app_reset_flag = 0;
}

// Nested 100,000 deep, the file would overflow its reader's stack at every start; a menu
// without its entry count or a names file without "namelist" would be read as nothing.
// Values without effect may be left out.
TEST_F(FileTransfer, JsonFileTheReadersWouldRefuseIsNotInstalled)
{
    const std::string nested(100000, '[');
    std::string no_staytime = testutil::kOsdMenuK57;
    no_staytime.replace(no_staytime.find(", \"staytime\": 0"), 14, "");
    no_staytime.replace(no_staytime.find(" \"oactcount\": 1,"), 16, "");
    std::string no_count = testutil::kOsdMenuK57;
    no_count.replace(no_count.find(" \"osdcount\": 1,"), 15, "");
    std::string status_number = testutil::kOsdMenuK57;
    status_number.replace(status_number.find("\"on\""), 4, "1");
    const struct {
        const char* code;
        std::string text;
        u8 status;
    } cases[] = {
        {"OSDS", nested, ST_FAILED},
        {"ALIS", nested, ST_FAILED},
        {"OSDS", no_count, ST_FAILED},
        {"OSDS", R"({"osdcount": 1, "menu": []})", ST_FAILED},
        {"OSDS", status_number, ST_FAILED},
        {"ALIS", R"({"source": [{"id": 2, "name": "Stage"}]})", ST_FAILED},
        {"OSDS", no_staytime, ST_DONE},
    };
    write_text(path("data/configs/alias.json"), "{}");
    for (const auto& c : cases) {
        const std::string target = path(c.code[0] == 'O' ? "data/configs/omenu.json" : "data/configs/alias.json");
        const std::string before = testutil::read_file(target);
        const Bytes bytes(c.text.begin(), c.text.end());
        c331_manage::g_osd_update = 0;
        ASSERT_EQ(tool.send(c.code, bytes, testutil::md5_of(bytes)), c.status) << c.text.substr(0, 80);
        EXPECT_EQ(testutil::read_file(target), c.status == ST_DONE ? c.text : before) << c.text.substr(0, 80);
        EXPECT_FALSE(testutil::file_exists(target + ".part")) << c.code;
        EXPECT_EQ(c331_manage::g_osd_update.load(), c.status == ST_DONE ? 1 : 0) << c.text.substr(0, 80);
    }
    const std::string log = testutil::read_file(path("data/zeltaqn/log/kivEnglneLog"));
    EXPECT_NE(log.find("remote: file OSDS refused (No such node (osdcount)), old file kept"), std::string::npos);
    EXPECT_NE(log.find("remote: file OSDS refused (status \"1\" is not \"on\" or \"off\"), old file kept"),
              std::string::npos);
}

TEST_F(FileTransfer, ApplicationUpdateIsRefusedWhenItsStartCommandCannotBeWritten)
{
    g_app_reset_flag = 0;
    write_text(path("data/app/tlxK57N"), "old program");
    const std::string ini = path("data/configs/led_load_config.ini");
    std::remove(ini.c_str());
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(ini)));   // not a file: cannot be written
    Bytes app = pattern(3000, 4);
    std::memcpy(app.data(), "#!", 2);
    EXPECT_EQ(tool.send("APPL", app, testutil::md5_of(app)), ST_FAILED);
    EXPECT_EQ(testutil::read_file(path("data/app/tlxK57N")), "old program");
    EXPECT_EQ(g_app_reset_flag.load(), 0) << "no restart";
    EXPECT_EQ(g_update_flag.load(), 0);
    QDir(QString::fromStdString(ini)).removeRecursively();
}

TEST_F(FileTransfer, PartitionIsWrittenOnlyAfterTheDigestMatches)
{
    const std::string part = remote_test::board().sim_mtd().backing_file("mtd8");
    const Bytes logo = pattern(3000, 5);
    Bytes wrong = testutil::md5_of(logo);
    wrong[15] ^= 1;
    const std::string before = testutil::read_file(part);
    EXPECT_EQ(tool.send("LOGO", logo, wrong), ST_FAILED);
    EXPECT_EQ(testutil::read_file(part), before);

    EXPECT_EQ(tool.send("LOGO", logo, testutil::md5_of(logo)), ST_DONE);
    const std::string after = testutil::read_file(part);
    ASSERT_GE(after.size(), logo.size());
    EXPECT_EQ(Bytes(after.begin(), after.begin() + long(logo.size())), logo);
}

TEST_F(FileTransfer, ReadGivesTheFileAndItsDigest)
{
    const std::string para = testutil::read_file(path("data/ram_device_info"));
    auto st = tool.call(CMD_FILE_READ_START, testutil::text_bytes("PARA"));
    ASSERT_EQ(st.status(), ST_DONE);
    EXPECT_EQ(st.data(), le32(u32(para.size())));
    Bytes got;
    for (u32 off = 0; off < para.size(); off += 1024) {
        const u16 n = u16(std::min<size_t>(1024, para.size() - off));
        auto b = tool.call(CMD_FILE_READ_BLOCK, le32(off) + le16(n));
        ASSERT_EQ(b.status(), ST_DONE);
        const Bytes d = b.data();
        got.insert(got.end(), d.begin() + 6, d.end());
    }
    EXPECT_EQ(got, Bytes(para.begin(), para.end()));
    EXPECT_EQ(tool.call(CMD_FILE_READ_BLOCK, le32(u32(para.size()) - 1) + le16(2)).status(), ST_REFUSED);
    EXPECT_EQ(tool.call(CMD_FILE_READ_BLOCK, le32(0) + le16(1025)).status(), ST_REFUSED);
    auto end = tool.call(CMD_FILE_READ_END, {});
    EXPECT_EQ(end.status(), ST_DONE);
    EXPECT_EQ(end.data(), testutil::md5_of(got));
    EXPECT_EQ(tool.call(CMD_FILE_READ_END, {}).status(), ST_REFUSED) << "ended";
}
