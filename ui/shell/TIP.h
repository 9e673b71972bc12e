#pragma once
// The confirmation tip (g_tip): a 120 x 120 frame at (100, 60) with a check mark
// (tip_create(1): what the user changed was kept) or a warning sign over "Not saved"
// (tip_create(2): the files could not take it), over "Mode saved, settings not" (tip_create(3):
// a user mode's file was kept, the parameter file was not), or over another text (tip_warning). It shows modally; the 10 ms tick closes it
// after 200 ticks (tick()). tip_create(0) only removes the frame.
//
// The tip never runs its modal loop while this thread holds the scaler manager's lock through
// PageFrame::apply: a queued refresh inside the loop would wait for that lock for ever. Such a
// call is deferred until the GUI thread is back in its event loop.
#include <QDialog>

class QFrame;

class TIP : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTicks = 200;
    static constexpr int kKept = 1;
    static constexpr int kNotKept = 2;
    static constexpr int kModeOnlyKept = 3;

    explicit TIP(QWidget* parent = nullptr);
    void tip_create(int kind);
    // The warning sign over `text` (why something was refused).
    void tip_warning(const QString& text);
    // One 10 ms tick while g_tip_flag is set; hides the tip after kTicks.
    void tick();
    bool showing() const { return frame_ != nullptr && isVisible(); }

private:
    void show_tip(int kind, const QString& words);
    void remove_frame();
    QFrame* frame_ = nullptr;
    int ticks_ = 0;
};
