#include "linkwlan.h"

#include <QDebug>
#include <QLabel>
#include <QTimer>

#include "core/TlxRamPara.h"
#include "core/utils.h"
#include "ui/settings_pages/net_address.h"
#include "ui/shell/My_lineEdit.h"
#include "ui/shell/lang.h"
#include "ui/shell/text_fit.h"
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

// Texts of the tip, by what is wrong with the address.
const Text4 kFaultText[] = {
    {"", "", "", ""},
    {"子网掩码无效", "Invalid mask", "Неверная маска", "Mặt nạ không hợp lệ"},
    {"IP地址无效", "Invalid IP address", "Неверный IP-адрес", "Địa chỉ IP không hợp lệ"},
    {"网关无效", "Invalid gateway", "Неверный шлюз", "Cổng vào không hợp lệ"},
    {"网关须为同一子网内的其他地址", "Gateway: another address of the subnet", "Шлюз: другой адрес этой подсети",
     "Cổng vào: địa chỉ khác trong mạng con"},
};
const Text4 kNotStored{"无法保存网络设置", "The settings cannot be stored", "Не удалось сохранить", "Không lưu được cài đặt"};

// Part i (0..3) of a dotted text; empty when it has fewer parts.
QString part(const QString& dotted, int i) { return dotted.split('.').value(i); }
}  // namespace

linkwlan::linkwlan(QWidget* parent) : SettingsPage("linkwlan", PAGE_LINKWLAN), ui(new Ui::linkwlan)
{
    (void)parent;
    ui->setupUi(this);
    for (int i = 0; i < kOctets; ++i)
        shown_[i] = octet(i)->text();  // the form's samples: replaced by the first refresh
    refresh_fields();
    label_tip_ = new QLabel(ui->frame);
    label_tip_->setGeometry(10, 112, 280, 32);
    label_tip_->setAlignment(Qt::AlignCenter);
    label_tip_->setStyleSheet("color:rgb(255,171,84);font:11px;");
    label_tip_->hide();
    // A tool may set the address while the page is open: the fields follow it.
    auto* follow = new QTimer(this);
    connect(follow, &QTimer::timeout, this, [this] { refresh_fields(); });
    follow->start(1000);
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

QLineEdit* linkwlan::octet(int i) const
{
    QLineEdit* f[kOctets] = {ui->lineEditIp1,   ui->lineEditIp2,   ui->lineEditIp3,   ui->lineEditIp4,
                             ui->lineEditMask1, ui->lineEditMask2, ui->lineEditMask3, ui->lineEditMask4,
                             ui->lineEditGate1, ui->lineEditGate2, ui->lineEditGate3, ui->lineEditGate4};
    return f[i];
}

// The octets the user has not changed show the address in effect now; typed ones stay.
void linkwlan::refresh_fields()
{
    const NetAddress a = current_net_address();
    const QString* dotted[3] = {&a.ip, &a.mask, &a.gateway};
    for (int i = 0; i < kOctets; ++i) {
        if (octet(i)->text() != shown_[i])
            continue;
        shown_[i] = part(*dotted[i / 4], i % 4);
        octet(i)->setText(shown_[i]);
    }
}

void linkwlan::show_tip(const QString& text)
{
    label_tip_->setText(text);
    label_tip_->setVisible(!text.isEmpty());
}

QString linkwlan::tip_text() const { return label_tip_->isVisible() ? textfit::full_text(label_tip_) : QString(); }

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
    show_tip(QString());
}

// The fields as they stand: the octets typed, the others just refreshed from the address in
// effect. Nothing is stored when that is the address in effect or when the remote command
// would refuse it (the tip says why).
void linkwlan::on_Button_net_apply_clicked()
{
    refresh_fields();
    show_tip(QString());
    QString texts[3];
    for (int i = 0; i < kOctets; ++i)
        texts[i / 4] += (i % 4 ? "." : "") + octet(i)->text();
    const NetAddress typed{texts[0], texts[1], texts[2]};
    if (typed == current_net_address())
        return;
    const remote::NetFault fault = net_address_fault(typed);
    if (fault != remote::NetFault::None) {
        qDebug() << "linkwlan: address refused," << typed.ip << typed.mask << typed.gateway;
        show_tip(tr4(kFaultText[static_cast<int>(fault)]));
        return;
    }
    qDebug() << typed.ip;
    qDebug() << typed.mask;
    qDebug() << typed.gateway;
    if (!store_net_address(typed)) {
        show_tip(tr4(kNotStored));
        return;
    }
    for (int i = 0; i < kOctets; ++i)  // stored: they follow the address in effect again
        shown_[i] = octet(i)->text();
    refresh_fields();
    if (TlxRamPara::p_tlxrampara_config)
        TlxRamPara::p_tlxrampara_config->test_signal(1);
}

void linkwlan::ok_pressed(int row)
{
    if (row < kOctets)
        emit static_cast<My_lineEdit*>(menu_list[row])->send_show(edit_names[row]);
    else if (row == kApplyRow)
        on_Button_net_apply_clicked();
    else if (row == kCancelRow)
        slot_Button_back_clicked();
}
