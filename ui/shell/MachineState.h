#pragma once
// Device information (id 2): a signal icon per input (from the input timing records) and
// the device identifier, application version, IP and MAC address.
#include <QLabel>
#include <vector>

#include "ui/shell/PageFrame.h"

namespace Ui {
class MachineState;
}

class MachineState : public PageFrame {
    Q_OBJECT
public:
    explicit MachineState(QWidget* parent = nullptr);
    ~MachineState() override;
    void language_changed() override;
    void syncUpdate() override;
    void para_init() override;
    // True when source s (0..5) has a signal: width, height and refresh all non-zero.
    static bool has_signal(int source);
    bool shows_signal(int source) const { return shown_[source]; }

private:
    void refresh_signals();
    Ui::MachineState* ui;
    std::vector<QLabel*> icons_;
    std::vector<QLabel*> names_;
    bool shown_[6] = {};
};
