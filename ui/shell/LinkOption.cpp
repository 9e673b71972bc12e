// The communication submenu: serial information and Ethernet address. Rows are data; a row is
// shown only while a page it leads to is built into the device (its opener is registered).
#include "ui/shell/LinkOption.h"

#include "ui/shell/page_open.h"
#include "ui_LinkOption.h"

namespace {
const Text4 kLinkTitle{"通讯设置", "Communication", "Связь", "Kết nối"};
}  // namespace

const std::vector<PageFocusId> LinkOption::kPages{PAGE_LINKCOM, PAGE_LINKWLAN};

LinkOption::LinkOption(QWidget* parent) : MenuPage("LinkOption", PAGE_LINKOPTION), ui(new Ui::LinkOption)
{
    (void)parent;
    setup_menu(ui, {
        {"Button_linkcom", {"串口信息", "Serial port", "Последовательный порт", "Cổng nối tiếp"}, nullptr,
         [this] { on_Button_linkcom_clicked(); }, {PAGE_LINKCOM}},
        {"Button_linkwlan", {"网络地址", "Ethernet address", "Адрес Ethernet", "Địa chỉ Ethernet"}, nullptr,
         [this] { on_Button_linkwlan_clicked(); }, {PAGE_LINKWLAN}},
    });
}
LinkOption::~LinkOption() { delete ui; }
void LinkOption::language_changed()
{
    translate_frame(ui->label_title, kLinkTitle, ui->label_note_ok_text, ui->label_note_back_text);
    translate_rows();
}
void LinkOption::on_Button_linkcom_clicked() { open_registered(PAGE_LINKCOM, this); }
void LinkOption::on_Button_linkwlan_clicked() { open_registered(PAGE_LINKWLAN, this); }
