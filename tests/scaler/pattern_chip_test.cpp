// Test patterns on the simulated chip: the pattern number is written to the image, the apply
// pass programs the pattern generator of window 0's output channels, and exactly those byte
// registers reach the chip, inside one update-timing hold.
#include "scaler_fixture.h"

#include "core/ram_map.h"
#include "core/requests.h"
#include "core/utils.h"
#include "scaler/c331_regs.h"

namespace {

constexpr uint8_t kGenBank = 0x08;      // pattern generator of output channel 0
constexpr uint8_t kGenFirst = 0x57;     // mode register
constexpr uint8_t kGenLast = 0x68;      // last colour register

struct ByteWrite {
    uint8_t bank, reg, value;
    bool operator==(const ByteWrite& o) const { return bank == o.bank && reg == o.reg && value == o.value; }
};

std::ostream& operator<<(std::ostream& os, const ByteWrite& w)
{
    return os << std::hex << "[" << int(w.bank) << ":" << int(w.reg) << "=" << int(w.value) << "]";
}

// Expected generator writes, built from the register map by hand: one- and two-byte registers,
// low byte first.
class Expect {
public:
    explicit Expect(uint8_t channel) : bank_(static_cast<uint8_t>(kGenBank + 0x10 * channel)) {}
    Expect& b(uint8_t reg, uint8_t v) { out_.push_back({bank_, reg, v}); return *this; }
    Expect& w(uint8_t reg, uint16_t v) { return b(reg, v & 0xFF).b(static_cast<uint8_t>(reg + 1), v >> 8); }
    Expect& cleared()
    {
        b(0x57, 0).b(0x58, 0).b(0x59, 0).b(0x5A, 0).w(0x5B, 0).w(0x5D, 0).w(0x5F, 0).w(0x61, 0);
        for (uint8_t r = 0x63; r <= 0x68; ++r)
            b(r, 0);
        return *this;
    }
    std::vector<ByteWrite> out_;

private:
    uint8_t bank_;
};

std::vector<ByteWrite> concat(std::initializer_list<std::vector<ByteWrite>> parts)
{
    std::vector<ByteWrite> v;
    for (const auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

// Solid red (pattern 1) in one channel: control word, mode, colour, second triple.
std::vector<ByteWrite> red(uint8_t channel, uint16_t ctrl)
{
    return Expect(channel).w(0x5B, ctrl).b(0x57, 4).b(0x63, 255).b(0x64, 0).b(0x65, 0).b(0x66, 3).b(0x67, 3).b(0x68, 3).out_;
}

class PatternChipTest : public ScalerFixture {
protected:
    void SetUp() override
    {
        ScalerFixture::SetUp();
        bring_up();
        g_set_led_para = 0;
    }

    // A screen 8400 wide: two output channels of 4200 side by side.
    void two_channel_panel()
    {
        edit_and_pass([](uint8_t* m) {
            ram_wr16(m, ram_led_width, 8400);
            ram_wr16(m, ram_led_height, 1000);
            ram_wr16(m, ram_output_rect + 4, 8400);
            ram_wr16(m, ram_output_rect + 6, 1000);
        });
    }
    void window0(uint16_t x, uint16_t w, uint16_t h)
    {
        edit_and_pass([&](uint8_t* m) {
            ram_wr16(m, ram_window_addr(0, WIN_X), x);
            ram_wr16(m, ram_window_addr(0, WIN_WIDTH), w);
            ram_wr16(m, ram_window_addr(0, WIN_HEIGHT), h);
        });
    }
    void channels_of_window0(std::vector<uint8_t> expected)
    {
        const ST_WIN_INFO& wi = mgr_->pwinfo[0];
        ASSERT_EQ(mgr_->gMwin.wincnt, 1);
        ASSERT_EQ(size_t(wi.totalh * wi.totalv), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(wi.ochLst[i], expected[i]) << i;
    }
    void show_pattern(uint8_t number)
    {
        model_->clear_writes();
        edit_and_pass([&](uint8_t* m) { m[ram_test_pattern] = number; });
    }

    // Generator writes of the last pass, bank selects left out.
    std::vector<ByteWrite> generator_writes() const
    {
        std::vector<ByteWrite> v;
        for (const auto& w : model_->writes())
            if ((w.bank & 0x0F) == kGenBank && w.bank < 0x80 && w.reg >= kGenFirst && w.reg <= kGenLast)
                v.push_back({w.bank, w.reg, w.value});
        return v;
    }
    // Every generator write lies between the update-timing hold and its release.
    void expect_inside_hold()
    {
        const auto log = model_->writes();
        long first = -1, last = -1;
        for (long i = 0; i < static_cast<long>(log.size()); ++i)
            if ((log[i].bank & 0x0F) == kGenBank && log[i].reg >= kGenFirst && log[i].reg <= kGenLast) {
                if (first < 0)
                    first = i;
                last = i;
            }
        ASSERT_GE(first, 0);
        const long hold = index_of(0x00, 0x22, 0xFF);
        ASSERT_GE(hold, 0);
        EXPECT_LT(hold, first);
        EXPECT_GT(index_of(0x00, 0x28, 0x99, last), last);
    }
};

TEST_F(PatternChipTest, RedOnA1920WideWindowWritesControlWordZero)
{
    window0(0, 1920, 1080);
    channels_of_window0({0});
    show_pattern(1);
    EXPECT_EQ(generator_writes(), concat({Expect(0).cleared().out_, red(0, 0)}));
    expect_inside_hold();
    EXPECT_TRUE(mgr_->tlxApi_IsPatternGen());
    EXPECT_EQ(model_->value(c331::PG_CTRL), 0u);
    EXPECT_EQ(model_->value(c331::PG_MODE), 4u);
}

TEST_F(PatternChipTest, RedOnA3840WideWindowSetsTheWideBitInEachOfItsChannels)
{
    two_channel_panel();
    window0(2100, 3840, 1000);
    channels_of_window0({0, 1});
    show_pattern(1);
    EXPECT_EQ(generator_writes(),
              concat({Expect(0).cleared().out_, Expect(1).cleared().out_, red(0, 0x8000), red(1, 0x8000)}));
    expect_inside_hold();
    EXPECT_EQ(model_->value(c331::PG_CTRL, 0x10), 0x8000u);
    EXPECT_EQ(model_->value(c331::PG_RED, 0x10), 255u);
    EXPECT_TRUE(writes_to(0x28, 0x57).empty());   // channels outside the window keep the picture
}

TEST_F(PatternChipTest, NarrowWindowAcrossTwoChannelsAndTheNumberWrap)
{
    two_channel_panel();
    window0(3200, 1920, 1000);
    channels_of_window0({0, 1});
    show_pattern(21);   // 21 shows the same as 1
    EXPECT_EQ(generator_writes(), concat({Expect(0).cleared().out_, Expect(1).cleared().out_, red(0, 0), red(1, 0)}));
}

TEST_F(PatternChipTest, LinePatternsAndPatternOff)
{
    window0(0, 1920, 1080);
    show_pattern(7);   // vertical line: mode, 0x5F, then the narrow control word 14
    EXPECT_EQ(generator_writes(), concat({Expect(0).cleared().out_, Expect(0)
                                                                         .b(0x57, 14)
                                                                         .w(0x5F, 1)
                                                                         .w(0x5B, 14)
                                                                         .b(0x63, 255).b(0x64, 255).b(0x65, 255)
                                                                         .b(0x66, 3).b(0x67, 3).b(0x68, 3)
                                                                         .out_}));
    show_pattern(0);
    EXPECT_EQ(generator_writes(), Expect(0).cleared().out_);
    EXPECT_FALSE(mgr_->tlxApi_IsPatternGen());
    for (uint8_t r = kGenFirst; r <= kGenLast; ++r)
        EXPECT_EQ(model_->reg(kGenBank, r), 0) << std::hex << int(r);
}

TEST_F(PatternChipTest, EmptyRowClearsYetCountsAsOn)
{
    window0(0, 1920, 1080);
    show_pattern(9);
    EXPECT_EQ(generator_writes(), Expect(0).cleared().out_);
    EXPECT_TRUE(mgr_->tlxApi_IsPatternGen());
}

TEST_F(PatternChipTest, TwoWindowsListedWriteNothing)
{
    window0(0, 1920, 1080);
    show_pattern(4);
    ASSERT_TRUE(mgr_->tlxApi_IsPatternGen());
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_window_addr(1, WIN_ENABLE), 1); });
    ASSERT_EQ(mgr_->gMwin.wincnt, 2);

    for (uint8_t number : {0, 1}) {
        show_pattern(number);
        EXPECT_TRUE(generator_writes().empty()) << int(number);
        EXPECT_EQ(model_->reg(kGenBank, 0x63), 255);   // white stays on
        EXPECT_TRUE(mgr_->tlxApi_IsPatternGen());       // the refused 0 keeps the flag
        EXPECT_EQ(codes_.back(), 1);                     // the pass itself still completes
    }
}

}  // namespace
