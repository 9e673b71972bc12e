#include "linkwlan.h"

#include <QDebug>

#include "core/TlxRamPara.h"
#include "core/utils.h"
#include "ui/settings_pages/net_address.h"
#include "ui/shell/My_lineEdit.h"
#include "ui/shell/lang.h"
#include "ui_linkwlan.h"

namespace {
const QString kFieldFocus = "color: rgb(255, 255, 255); background-color: rgb(33, 36, 53);border:1px solid rgb(255,171,84);";
const QString kFieldBase = "color: rgb(255, 255, 255);background-color: rgb(33, 36, 53);border-top:1px solid rgb(255, 255, "
                           "255);border-bottom:1px solid rgb(255, 255, 255);";
// The four fields of an address read as one box: the first has a left border, the last a right one.
const RowSheets kFirst{kFieldBase + "border-left:1px solid rgb(255, 255, 255);", kFieldFocus, ""};
const RowSheets kMiddle{kFieldBase, kFieldFocus, ""};
const RowSheets kLast{kFieldBase + "border-right:1px solid rgb(255, 255, 255);", kFieldFocus, ""};
const RowSheets kButton{"color: rgb(255, 255, 255);border:1px solid rgb(255,255,255);",
                        "color: rgb(255, 255, 255);border:1px solid rgb(255,171,84);", ""};

// Puts parts 0..3 of a dotted text into four fields; a missing part leaves its field empty.
void fill(const QString& dotted, std::initializer_list<QLineEdit*> fields)
{
    const QStringList parts = dotted.split('.');
    int i = 0;
    for (QLineEdit* f : fields) {
        f->setText(i < parts.size() ? parts[i] : QString());
        ++i;
    }
}

QString join(std::initializer_list<QLineEdit*> fields)
{
    QStringList parts;
    for (QLineEdit* f : fields)
        parts << f->text();
    return parts.join('.');
}
}  // namespace

linkwlan::linkwlan(QWidget* parent) : SettingsPage("linkwlan", PAGE_LINKWLAN), ui(new Ui::linkwlan)
{
    (void)parent;
    ui->setupUi(this);
    const NetAddress a = current_net_address();
    fill(a.ip, {ui->lineEditIp1, ui->lineEditIp2, ui->lineEditIp3, ui->lineEditIp4});
    fill(a.mask, {ui->lineEditMask1, ui->lineEditMask2, ui->lineEditMask3, ui->lineEditMask4});
    fill(a.gateway, {ui->lineEditGate1, ui->lineEditGate2, ui->lineEditGate3, ui->lineEditGate4});
    connect_keypad({ui->lineEditIp1, ui->lineEditIp2, ui->lineEditIp3, ui->lineEditIp4, ui->lineEditMask1,
                    ui->lineEditMask2, ui->lineEditMask3, ui->lineEditMask4, ui->lineEditGate1, ui->lineEditGate2,
                    ui->lineEditGate3, ui->lineEditGate4});
    finish_construction();
}

linkwlan::~linkwlan() { delete ui; }

void linkwlan::menulist_init()
{
    std::vector<QWidget*> rows{ui->lineEditIp1,   ui->lineEditIp2,   ui->lineEditIp3,   ui->lineEditIp4,
                               ui->lineEditMask1, ui->lineEditMask2, ui->lineEditMask3, ui->lineEditMask4,
                               ui->lineEditGate1, ui->lineEditGate2, ui->lineEditGate3, ui->lineEditGate4,
                               ui->Button_apply,  ui->Button_cancle};
    std::vector<const RowSheets*> kinds;
    for (int i = 0; i < kOctets; ++i) {
        edit_names[i] = rows[i]->objectName();
        kinds.push_back(i % 4 == 0 ? &kFirst : i % 4 == 3 ? &kLast : &kMiddle);
    }
    kinds.push_back(&kButton);
    kinds.push_back(&kButton);
    set_rows(rows, kinds);
}

void linkwlan::language_changed()
{
    ui->label_wlan->setText(tr4({"网口设置", "Net connect", "Сетевое подключение", "Cài đặt cổng mạng"}));
    ui->label_IpSet->setText(tr4({"IP地址", "IP", "IP-адрес", "Địa chỉ IP"}));
    ui->label_netmask->setText(tr4({"子网掩码", "Mask", "Маска", "Cài đặt mặt lạ con"}));
    ui->label_gateway->setText(tr4({"默认网关", "Gate", "Шлюз", "Cổng vào"}));
    ui->Button_apply->setText(tr4({"应用", "Apply", "OK", "Đồng ý"}));
    ui->Button_cancle->setText(tr4({"取消", "Cancle", "Отмена", "Hủy bỏ"}));
}

void linkwlan::show_numberkeyboard_ui(QString text)
{
    (void)text;
    auto* field = qobject_cast<QLineEdit*>(sender());
    if (!field)
        return;
    const bool mask = field->objectName().startsWith("lineEditMask");
    open_keypad(field, mask ? "Mask" : "IP");
}

QString linkwlan::octet_text(const QString& typed)
{
    bool ok = false;
    const int v = typed.trimmed().toInt(&ok, 10);
    if (!ok || v < 0)
        return "0";
    return QString::number(v > 255 ? 255 : v);
}

void linkwlan::confirmString(QString text)
{
    if (g_lineedit)
        g_lineedit->setText(octet_text(text));
}

void linkwlan::on_Button_net_apply_clicked()
{
    const NetAddress typed{join({ui->lineEditIp1, ui->lineEditIp2, ui->lineEditIp3, ui->lineEditIp4}),
                           join({ui->lineEditMask1, ui->lineEditMask2, ui->lineEditMask3, ui->lineEditMask4}),
                           join({ui->lineEditGate1, ui->lineEditGate2, ui->lineEditGate3, ui->lineEditGate4})};
    if (typed == current_net_address())
        return;
    // A field left empty (a short address shown as it was) is no address: nothing is stored.
    if (!Utils::isDottedQuad(typed.ip) || !Utils::isDottedQuad(typed.mask) || !Utils::isDottedQuad(typed.gateway)) {
        qDebug() << "linkwlan: not an IPv4 address, nothing stored";
        return;
    }
    qDebug() << typed.ip;
    qDebug() << typed.mask;
    qDebug() << typed.gateway;
    store_net_address(typed);
    if (TlxRamPara::p_tlxrampara_config)
        TlxRamPara::p_tlxrampara_config->test_signal(1);
}

void linkwlan::ok_pressed(int row)
{
    if (row < kOctets)
        emit static_cast<My_lineEdit*>(menu_list[row])->send_show(edit_names[row]);
    else if (row == kApplyRow)
        on_Button_net_apply_clicked();
    else
        slot_Button_back_clicked();
}
