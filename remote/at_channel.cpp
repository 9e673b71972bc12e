#include "remote/at_channel.h"

#include <QMutexLocker>
#include <algorithm>
#include <cstring>
#include <functional>

#include "core/ConfigEngine.h"
#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/fpga_wake.h"
#include "core/log.h"
#include "core/pending_writes.h"
#include "remote/K57_WIFI_CONFIG.h"

namespace remote {
namespace {

const std::string kOk = "OK\r\n";
const std::string kError = "ERROR\r\n";
// How long a command that changes a setting waits for the parameter file (the apply pass,
// then the panel thread's write): a reboot waits as long for the same writes.
constexpr uint32_t kStoreWaitMs = pending_writes::kBoundMs;

std::string strip(const std::string& s)
{
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == '\r' || s[end - 1] == '\n' || s[end - 1] == '\0'))
        --end;
    return s.substr(0, end);
}

// Makes a change of the image under the scaler's lock and asks for the apply, as a
// front-panel edit does, then waits for the parameter file to take it: true only once it
// holds the change. A store that fails (or does not come within the bound) is logged, unless
// the file already holds what was asked (`held` on the file's image, the shadow): another
// change the file cannot take does not make this one unstored.
bool change_and_store(const char* what, const std::function<void(u8*)>& write,
                      const std::function<bool(const u8*)>& held)
{
    TlxRamPara* s = TlxRamPara::published();  // this thread starts before the store
    if (!s)
        return false;
    uint32_t ticket;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        write(s->ram_image);
        c331_raise_change_locked(1);
        ticket = SyncUpdate::store_ticket_locked();
    }
    const SyncUpdate::StoreResult r = SyncUpdate::wait_for_store(ticket, kStoreWaitMs);
    if (r == SyncUpdate::StoreResult::Kept)
        return true;
    {
        QMutexLocker lk(&c331_shared::c331_lock);
        if (held(s->ram_shadow))
            return true;
    }
    writeLogMsg(LOG_WARNING, std::string("AT channel: ") + what + " applied but " +
                                 (r == SyncUpdate::StoreResult::Failed ? "not stored (the parameter file failed)"
                                                                        : "not stored within the wait") +
                                 ": answered ERROR");
    return false;
}

bool set_wifi_disabled(u8 disabled)
{
    return change_and_store(disabled ? "WiFi off" : "WiFi on", [disabled](u8* image) {
        // One word: the panel reads the switch without c331_lock.
        const u16 word = ram_rd16(image, ram_wifi_disabled);
        ram_wr16(image, ram_wifi_disabled, u16((word & 0xFF00) | disabled));
    }, [disabled](const u8* file_image) { return file_image[ram_wifi_disabled] == disabled; });
}

bool restore_factory()
{
    return change_and_store("factory parameters", [](u8* image) {
        // Field by field as remote writes do: the panel and the FPGA thread read without the lock.
        ram_copy_in(image, RAM_VOLATILE_END, ConfigEngine::default_para_ramlist + PARA_FILE_IMAGE_OFFSET,
                    RAM_PERSIST_LEN);
    }, [](const u8* file_image) {
        return std::memcmp(file_image + RAM_VOLATILE_END,
                           ConfigEngine::default_para_ramlist + PARA_FILE_IMAGE_OFFSET, RAM_PERSIST_LEN) == 0;
    });
}

std::string check_data()
{
    TlxRamPara* s = TlxRamPara::published();  // this thread starts before the store
    bool wifi_on = false;
    if (s) {
        QMutexLocker lk(&c331_shared::c331_lock);  // the switch is written under it
        wifi_on = s->ram_image[ram_wifi_disabled] == 0;
    }
    QString ip;
    {
        QMutexLocker lk(&g_config_text_mutex());
        ip = g_str_ip;
    }
    return "+CHECKDATA:" + std::string(g_pid, strnlen(g_pid, 32)) + "," + ip.toStdString() + "," +
           std::to_string(g_port.load()) + "," + (wifi_on ? "1" : "0") + "\r\n" + kOk;
}

}  // namespace

std::string at_reply(const std::string& request)
{
    // Only a request is answered: a reply of this or another device ("OK", "ERROR", "+VER:")
    // or an echoing service's datagram answered would be answered back for ever.
    if (request.compare(0, 2, "AT") != 0)
        return std::string();
    const std::string cmd = strip(request);
    if (cmd == "AT+GETVER")
        return "+VER:" + std::string(g_app_version) + "\r\n" + kOk;
    if (cmd == "AT+CHECKDATA")
        return check_data();
    if (cmd == "AT+SETDATA=1")
        return set_wifi_disabled(0) ? kOk : kError;
    if (cmd == "AT+SETDATA=2")
        return set_wifi_disabled(1) ? kOk : kError;
    if (cmd == "AT+SETDATA=3") {
        K57_WIFI_CONFIG::set_wifi_reset_flag();
        return kOk;
    }
    if (cmd == "AT+RST") {
        writeLogMsg(LOG_WARNING, "AT channel: device restart requested");
        G_reboot_tickTicks = request_tick();
        g_app_reset_flag = 1;
        return kOk;
    }
    if (cmd == "AT+RESTORE") {
        if (!restore_factory())
            return kError;
        writeLogRecord(LOG_WARNING, "AT channel: factory parameters restored");
        return kOk;
    }
    return kError;
}

}  // namespace remote
