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

// The clear that opens every pattern change: the generator of all eight output channels.
std::vector<ByteWrite> cleared_all()
{
    std::vector<ByteWrite> v;
    for (uint8_t c = 0; c < 8; ++c) {
        const auto one = Expect(c).cleared().out_;
        v.insert(v.end(), one.begin(), one.end());
    }
    return v;
}

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
    EXPECT_EQ(generator_writes(), concat({cleared_all(), red(0, 0)}));
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
    EXPECT_EQ(generator_writes(), concat({cleared_all(), red(0, 0x8000), red(1, 0x8000)}));
    expect_inside_hold();
    EXPECT_EQ(model_->value(c331::PG_CTRL, 0x10), 0x8000u);
    EXPECT_EQ(model_->value(c331::PG_RED, 0x10), 255u);
    EXPECT_EQ(writes_to(0x28, 0x57), std::vector<uint8_t>{0});   // channels outside the window keep the picture
}

TEST_F(PatternChipTest, NarrowWindowAcrossTwoChannelsAndTheNumberWrap)
{
    two_channel_panel();
    window0(3200, 1920, 1000);
    channels_of_window0({0, 1});
    show_pattern(21);   // 21 shows the same as 1
    EXPECT_EQ(generator_writes(), concat({cleared_all(), red(0, 0), red(1, 0)}));
}

TEST_F(PatternChipTest, LinePatternsAndPatternOff)
{
    window0(0, 1920, 1080);
    show_pattern(7);   // vertical line: mode, 0x5F, then the narrow control word 14
    EXPECT_EQ(generator_writes(), concat({cleared_all(), Expect(0)
                                                                         .b(0x57, 14)
                                                                         .w(0x5F, 1)
                                                                         .w(0x5B, 14)
                                                                         .b(0x63, 255).b(0x64, 255).b(0x65, 255)
                                                                         .b(0x66, 3).b(0x67, 3).b(0x68, 3)
                                                                         .out_}));
    show_pattern(0);
    EXPECT_EQ(generator_writes(), cleared_all());
    EXPECT_FALSE(mgr_->tlxApi_IsPatternGen());
    for (uint8_t r = kGenFirst; r <= kGenLast; ++r)
        EXPECT_EQ(model_->reg(kGenBank, r), 0) << std::hex << int(r);
}

TEST_F(PatternChipTest, EmptyRowClearsYetCountsAsOn)
{
    window0(0, 1920, 1080);
    show_pattern(9);
    EXPECT_EQ(generator_writes(), cleared_all());
    EXPECT_TRUE(mgr_->tlxApi_IsPatternGen());
}

// A pattern is refused while more than one window is listed, as a start on that image refuses
// it: one on goes when a second window is listed (and the inputs are followed again), and the
// pattern the image holds is drawn when one window is left. Off is always taken.
TEST_F(PatternChipTest, TurningOffAlwaysSucceedsAndTheInputsAreFollowedAgain)
{
    window0(0, 1920, 1080);
    show_pattern(4);
    ASSERT_TRUE(mgr_->tlxApi_IsPatternGen());
    mgr_->c331managerdeal(mgr_);
    publish(5, row_1080p60());   // source 5: port 4, window 1's
    model_->clear_writes();
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_window_addr(1, WIN_ENABLE), 1); });
    ASSERT_EQ(mgr_->gMwin.wincnt, 2);
    EXPECT_EQ(generator_writes(), cleared_all());
    EXPECT_FALSE(mgr_->tlxApi_IsPatternGen());
    for (int i = 0; i < 5 && mgr_->PI_STATE[4] == 0; ++i)
        mgr_->c331managerdeal(mgr_);
    EXPECT_EQ(mgr_->PI_STATE[4], 4u);

    // Another pattern is refused while two windows are listed: nothing is written.
    show_pattern(1);
    EXPECT_TRUE(generator_writes().empty());
    EXPECT_FALSE(mgr_->tlxApi_IsPatternGen());
    EXPECT_EQ(codes_.back(), 1);   // the pass itself still completes

    // Window 1 disabled: the pattern the image holds is drawn.
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_window_addr(1, WIN_ENABLE), 0); });
    EXPECT_TRUE(mgr_->tlxApi_IsPatternGen());
    EXPECT_EQ(model_->reg(kGenBank, 0x63), 255);

    // Off is always taken: every generator cleared.
    show_pattern(0);
    EXPECT_EQ(generator_writes(), cleared_all());
    EXPECT_FALSE(mgr_->tlxApi_IsPatternGen());
    show_pattern(2);
    EXPECT_TRUE(mgr_->tlxApi_IsPatternGen());
    EXPECT_EQ(model_->reg(kGenBank, 0x64), 255);
}

TEST_F(PatternChipTest, ChannelThatLeftWindow0DropsThePattern)
{
    edit_and_pass([](uint8_t* m) {
        ram_wr16(m, ram_led_width, 7680);
        ram_wr16(m, ram_led_height, 2160);
        ram_wr16(m, ram_output_rect + 4, 7680);
        ram_wr16(m, ram_output_rect + 6, 2160);
    });
    const uint8_t ch1 = kGenBank + 0x10;
    for (uint8_t next : {0, 1}) {
        window0(0, 7680, 2160);
        channels_of_window0({0, 1});
        show_pattern(4);   // white in both channels
        ASSERT_EQ(model_->reg(ch1, 0x63), 255);
        window0(0, 3000, 2000);
        channels_of_window0({0});
        // Off, or another pattern drawn in window 0's one channel: channel 1 shows no pattern.
        show_pattern(next);
        for (uint8_t r = kGenFirst; r <= kGenLast; ++r)
            EXPECT_EQ(model_->reg(ch1, r), 0) << int(next) << " reg " << std::hex << int(r);
        EXPECT_EQ(model_->reg(kGenBank, 0x63), next == 1 ? 255 : 0);
        EXPECT_EQ(model_->reg(kGenBank, 0x64), 0);
        show_pattern(0);
    }
}

// The pattern follows window 0 through every re-layout: resized past 2048 it takes the wide
// control word, moved to another channel it leaves the one it had, and an LED size change
// draws it on the window's channels of the new panel, as a pattern turned on afterwards would.
TEST_F(PatternChipTest, PatternFollowsWindow0ThroughARelayout)
{
    const uint8_t ch1 = kGenBank + 0x10;
    two_channel_panel();
    window0(0, 1920, 1000);
    channels_of_window0({0});
    show_pattern(1);
    ASSERT_EQ(model_->value(c331::PG_CTRL), 0u);

    window0(2100, 3840, 1000);
    channels_of_window0({0, 1});
    for (uint32_t ch : {0u, 0x10u}) {
        EXPECT_EQ(model_->value(c331::PG_CTRL, ch), 0x8000u) << ch;
        EXPECT_EQ(model_->value(c331::PG_MODE, ch), 4u) << ch;
        EXPECT_EQ(model_->value(c331::PG_RED, ch), 255u) << ch;
    }

    window0(4300, 1920, 1000);
    channels_of_window0({1});
    EXPECT_EQ(model_->value(c331::PG_CTRL, 0x10), 0u);
    EXPECT_EQ(model_->reg(ch1, 0x63), 255);
    for (uint8_t r = kGenFirst; r <= kGenLast; ++r)
        EXPECT_EQ(model_->reg(kGenBank, r), 0) << "channel 0 left by the window, reg " << std::hex << int(r);

    model_->clear_writes();
    edit_and_pass([](uint8_t* m) {
        ram_wr16(m, ram_led_width, 3840);
        ram_wr16(m, ram_led_height, 2160);
        ram_wr16(m, ram_output_rect + 4, 3840);
        ram_wr16(m, ram_output_rect + 6, 2160);
        ram_wr16(m, ram_window_addr(0, WIN_X), 0);
    });
    channels_of_window0({0});
    EXPECT_EQ(generator_writes(), concat({cleared_all(), red(0, 0)}));
    EXPECT_TRUE(mgr_->tlxApi_IsPatternGen());

    // Nothing moved: nothing drawn again.
    model_->clear_writes();
    edit_and_pass([](uint8_t* m) { ram_wr16(m, ram_brightness, 60); });
    EXPECT_TRUE(generator_writes().empty());
}

// The start colour may end while a pattern holds the input following and a panel change has
// marked every port's measurement unknown: window 0's channel then takes the background the
// window's programming gives it (its port has a picture: none), not a no-signal background
// that only the next input check, held off by the pattern, would clear. Turned off, the
// pattern leaves the picture as the input following programs it.
TEST_F(PatternChipTest, StartColourEndsUnderAPatternAsTheWindowProgrammingHasIt)
{
    g_force_bkcolor = 1;
    for (int s = 0; s < kSourceCount; ++s)
        publish(s, row_1080p60());
    window0(0, 1920, 1080);
    for (int i = 0; i < 5; ++i)
        mgr_->c331managerdeal(mgr_);
    const uint32_t port = mgr_->PM_INPUT[0];
    ASSERT_LT(port, 6u);
    ASSERT_NE(mgr_->PI_STATE[port], 0u);
    show_pattern(4);
    edit_and_pass([](uint8_t* m) {
        ram_wr16(m, ram_led_width, 3840);
        ram_wr16(m, ram_output_rect + 4, 3840);
    });
    channels_of_window0({0});
    EXPECT_EQ(model_->value(c331::OCH_FORCE_COLOR_EN), 1u) << "the start colour";

    g_force_bkcolor = 0;   // the FPGA thread has started the outputs
    edit_and_pass([](uint8_t*) {});
    EXPECT_EQ(g_force_bkcolor, 2);
    EXPECT_EQ(model_->value(c331::OCH_FORCE_COLOR), 0u);
    EXPECT_EQ(model_->value(c331::OCH_FORCE_COLOR_EN), 0u);

    show_pattern(0);
    for (int i = 0; i < 5; ++i)
        mgr_->c331managerdeal(mgr_);
    EXPECT_EQ(model_->value(c331::OCH_FORCE_COLOR_EN), 0u);
    g_force_bkcolor = 1;
}

}  // namespace
