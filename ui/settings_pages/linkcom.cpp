#include "linkcom.h"

#include "ui/shell/lang.h"
#include "ui_linkcom.h"

linkcom::linkcom(QWidget* parent) : PageFrame("linkcom", PAGE_LINKCOM), ui(new Ui::linkcom)
{
    (void)parent;
    ui->setupUi(this);
    finish_construction();  // no rows: F4, F5 and F6 only log
}

linkcom::~linkcom() { delete ui; }

void linkcom::language_changed()
{
    ui->label_com->setText(tr4({"串口连接", "Serial port", "COM-порт", "Cài đặt cổng nối tiếp"}));
    ui->label_baud->setText(tr4({"波特率", "Baud rate", "Скорость передачи", "Tốc độ truyền"}));
    ui->label_bit->setText(tr4({"数据位", "Data bits", "Биты данных", "Bit dữ liệ"}));
    ui->label_stop->setText(tr4({"停止位", "Stop bit", "Бит остановки", "Dừng bit"}));
}
