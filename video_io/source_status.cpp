#include "video_io/source_status.h"

#include <QMutexLocker>

#include "core/TlxRamPara.h"
#include "core/c331_shared.h"

namespace source_status {

bool bits(int byte, uint8_t mask)
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || byte < 0 || byte >= STATUS_PAGE_SIZE)
        return false;
    QMutexLocker lk(&c331_shared::c331_lock);
    return (s->status_page[byte] & mask) == mask;
}

void set_bits(int byte, uint8_t mask, bool on)
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || byte < 0 || byte >= STATUS_PAGE_SIZE)
        return;
    const uint8_t want = on ? mask : 0;
    QMutexLocker lk(&c331_shared::c331_lock);  // remote register writes reach these bytes too
    if ((s->status_page[byte] & mask) != want)
        s->status_page[byte] = uint8_t((s->status_page[byte] & ~mask) | want);
}

void publish_timing(int src, uint16_t width, uint16_t height, uint16_t refresh)
{
    TlxRamPara* s = TlxRamPara::p_tlxrampara_config;
    if (!s || src < 0 || src >= 6)
        return;
    const uint32_t a = ram_input_timing_addr(src);
    const uint16_t v[3] = {width, height, refresh};
    bool changed = false;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        pthread_mutex_lock(&s->ram_mutex);
        for (int i = 0; i < 3; ++i) {
            uint8_t* p = s->ram_image + a + 2 * i;
            if ((p[0] | p[1] << 8) != v[i]) {
                ram_wr16(p, 0, v[i]);  // one word: the FPGA thread and the panel read it without the lock
                changed = true;
            }
        }
        pthread_mutex_unlock(&s->ram_mutex);
    }
    if (changed)
        s->test_signal(1);
}

}  // namespace source_status
