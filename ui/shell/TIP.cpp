#include "ui/shell/TIP.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include "core/c331_shared.h"
#include "core/log.h"
#include "ui/shell/PageFrame.h"
#include "ui/shell/lang.h"
#include "ui/shell/page_open.h"

namespace {
const Text4 kNotKeptText{"未能保存", "Not saved", "Не сохранено", "Chưa lưu được"};
const Text4 kModeOnlyKeptText{"模式已保存\n设置未保存", "Mode saved,\nsettings not", "Режим есть,\nнастроек нет",
                              "Đã lưu chế độ,\nchưa lưu cài đặt"};
}

TIP::TIP(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setStyleSheet("background-color: rgb(16, 16, 28);");
    setGeometry(100, 60, 120, 120);
}

void TIP::remove_frame()
{
    delete frame_;
    frame_ = nullptr;
}

void TIP::tip_create(int kind)
{
    show_tip(kind, kind == kNotKept ? tr4(kNotKeptText) : kind == kModeOnlyKept ? tr4(kModeOnlyKeptText) : QString());
}

void TIP::tip_warning(const QString& text) { show_tip(kNotKept, text); }

void TIP::show_tip(int kind, const QString& words)
{
    remove_frame();
    if (kind == 0)
        return;
    if (PageFrame::gui_holds_scaler_lock()) {
        writeLogMsg(LOG_WARNING, "front panel: tip asked for under the scaler lock, shown later");
        QTimer::singleShot(0, this, [this, kind, words] { show_tip(kind, words); });
        return;
    }
    place_page(this);  // the panel's origin, then (100, 60) inside it
    setGeometry(x() + 100, y() + 60, 120, 120);
    frame_ = new QFrame(this);
    frame_->setGeometry(0, 0, 120, 120);
    frame_->setStyleSheet("background-color:rgb(136, 138, 133);");
    auto* label = new QLabel(frame_);
    if (kind != kKept) {
        // What the user changed could not be stored (all of it or a part): a warning sign over the words.
        label->setGeometry(32, 6, 56, 56);
        label->setPixmap(QPixmap(":/png/warning.png").scaled(56, 56, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        auto* text = new QLabel(frame_);
        text->setObjectName("label_tip_text");
        text->setGeometry(4, 66, 112, 50);
        text->setAlignment(Qt::AlignCenter);
        text->setStyleSheet("color: rgb(255, 255, 255); font-size: 16px;");
        text->setText(words);
    } else {
        label->setGeometry(20, 20, 80, 80);
        label->setPixmap(QPixmap(":/png/check_180.png").scaled(80, 80, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    frame_->show();
    ticks_ = 0;
    g_tip_flag = 1;
    exec();
}

void TIP::tick()
{
    if (!g_tip_flag.load())
        return;
    if (++ticks_ < kTicks)
        return;
    ticks_ = 0;
    g_tip_flag = 0;
    if (isVisible())
        done(QDialog::Accepted);
}
