#pragma once
// The splash shown over the whole panel while a firmware update is being received
// (g_update_flag): a title and a progress bar that runs while the tick drives it.
#include <QWidget>

class QLabel;

class UpdateSplash : public QWidget {
    Q_OBJECT
public:
    explicit UpdateSplash(QWidget* parent = nullptr);
    // One tick: shows and advances the splash while updating, hides it afterwards.
    void tick(bool updating);
    void language_changed();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QLabel* title_;
    int phase_ = 0;
};
