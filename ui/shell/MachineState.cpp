#include "ui/shell/MachineState.h"

#include <QGridLayout>
#include <QMutexLocker>
#include <QPixmap>

#include "ui/shell/LockWindow.h"
#include "ui/shell/image_access.h"
#include "ui/shell/lang.h"
#include "ui_MachineState.h"

namespace {
const Text4 kTitle{"设备信息", "Device information", "Об устройстве", "Thông tin thiết bị"};
const Text4 kId{"设备ID", "Device ID", "ID", "Mã thiết bị"};
const Text4 kVersion{"软件版本", "Version", "Версия", "Phiên bản"};
const Text4 kBack{"返回", "Back", "Назад", "Quay lại"};
// Strip order of the inputs on the panel.
const int kStripSource[6] = {2, 3, 4, 5, 1, 0};
}  // namespace

MachineState::MachineState(QWidget* parent) : PageFrame("MachineState", PAGE_MACHINESTATE), ui(new Ui::MachineState)
{
    (void)parent;
    ui->setupUi(this);
    ui->label_note_back->setPixmap(QPixmap(":/png/back_return.png"));
    auto* grid = new QGridLayout(ui->signal_area);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    for (int c = 0; c < 6; ++c) {
        auto* icon = new QLabel(ui->signal_area);
        icon->setAlignment(Qt::AlignCenter);
        auto* name = new QLabel(source_name(kStripSource[c]), ui->signal_area);
        name->setAlignment(Qt::AlignCenter);
        name->setStyleSheet("font-size:11px;");
        grid->addWidget(icon, 0, c);
        grid->addWidget(name, 1, c);
        icons_.push_back(icon);
        names_.push_back(name);
    }
    finish_construction();
}

MachineState::~MachineState() { delete ui; }

bool MachineState::has_signal(int s)
{
    return image_u16(ram_input_timing + 6 * s) && image_u16(ram_input_timing + 6 * s + 2) &&
           image_u16(ram_input_timing + 6 * s + 4);
}

void MachineState::refresh_signals()
{
    for (int c = 0; c < 6; ++c) {
        const int s = kStripSource[c];
        shown_[s] = has_signal(s);
        icons_[c]->setPixmap(QPixmap(shown_[s] ? ":/png/signal_on.png" : ":/png/signal_off.png"));
        icons_[c]->setToolTip(shown_[s] ? QString::asprintf("%ux%u@%u", image_u16(ram_input_timing + 6 * s),
                                                            image_u16(ram_input_timing + 6 * s + 2),
                                                            image_u16(ram_input_timing + 6 * s + 4))
                                        : QString());
    }
}

void MachineState::para_init() { refresh_signals(); }

void MachineState::language_changed()
{
    ui->label_title->setText(tr4(kTitle));
    ui->label_note_back_text->setText(tr4(kBack));
    QString ip, mac;
    {
        QMutexLocker lk(&g_config_text_mutex());
        ip = g_str_ip;
        mac = g_str_mac;
    }
    ui->label_info->setText(QString("%1:\n  %2\n%3: %4\nIP: %5\nMAC: %6")
                                .arg(tr4(kId), QString::fromLatin1(g_pid, static_cast<int>(qstrnlen(g_pid, 32))), tr4(kVersion),
                                     QString::fromLatin1(g_app_version), ip, mac));
}

void MachineState::syncUpdate()
{
    if (TlxRamPara::p_tlxrampara_config && TlxRamPara::p_tlxrampara_config->TlxLanguageChanged())
        language_changed();
    refresh_signals();
}
