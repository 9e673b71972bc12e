// Sharpness on the simulated chip: whatever the order of the changes (sharpness, windows
// enabled and resized, inputs classified, the start itself), each listed window's channels
// end with the filter of the sharpness in the image and of the window's own scaling ratio.
#include "core/ram_map.h"
#include "core/requests.h"
#include "scaler/c331_regs.h"
#include "scaler_fixture.h"

namespace {

constexpr uint32_t kEnlargedSet[5] = {36, 43, 58, 4, 5};   // horizontal ratio above 2.5
constexpr uint32_t kUnscaledSet[5] = {44, 49, 56, 63, 2};  // ratio up to 1.25

class SharpnessChipTest : public ScalerFixture {
protected:
    void SetUp() override
    {
        ScalerFixture::SetUp();
        g_set_led_para = 0;
    }
    void TearDown() override
    {
        g_force_bkcolor = 1;
        ScalerFixture::TearDown();
    }

    // Runs passes until the window's port is classified (bounded).
    void follow_inputs(int win)
    {
        for (int i = 0; i < 10 && !classified(win); ++i)
            mgr_->c331managerdeal(mgr_);
        ASSERT_TRUE(classified(win)) << win;
    }
    bool classified(int win) const
    {
        const uint32_t p = mgr_->PM_INPUT[win];
        return p < 6 && mgr_->PI_STATE[p] != 0;
    }
    void window(int w, uint16_t x, uint16_t width, uint16_t height)
    {
        edit_and_pass([&](uint8_t* m) {
            ram_wr16(m, ram_window_addr(w, WIN_ENABLE), 1);
            ram_wr16(m, ram_window_addr(w, WIN_X), x);
            ram_wr16(m, ram_window_addr(w, WIN_WIDTH), width);
            ram_wr16(m, ram_window_addr(w, WIN_HEIGHT), height);
        });
    }
    void sharpness(uint16_t v)
    {
        edit_and_pass([&](uint8_t* m) { ram_wr16(m, ram_sharpness, v); });
    }
    // The output channels of list position n.
    std::vector<int> channels(int n) const
    {
        const ST_WIN_INFO& wi = mgr_->pwinfo[n];
        return std::vector<int>(wi.ochLst, wi.ochLst + challoc::used_channels(wi));
    }
    // Horizontal filter enable and gain in every channel of list position n.
    void expect_sharpened(int n, uint32_t enable, uint32_t gain)
    {
        ASSERT_FALSE(channels(n).empty()) << n;
        for (int c : channels(n)) {
            EXPECT_EQ(chip(c331::SHP_H_EN, c), enable) << "window " << n << " channel " << c;
            EXPECT_EQ(chip(c331::SHP_H_GAIN, c), gain) << "window " << n << " channel " << c;
        }
    }
    void expect_h_set(int n, const uint32_t (&set)[5])
    {
        for (int c : channels(n))
            for (int k = 0; k < 5; ++k)
                EXPECT_EQ(chip(c331::SHP_H_COEF0 + 0x100 * k, c), set[k]) << "channel " << c << " c" << k;
    }
};

// Level 50 (sharpness 60): enable 6, the one-byte gain saturated at 255.
constexpr uint32_t kGain60 = 255;

TEST_F(SharpnessChipTest, TurningItOffReachesEveryWindow)
{
    bring_up();
    two_channel_panel();
    publish(4, row_1080p60());   // window 0's source
    publish(5, row_1080p60());   // window 1's source
    window(0, 0, 4200, 1000);
    window(1, 4200, 4200, 1000);
    follow_inputs(0);
    follow_inputs(1);
    ASSERT_NE(channels(0), channels(1));

    sharpness(60);
    expect_sharpened(0, 6, kGain60);
    expect_sharpened(1, 6, kGain60);
    sharpness(10);
    expect_sharpened(0, 0, 0);
    expect_sharpened(1, 0, 0);
}

TEST_F(SharpnessChipTest, SetBeforeAWindowIsEnabledReachesIt)
{
    bring_up();
    two_channel_panel();
    publish(4, row_1080p60());
    publish(5, row_1080p60());
    window(0, 0, 4200, 1000);
    follow_inputs(0);
    sharpness(60);
    expect_sharpened(0, 6, kGain60);

    window(1, 4200, 4200, 1000);
    follow_inputs(1);
    mgr_->c331managerdeal(mgr_);
    expect_sharpened(1, 6, kGain60);
}

TEST_F(SharpnessChipTest, ResizeTakesTheNewRatiosCoefficients)
{
    bring_up();
    two_channel_panel();
    publish(4, row_1080p60());   // 1920 wide, window 0's source (port 5)
    window(0, 0, 1920, 1000);
    follow_inputs(0);
    sharpness(60);
    expect_h_set(0, kUnscaledSet);

    // The re-layout's own pass writes the new ratio's set, even with the input following
    // paused (debug command 254), which would otherwise re-measure the port afterwards.
    mgr_->debug_run_bits |= 0x80000000u;
    window(0, 0, 5760, 1000);   // three times the input's width
    ASSERT_EQ(channels(0).size(), 2u);
    expect_sharpened(0, 6, kGain60);
    expect_h_set(0, kEnlargedSet);
    mgr_->debug_run_bits &= ~0x80000000u;

    window(0, 0, 1920, 1000);
    for (int i = 0; i < 3; ++i)
        mgr_->c331managerdeal(mgr_);
    expect_h_set(0, kUnscaledSet);
}

TEST_F(SharpnessChipTest, SavedValueReachesTheWindowOnceItsPortIsClassified)
{
    set_word(ram_sharpness, 60);
    std::memcpy(shd(), img(), RAM_IMAGE_SIZE);
    bring_up();
    ASSERT_FALSE(classified(0));   // no receiver has reported yet
    publish(4, row_1080p60());
    follow_inputs(0);
    mgr_->c331managerdeal(mgr_);
    expect_sharpened(0, 6, kGain60);
}

}  // namespace
