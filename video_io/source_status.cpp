#include "video_io/source_status.h"

#include <QMutexLocker>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/utils.h"

// The supervision thread is the one writer of these bits and records, so it may compare
// without a lock; the lock is taken only to change them. That keeps the thread off c331_lock
// on the usual pass, while the apply pass may hold it for long (the LED-size hand-over).
namespace source_status {
namespace {
uint8_t load(const uint8_t& b) { return ram_rd8(b); }

// Runs f on the live scaler manager's ports under their lock; false without one.
template <typename F>
bool with_ports(int p, F f)
{
    if (p < 0 || p >= c331_ports::kPorts)
        return false;
    QMutexLocker lk(&Utils::_check_nosig_mutex);
    c331_ports* ports = c331_ports::live.load();
    if (!ports)
        return false;
    f(*ports);
    return true;
}
}  // namespace

bool bits(int byte, uint8_t mask)
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || byte < 0 || byte >= STATUS_PAGE_SIZE)
        return false;
    return (load(s->status_page[byte]) & mask) == mask;
}

void set_bits(int byte, uint8_t mask, bool on)
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || byte < 0 || byte >= STATUS_PAGE_SIZE)
        return;
    const uint8_t want = on ? mask : 0;
    if ((load(s->status_page[byte]) & mask) == want)
        return;
    QMutexLocker lk(&c331_shared::c331_lock);
    // One store: the bits are read without the lock, and remote register writes change the
    // same bytes under it.
    ram_wr8(s->status_page[byte], uint8_t((s->status_page[byte] & ~mask) | want));
}

void publish_timing(int src, uint16_t width, uint16_t height, uint16_t refresh)
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || src < 0 || src >= 6)
        return;
    const uint32_t a = ram_input_timing_addr(src);
    const uint16_t v[3] = {width, height, refresh};
    auto differs = [&] {
        for (int i = 0; i < 3; ++i) {
            const uint8_t* p = s->ram_image + a + 2 * i;
            if ((load(p[0]) | load(p[1]) << 8) != v[i])
                return true;
        }
        return false;
    };
    if (!differs())
        return;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        pthread_mutex_lock(&s->ram_mutex);
        for (int i = 0; i < 3; ++i) {
            ram_wr16(s->ram_image + a + 2 * i, 0, v[i]);  // one word: the FPGA thread and the panel read it without the lock
        }
        pthread_mutex_unlock(&s->ram_mutex);
    }
    s->test_signal(1);
}

// ---- the scaler's input ports ---------------------------------------------------------------

bool port_announce(int p)
{
    return with_ports(p, [p](c331_ports& c) { c.port_status[p] = 129; });
}

bool port_taken_up(int p)
{
    bool up = false;
    return with_ports(p, [&](c331_ports& c) { up = !(c.port_status[p] & 0x01); }) && up;
}

bool port_published(int p)
{
    return with_ports(p, [p](c331_ports& c) { c.port_status[p] &= ~0x80u; });
}

bool port_totals(int p, uint32_t* htt, uint32_t* vtt)
{
    return with_ports(p, [&](c331_ports& c) {
        *htt = c.PI_PORT_INFO[p].htt;
        *vtt = c.PI_PORT_INFO[p].vtt;
    });
}

}  // namespace source_status
