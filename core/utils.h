#pragma once
// Static routines every subsystem uses: the frame checksum, shell commands under one lock,
// tick arithmetic over G_timeTicks, the network set-up from the configuration items, MTD
// erase and write, and the ten process-wide named mutexes.
//
// Lock order: where the scaler manager's lock (c331_lock) and one of these are both held,
// c331_lock is taken first.
#include <QMutex>
#include <QString>
#include <QVariant>
#include <functional>

#include "core/fair_mutex.h"
#include "core/globals.h"

class Utils {
public:
    static QMutex _system_mutex;          // shell commands run through system_mutex()
    static QMutex _usleep_mutex;          // sleeps through usleep_mutex()
    static QMutex _led_para_init_mutex;   // LED-size hand-over flags
    // Every SPI transfer (scaler, FPGA, FPGA flash), taken in the order asked: a long flash
    // operation that takes it again between its parts lets the others go first.
    static FairMutex _spi_mutex;
    static QMutex _fpga_multicast_mutex;  // the FPGA's multi-port send path
    static QMutex _c331_bnk_mutex;        // a scaler bank select with the access after it
    static QMutex _file_deal_mutex;       // parameter file and user-mode file writes
    static QMutex _source_init_mutex;     // source supervision re-initialisation request
    static QMutex _check_nosig_mutex;     // no-signal check of the scaler's input ports
    static QMutex _source_hdminfo_mutex;  // hdminfo timing records

    // XOR of all bytes; 0 for length 0.
    static u8 BCC(const u8* data, u32 length);

    // Runs a shell command (Latin-1) under _system_mutex. 0 when its status is 0, else 255;
    // the exact status is stored in *status when given.
    static int system_mutex(const QString& command, int* status = nullptr);

    // Ticks of 10 ms elapsed from `since` to G_timeTicks, across the counter's wrap.
    static u32 getTimeSpace(u32 since);

    // Sleeps under _usleep_mutex, so such sleeps of different threads follow one another.
    static int usleep_mutex(u32 us);
    static int msleep_mutex(u32 ms);

    // Reads the network configuration items into the globals and applies them to eth0.
    // 0 applied, 255 no Ethernet interface (nothing read or applied). Only dotted-quad IPv4
    // texts and a TCP port 1..65535 are accepted; another value keeps the previous one and
    // is logged as a WARNING, so no configuration text but an address reaches the shell.
    static int initIPAddress();
    // The same, reading the items by their ConfigItem id through `read`.
    using ConfigReader = std::function<QVariant(int id)>;
    static int initIPAddress(const ConfigReader& read);

    // "a.b.c.d" with four decimal numbers 0..255 without leading zeros, nothing else.
    static bool isDottedQuad(const QString& text);

    // Erases the blocks covering [offset, offset + length) of an open MTD device, unlocking
    // each first when `unlock` is not 0. 0 done, 8 failed. The descriptor stays open.
    static int non_region_erase(int fd, int offset, int length, int unlock);
    // Writes `length` bytes at `offset` in whole pages, then the remainder. 0 done, 1 failed.
    // The caller erases the area first and closes the device afterwards.
    static int non_region_write(int fd, const u8* data, int length, int offset);
};
