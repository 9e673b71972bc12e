// The input-source supervision object and its thread: the reset cycle of the receiver
// groups, then one polling pass after another.
#include "video_io/zeltasource.h"

#include <QMutexLocker>
#include <cstring>

#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/log.h"
#include "core/requests.h"
#include "core/utils.h"
#include "platform/board.h"
#include "platform/thread_name.h"
#include "video_io/Drv_I2C0.h"
#include "video_io/edid_images.h"
#include "video_io/it66121.h"
#include "video_io/ite6805_sys.h"
#include "video_io/soc_pads.h"
#include "video_io/source_status.h"
#include "video_io/zelta_it6602.h"

zeltasource* zeltasource::p_zelta_source = nullptr;
constexpr uint8_t zeltasource::kChannel[kSourceCount];

namespace {
constexpr uint32_t kResetHoldTicks = 100;     // receivers held in reset
constexpr uint32_t kResetSettleTicks = 500;   // after the release, before the EEPROM check
constexpr uint64_t kTickUs = 10000;           // one tick of G_timeTicks
constexpr uint32_t kMaxWaitTicks = 10;        // a reset-cycle sleep, so that a stop is seen soon
constexpr uint64_t kMinPassUs = 10000;        // a polling pass never lasts less
// After each receiver's step: six receivers make a pass of about 60 ms, the period every
// receiver state machine counts its steps in (sync watches, equaliser searches, waits).
constexpr uint32_t kReceiverPauseMs = 10;

void pad(uint32_t offset, uint16_t value) { platform::board().soc_window().write16(offset, value); }

}  // namespace

zeltasource::zeltasource()
{
    writeLogMsg(LOG_INFO, "====zeltasource::zeltasource()=====");
    it6602 = new zelta_it6602;
    ite6805 = new ite6805_sys;
    // An IT6805 step measuring a new input sleeps over two seconds: EDID requests are served
    // inside it, so a restart waiting for them need not wait that long.
    ite6805->drv->between_waits = [this] { serve_edid_requests(); };
    it66121 = new it66121_sys;
    i2c = new Drv_I2C0;
    Drv_I2C0::p_drv_i2c0 = i2c;
    scaler_req::audio_select_request = 1;  // the selector is set on the first polling pass
    for (int r = 0; r < 4; ++r)
        edid::default_image(r, zelta_default_edid_6602[r]);
    for (int r = 4; r < 6; ++r)
        edid::default_image(r, zelta_default_edid_6805[r - 4]);
}

zeltasource::~zeltasource()
{
    stop_thread = true;
    if (thread_running_)
        pthread_join(thread, nullptr);
    if (Drv_I2C0::p_drv_i2c0 == i2c)
        Drv_I2C0::p_drv_i2c0 = nullptr;
    delete it6602;
    delete ite6805;
    delete it66121;
    delete i2c;
}

zeltasource* zeltasource::pInstance()
{
    if (!p_zelta_source)
        p_zelta_source = new zeltasource;
    return p_zelta_source;
}

int zeltasource::open_bus()
{
    fd = i2c->initialize();
    it6602->fd = fd;
    ite6805->fd = fd;
    it66121->io.fd = fd;
    return fd;
}

int zeltasource::initialize()
{
    open_bus();
    // g_check_source is read with the network settings, which a board without Ethernet
    // skips: its 0 would leave every input unsupervised, so the item itself is taken.
    const QVariant item = ConfigEngine::read_config_variant(ConfigItem::SourceCheck);
    port_mask = item.isValid() ? uint32_t(item.toString().toInt() & 0xFF) : g_check_source.load();
    if (pthread_create(&thread, nullptr, &zeltasource::checksourceThread, this) != 0) {
        writeLogMsg(LOG_ERROR, "create check source thread failed");
        return 255;
    }
    thread_running_ = true;
    return 0;
}

void* zeltasource::checksourceThread(void* arg)
{
    platform::name_this_thread("input-watch");
    auto* self = static_cast<zeltasource*>(arg);
    while (self && !self->stop_thread)
        self->thread_pass();
    return nullptr;
}

// ---- state machine ---------------------------------------------------------------------------

void zeltasource::set_state(uint8_t s)
{
    QMutexLocker lk(&Utils::_source_init_mutex);
    source_state = s;
    state_tick = G_timeTicks.load();
}

uint8_t zeltasource::state()
{
    QMutexLocker lk(&Utils::_source_init_mutex);
    return source_state;
}

bool zeltasource::tick_elapsed(uint32_t ticks)
{
    uint32_t since;
    {
        QMutexLocker lk(&Utils::_source_init_mutex);
        since = state_tick;
    }
    return Utils::getTimeSpace(since) > ticks;
}

// A waiting state: moves on to `next` once `ticks` have passed since it began, else sleeps
// towards that moment.
void zeltasource::next_state_after(uint32_t ticks, uint8_t next)
{
    if (tick_elapsed(ticks))
        set_state(next);
    else
        sleep_until_elapsed(ticks);
}

// The reset-cycle waits: nothing else happens on this thread meanwhile, so it sleeps until
// the wait should be over (at most kMaxWaitTicks at a time) rather than looking at the tick
// counter every tick. A GUI tick that lags real time only means one more, shorter, sleep.
void zeltasource::sleep_until_elapsed(uint32_t ticks)
{
    uint32_t since;
    {
        QMutexLocker lk(&Utils::_source_init_mutex);
        since = state_tick;
    }
    const uint32_t passed = Utils::getTimeSpace(since);
    const uint32_t left = passed <= ticks ? ticks - passed + 1 : 1;
    platform::sleep_us(uint64_t(left < kMaxWaitTicks ? left : kMaxWaitTicks) * kTickUs);
}

void zeltasource::thread_pass()
{
    switch (state()) {
    case 0:
        reset_groups();
        set_state(1);
        platform::sleep_ms(1);
        break;
    case 1:
        serve_edid_requests();
        next_state_after(kResetHoldTicks, 2);
        break;
    case 2:
        release_groups();
        break;
    case 3:
        serve_edid_requests();
        next_state_after(kResetSettleTicks, 4);
        break;
    case 4:
        edid_check();
        break;
    default: {
        const uint64_t start = platform::clock().now_us();
        polling_pass();
        const uint64_t took = platform::clock().now_us() - start;
        if (took < kMinPassUs)
            platform::sleep_us(kMinPassUs - took);
        break;
    }
    }
}

// State 0: hold every group that has a receiver asking for a reset.
void zeltasource::reset_groups()
{
    bool g6602, g6805;
    {
        QMutexLocker lk(&Utils::_source_init_mutex);
        g6602 = reset_request[0] || reset_request[1] || reset_request[2] || reset_request[3];
        g6805 = reset_request[4] || reset_request[5];
    }
    if (g6602)
        pad(pads::PAD_RX6602_RST, pads::kLow);
    if (g6805) {
        pad(pads::PAD_RX6805_RST, pads::kLow);
        ite6805->ite6805_sys_reset_init();
    }
}

// State 2: release the same groups, forget the requests.
void zeltasource::release_groups()
{
    QMutexLocker lk(&Utils::_source_init_mutex);
    if (reset_request[0] || reset_request[1] || reset_request[2] || reset_request[3]) {
        pad(pads::PAD_RX6602_RST, pads::kHigh);
        std::memset(it6602_stage, 0, sizeof it6602_stage);  // the chips lost their set-up
    }
    if (reset_request[4] || reset_request[5])
        pad(pads::PAD_RX6805_RST, pads::kHigh);
    std::memset(reset_request, 0, sizeof reset_request);
    source_state = 3;
    state_tick = G_timeTicks.load();
}

// ---- polling pass ----------------------------------------------------------------------------

bool zeltasource::select(uint8_t sw, uint8_t channels)
{
    return i2c->i2c_write(fd, sw, 0x00, &channels, 1) == 1;
}

void zeltasource::polling_pass()
{
    const bool clock_path = select(kEepromSwitch, kClockGenChannel);
    source_status::set_bits(STATUS_EDID, 0x20, clock_path);
    if (clock_path && !clock_done[0]) {
        platform::sleep_us(100);
        s5p210_setup(0);
    }
    custom_edid_writes();
    pad(pads::PAD_EDID_WP, pads::kHigh);
    serve_hotplug_byte2();
    select_audio();
    sdi_reset_pulse();
    sourcecheck();
}

// Custom EDIDs asked for, written between the steps that may take long (the reset cycle's
// waits, a receiver's step), with the EEPROMs write-protected again after.
void zeltasource::serve_edid_requests()
{
    if (custom_edid_writes())
        pad(pads::PAD_EDID_WP, pads::kHigh);
}

void zeltasource::sourcecheck()
{
    for (int r = 0; r < kSourceCount; ++r) {
        if (!(port_mask & kChannel[r]))
            continue;
        source_status::set_bits(STATUS_EDID, 0x20, select(kRxSwitch, kChannel[r]));
        restart_receiver(r);
        if (serve_hotplug_byte1())
            select(kRxSwitch, kChannel[r]);  // the IT6805 channels were selected meanwhile
        step_receiver(r);
        platform::sleep_ms(kReceiverPauseMs);
        // A receiver's step may take seconds (an IT6805 measuring a new input): an EDID asked
        // for meanwhile is written now, not a whole pass later, so a restart need not wait long.
        serve_edid_requests();
    }
    if (it66121->chip_test_failures < it66121_sys::kMaxTestFailures)
        it66121_sdi_enable();
}

// A written custom EDID is served once the source reads it again: restart the receiver.
void zeltasource::restart_receiver(int r)
{
    if (!scaler_req::take_served_edid(r))
        return;
    if (r >= 4) {
        ite6805_hpd(r - 4, 0);
        ite6805->restart(uint8_t(r - 4));
    } else {
        it6602_stage[r] = 0;
    }
}

void zeltasource::step_receiver(int r)
{
    if (r >= 4) {
        ite6805->iTE6805_FSM(uint8_t(r - 4));
        return;
    }
    switch (it6602_stage[r]) {
    case 0:
        if (it6602->IT6602_fsm_init(fd, r))
            it6602_stage[r] = 1;
        break;
    case 1:
        it6602->IT6602_fsm_init_1(fd, r);
        it6602_stage[r] = 2;
        break;
    default:
        it6602->IT6602_fsm(fd, r);
        break;
    }
}
