#pragma once
// A picture value (brightness, gains ...) edited step by step on the panel, 0..100, each step
// written to the image at once so the picture follows the keys.
#include <QLineEdit>

#include "core/globals.h"

class PictureValue {
public:
    enum Op : char { Up = 0, Down = 1, Keep = 2, Restore = 3 };

    // Shows the image word at `addr` in `field`, as the signed number a remote write may
    // have left there.
    static void show(QLineEdit* field, u32 addr);
    // Starts editing the word at `addr`: the value to step and to restore is the stored one
    // (a tool may have changed it since the field was filled), shown in `field`.
    void begin(QLineEdit* field, u32 addr);
    // Up/Down step the value, Keep remembers it, Restore puts back the remembered one; the
    // result is clamped to 0..100, written as the whole word at `addr` and shown in `field`.
    // A step is dropped while an earlier change waits for the scaler (the keys would run ahead
    // of the picture); Keep and Restore act whenever a step was written, so the image ends on
    // what the user chose, and write nothing when the user made no step.
    void apply(Op op, QLineEdit* field, u32 addr);

private:
    int sel_value_ = 0;
    int saved_value_ = 0;
    bool stepped_ = false;
};
