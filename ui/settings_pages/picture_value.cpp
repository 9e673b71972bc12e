#include "picture_value.h"

#include "core/c331_shared.h"
#include "core/ram_map.h"
#include "ui/shell/PageFrame.h"
#include "ui/shell/image_access.h"

void PictureValue::show(QLineEdit* field, u32 addr)
{
    field->setText(QString::asprintf("%d", static_cast<int16_t>(image_u16(addr))));
}

void PictureValue::begin(QLineEdit* field, u32 addr)
{
    show(field, addr);
    sel_value_ = saved_value_ = static_cast<int16_t>(image_u16(addr));
    stepped_ = false;
}

void PictureValue::apply(Op op, QLineEdit* field, u32 addr)
{
    if ((op == Up || op == Down) && c331_shared::param_changed.load() != 0)
        return;
    if ((op == Keep || op == Restore) && !stepped_)
        return;
    switch (op) {
    case Up: ++sel_value_; stepped_ = true; break;
    case Down: --sel_value_; stepped_ = true; break;
    case Keep: saved_value_ = sel_value_; break;
    case Restore: sel_value_ = saved_value_; break;
    }
    sel_value_ = sel_value_ <= 0 ? 0 : sel_value_ > 99 ? 100 : sel_value_;
    const u16 v = static_cast<u16>(sel_value_);
    PageFrame::apply(1, [addr, v](u8* image) { ram_wr16(image, addr, v); });
    field->setText(QString::asprintf("%d", sel_value_));
}
