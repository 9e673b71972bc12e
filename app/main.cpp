// Start-up: the components with threads are created in a fixed order before the Qt
// application exists, then the front panel, the 10 ms tick and the road that carries
// parameter changes to the GUI thread; then the event loop runs for the life of the process.
#include <QApplication>

#include "core/globals.h"
#include "platform/board.h"
#include "sim/sim_board.h"
// START-ORDER-INCLUDES (one include per component, in start order)
#include "core/log.h"
#include "remote/udpnetManage.h"
#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/request_hooks.h"
#include "video_io/SiI9022.h"
#include "video_io/zeltasource.h"
#include "video_io/fpga_manage.h"
#include "scaler/c331_manage.h"
#include "ui/shell/lcd_touch.h"
#include "ui/shell/shell_start.h"
#include "ui/shell/agelog.h"
#include "ui/settings_pages/settings_pages.h"
#include "ui/source_pages/source_pages.h"
#include "remote/Qn_uart_inout.h"
#include "remote/networkManage.h"
#include "remote/K57_WIFI_CONFIG.h"
#include "core/SyncUpdate.h"

// The aging log samples FPGA registers 40, 42 and 43 while the FPGA runs.
static void install_age_probe()
{
    g_age_probe.fpga_running = [] {
        fpga_manage* f = fpga_manage::p_fpga_manage;
        return f && f->get_fpga_status() == 1;
    };
    g_age_probe.read_regs = [](int& r40, int& r42, int& r43) {
        fpga_manage* f = fpga_manage::p_fpga_manage;
        if (!f)
            return false;
        f->read_age_registers(r40, r42, r43);
        return true;
    };
}

int main(int argc, char** argv)
{
    sim::register_factory();  // lets K57_BOARD=sim choose the simulated board
    platform::select_board_from_env();

    // START-ORDER-THREADS (steps 1 to 12: one pInstance() line per component, in order)
    devlog::install_platform_hook();  // platform messages reach the device log
    udpnetManage::pInstance();  // 1. UDP 5008 and the AT channel, with the compiled-in defaults
    ConfigEngine::pInstance();  // 2. tcpip.ini, device identifier, parameter file
    // The load keeps a stored splice mode where the scaler cannot show the screen without it.
    TlxRamPara::set_screen_rule(panel::shows);
    TlxRamPara::pInstance();    // 3. parameter image and the 16 user-mode slots
    SiI9022::pInstance();      // 4. HDMI transmitter parameter object
    zeltasource::pInstance();  // 5. input-source supervision object (no thread yet)
    // Register 17 bit 0 reaches the supervision, which the remote side does not link.
    remote::set_hook(remote::Hook::SdiReset, [] { zeltasource::p_zelta_source->sdi_reset_request = 1; });
    fpga_manage::pInstance();  // 6. SPI devices, SoC window, 2 s wait, FPGA thread
    install_age_probe();
    zeltasource::p_zelta_source->initialize();  // 7. source-supervision thread
    c331_manage::pInstance();  // 8. scaler manager and its thread (after fpga_manage maps the SoC window)
    lcd_touch::pInstance();        // 9. knob device (absent on sim)
    Qn_uart_inout::pInstance();    // 10. serial remote port 2
    networkManage::pInstance();    // 11. TCP server on g_port (from tcpip.ini)
    K57_WIFI_CONFIG::pInstance();  // 12. WiFi access point

    QApplication app(argc, argv);  // 13. arguments pass to Qt unchanged

    // START-ORDER-GUI (steps 14 to 17: windows, keypad, 10 ms tick, para_sync connection)
    source_pages_register();  // the source, crop, user-mode, layout and EDID pages' menu rows
    register_settings_pages();  // the settings and maintenance pages' menu rows
    shell_start_gui();  // 14-16. windows, keypad on the right half, 10 ms g_timer (sim: keys, screen grab)
    // 17. parameter changes reach the GUI thread (queued from the worker threads)
    QObject::connect(TlxRamPara::p_tlxrampara_config, &TlxRamPara::sig_update_para,
                     SyncUpdate::pInstance(), &SyncUpdate::para_sync);
    // The remote servers run from step 1: a change the scaler applied before this connection
    // sent its signal to no one. One pass persists it (it does nothing when nothing changed).
    QMetaObject::invokeMethod(SyncUpdate::pInstance(), [] { SyncUpdate::pInstance()->para_sync(1); },
                              Qt::QueuedConnection);

    return app.exec();  // 18.
}
