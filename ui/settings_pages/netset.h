#pragma once
// LED output ports (id 14): the 16 output ports four at a time, each with its link state, and
// for the selected port the picture area it sends (X, Y, W, H). F4/F5 scroll without wrapping
// and read the values and links again; nothing is changed. Until the FPGA runs the page holds
// no values of the wall yet: the fields show dashes, the tiles no link icon, and a line says so.
// The page follows the device: the panel tick and the refresh after an image change read the
// run state, the links and the selected port's area again and redraw what changed.
#include "ui/settings_pages/fpga_link.h"
#include "ui/shell/PageFrame.h"

namespace Ui {
class netset;
}

class netset : public PageFrame {
    Q_OBJECT
public:
    static constexpr int kPorts = 16;
    static constexpr int kTiles = 4;

    explicit netset(QWidget* parent = nullptr);
    ~netset() override;

    void menulist_init() override;
    void language_changed() override;
    void syncUpdate() override;
    void follow_device() override;

    void initMenu();
    void wlan_para_get(unsigned short port);
    void initWlan();
    int selected_port() const { return ui_select; }
    int first_port() const { return ui_min_select; }

protected:
    bool page_key(int key) override;

private:
    // What the page shows of the device.
    struct Shown {
        bool ready = false;  // fpga_link::chip_ready()
        u16 links = 0;
        fpga_link::PortArea area;
    };
    void show_selection();
    void show_area();
    void show_links();
    void show_ready();

    Ui::netset* ui;
    u8 ui_sel = 0;
    u8 ui_min_select = 0;
    Shown shown_;
};
