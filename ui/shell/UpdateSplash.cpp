#include "ui/shell/UpdateSplash.h"

#include <QLabel>
#include <QPainter>

#include "ui/shell/lang.h"
#include "ui/shell/page_open.h"

namespace {
const Text4 kUpdating{"正在升级，请勿断电", "Updating, keep power on", "Обновление, не отключайте питание",
                      "Đang cập nhật, không tắt nguồn"};
}

UpdateSplash::UpdateSplash(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(0, 0, 320, 240);
    setStyleSheet("color:rgb(255,255,255); background-color: rgb(16, 16, 28);");
    title_ = new QLabel(this);
    title_->setGeometry(0, 150, 320, 30);
    title_->setAlignment(Qt::AlignCenter);
    title_->setStyleSheet("font-size:15px;");
    language_changed();
}

void UpdateSplash::language_changed() { title_->setText(tr4(kUpdating)); }

void UpdateSplash::tick(bool updating)
{
    if (!updating) {
        if (isVisible())
            hide();
        return;
    }
    if (!isVisible()) {
        language_changed();
        place_page(this);
        show();
        raise();
    }
    phase_ = (phase_ + 1) % 200;
    if (phase_ % 5 == 0)
        update();
}

void UpdateSplash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(16, 16, 28));
    p.drawPixmap(128, 60, QPixmap(":/png/update.png"));
    const QRect bar(40, 196, 240, 10);
    p.setPen(QColor(255, 255, 255));
    p.setBrush(Qt::NoBrush);
    p.drawRect(bar);
    // A block that sweeps along the bar: the transfer has no known length here.
    const int x = bar.x() + 1 + (phase_ * (bar.width() - 50)) / 200;
    p.fillRect(QRect(x, bar.y() + 1, 48, bar.height() - 1), QColor(255, 171, 84));
}
