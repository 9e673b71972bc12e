#pragma once
// LED screen size (id 13): the LED canvas width and height, typed on the keypad within the
// side and area limits. Applying a new size stretches window 0 over the canvas, switches
// windows 1 to 5 off, starts the LED-size hand-shake with the FPGA and shows the tip. A stored
// size beyond the limits (a wall a tool set) is not applied unless typed over: Apply refuses it.
#include <QString>
#include <utility>

#include "ui/settings_pages/settings_page.h"

namespace Ui {
class ledset;
}

class ledset : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int kMinSide = 64;
    static constexpr int kMaxSide = 8188;
    static constexpr int kMaxArea = 10485760;        // 0xA00000
    static constexpr int kMaxAreaByHeight = 13000000;  // a typed height in range

    explicit ledset(QWidget* parent = nullptr);
    ~ledset() override;

    void para_init() override;
    void menulist_init() override;
    void language_changed() override;

    // Apply (F6 on Button_apply).
    void on_Button_apply1_clicked();
    // The keypad rule: `typed` for the width (or height) field whose other side shows `other`;
    // returns the edited field's text and the other field's text.
    static std::pair<QString, QString> confirm_size(bool width, const QString& typed, const QString& other);

public slots:
    void show_numberkeyboard_ui(QString text);
    void confirmString(QString text);

protected:
    void ok_pressed(int row) override;
    void refresh_fields() override;

private:
    static std::pair<QString, QString> limited_size(const QString& width, const QString& height);
    bool would_change_a_stored_side(const std::pair<QString, QString>& size) const;
    void refuse_stored_size();

    Ui::ledset* ui;
    QString field_name;
    QString shown_[2];  // what the page last put into the width and height fields
};
