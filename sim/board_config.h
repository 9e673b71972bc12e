#pragma once
// $K57_ROOT/sim/board.json: the description of the simulated board. Read at start, written
// with the defaults when missing, re-read when its text changes, so that a
// test may change the board while the process runs. A missing key takes its default, so a
// test may write only the keys it cares about.
//
// Keys:
//   "soc_id_words": [a, b, c]   the three 16-bit SoC identifier words (default [0, 0, 0])
//   "ethernet": true            whether "ifconfig eth0" finds an interface (default true)
//   "mtd": { "mtd8": {"size": n, "erasesize": n, "writesize": n}, ... }
//                               flash partitions "/dev/mtdN" backed by $K57_ROOT/sim/mtdN.bin
//                               (defaults: mtd8 and mtd10, see sim_mtd.cpp)
//   "c331_id_fail_reads": n     the scaler's identifier reads 0 for its first n reads (default 0)
//   "write_fail": ["/data/modes", ...]
//                               device paths (files or folders) whose writes fail with "no space
//                               left on device", as on a full or worn data partition (default none)
// Later device models read their own keys through SimBoard::config(); the FPGA's keys
// ("fpga_*", "cards", "card_bad_checksum", "vmf") are listed in sim/fpga0_model.h and
// sim/fpga0_flash_model.h.
#include <QByteArray>
#include <QJsonObject>
#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace sim {

class BoardConfig {
public:
    explicit BoardConfig(std::string path);

    // Reads the file (writing the defaults first when it is missing). A file that does not
    // parse keeps the previous configuration and is reported once per change.
    void load();
    // Re-reads when the file's text changed; true when a new configuration was taken.
    bool poll();

    // The whole parsed object (keys as written; absent keys are absent).
    QJsonObject json() const;
    // Bumped on every successful (re-)read.
    uint64_t generation() const;

    bool ethernet() const;
    // ENOSPC when the rooted `real_path` is, or lies inside, a path of "write_fail"; else 0.
    int write_fault(const std::string& real_path) const;
    std::array<uint16_t, 3> soc_id_words() const;

    static QJsonObject defaults();
    const std::string& path() const { return path_; }

private:
    bool read_file();

    std::string path_;
    mutable std::mutex mu_;
    QJsonObject json_;
    uint64_t generation_ = 0;
    QByteArray seen_text_;
};

}  // namespace sim
