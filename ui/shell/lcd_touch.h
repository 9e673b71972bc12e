#pragma once
// The knob device "/dev/ec11": opened once with asynchronous notification. Its thread is
// never started; the board without a knob (sim) simply has none.
class lcd_touch {
public:
    static lcd_touch* pInstance();
    static lcd_touch* p_lcd_touch;
    int fd() const { return fd_; }

private:
    lcd_touch();
    int fd_ = -1;
};
