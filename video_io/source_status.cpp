#include "video_io/source_status.h"

#include <QMutexLocker>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"

// The supervision thread is the one writer of these bits and records, so it may compare
// without a lock; the lock is taken only to change them. That keeps the thread off c331_lock
// on the usual pass, while the apply pass may hold it for long (the LED-size hand-over).
namespace source_status {
namespace {
uint8_t load(const uint8_t& b) { return ram_rd8(b); }
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

}  // namespace source_status
