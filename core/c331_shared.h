#pragma once
// The scaler manager's lock and change flag. Every writer of the parameter image takes
// c331_lock, writes, sets param_changed (1 = parameters changed, 2 = user modes changed)
// and releases the lock; the scaler manager's apply pass consumes the flag.
//
// Threads that edit the image start before the scaler manager exists, so the storage is
// static and exists before main() starts any thread. c331_manage derives from this struct,
// so the same members are reached as c331_manage::c331_lock / p_c331_manage->param_changed.
#include <QMutex>
#include <atomic>
#include <cstdint>

struct c331_shared {
    static QMutex c331_lock;
    static std::atomic<int> param_changed;
    // Counts the changes a user or a tool asked for (c331_raise_change_locked); the device's
    // own follow-ups (c331_raise_own_change_locked) are not counted. The persistence tells
    // the panel about a failed store only when such a change is in it.
    static std::atomic<uint32_t> asked_changes;
    // Per input: the timing its EDID EEPROM was found to hold after a write it did not keep
    // (its record was set back to it), until a write of that EEPROM is kept. A record the
    // parameter file cannot take is not set back to the file's while it is this one: the
    // EEPROM could not follow, and the two set-backs would undo each other for ever.
    struct EepromHeld {
        bool valid = false;
        uint16_t timing[3] = {};
    };
    static EepromHeld eeprom_held[6];  // under c331_lock
};

// One input port's measurement by the chip (48 bytes).
struct ST_PORT_INFO {
    uint32_t htt, vtt, vcnt, period, hw, state, lane_num, nosig, interlace;
    uint32_t reserved[3];
};

// What the scaler manager shares with the receivers about each of its input ports: the
// port's status word (bit 0 no signal, bit 7 the receiver's record waits to be taken up) and
// the chip's measurement of the port. The scaler manager derives from this struct and makes
// itself the live one when constructed; the input side reaches the words through its one
// publisher (video_io/source_status), under Utils::_check_nosig_mutex.
struct c331_ports {
    static constexpr int kPorts = 6;
    uint32_t port_status[kPorts]{};
    ST_PORT_INFO PI_PORT_INFO[kPorts]{};
    static std::atomic<c331_ports*> live;  // null while no scaler manager exists
};

// Wakes the scaler manager thread for a pass now (it otherwise sleeps until its periodic
// work is due). Any thread, with or without c331_lock.
void c331_wake();
// The scaler thread's sleep: returns when woken by c331_wake (also one that came while the
// last pass ran) or after `us` on the platform clock.
void c331_wait_for_wake(uint64_t us);

// Raises the change flag for a change the device made by itself (a record set back to what
// its chip holds, an output started) and wakes the scaler thread; the caller holds
// c331_lock. A pending 2 is never lowered to 1: the pass signalled with 2 does everything a
// pass with 1 does, plus the user-mode files.
inline void c331_raise_own_change_locked(int flag)
{
    if (c331_shared::param_changed.load() < flag)
        c331_shared::param_changed = flag;
    c331_wake();
}

// Raises the change flag for a change a user (panel) or a tool (remote) made; the caller
// holds c331_lock.
inline void c331_raise_change_locked(int flag)
{
    c331_shared::asked_changes.fetch_add(1);
    c331_raise_own_change_locked(flag);
}

// Raises the change flag under the lock: the lock-and-flag rule in one call.
inline void c331_raise_change(int flag)
{
    QMutexLocker lk(&c331_shared::c331_lock);
    c331_raise_change_locked(flag);
}
