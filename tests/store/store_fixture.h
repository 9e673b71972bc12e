#pragma once
// A fresh device root on the simulated board with a fresh configuration engine and store.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "core/ConfigEngine.h"
#include "core/SyncUpdate.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "core/page_registry.h"
#include "core/store_files.h"
#include "core/shell_hooks.h"
#include "sim/sim_board.h"

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        board_ = sim::SimBoard::install_for_test(root_.path());
        c331_shared::param_changed = 0;
        g_page_focus = 0;
        g_debugSwitch = 0;  // quiet console; behaviour does not depend on it
        shell_hooks::mode_file_write = nullptr;
        shell_hooks::take_pending_tip = nullptr;
        shell_hooks::tip_create = nullptr;
    }
    void TearDown() override
    {
        for (int p = 0; p < 24; ++p)
            page_registry::clear(p);
        shell_hooks::mode_file_write = nullptr;
        c331_shared::param_changed = 0;
    }

    // Starts the engine and the store afresh on this root (the singletons of an earlier test
    // are kept reachable, never deleted, as on the device).
    TlxRamPara* boot()
    {
        ConfigEngine::p_config = nullptr;
        ConfigEngine* e = ConfigEngine::pInstance();
        engines().push_back(e);
        TlxRamPara::p_tlxrampara_config = nullptr;
        TlxRamPara* s = TlxRamPara::pInstance();
        stores().push_back(s);
        SyncUpdate::pInstance();
        return s;
    }

    std::string at(const std::string& abs) const { return root_.path() + abs; }
    std::string read(const std::string& abs) const { return testutil::read_file(at(abs)); }
    bool exists(const std::string& abs) const { return testutil::file_exists(at(abs)); }
    void write(const std::string& abs, const std::string& bytes) const
    {
        std::filesystem::create_directories(std::filesystem::path(at(abs)).parent_path());
        std::ofstream(at(abs), std::ios::binary) << bytes;
    }
    u16 file16(const std::string& bytes, uint32_t image_addr) const
    {
        const uint32_t o = image_addr - RAM_VOLATILE_END + PARA_FILE_IMAGE_OFFSET;
        return static_cast<u16>(static_cast<u8>(bytes[o]) | (static_cast<u8>(bytes[o + 1]) << 8));
    }
    std::vector<std::string> shell_history() const { return board_->sim_shell().history(); }
    bool shell_ran(const std::string& line) const
    {
        for (const auto& l : shell_history())
            if (l == line)
                return true;
        return false;
    }

    // The shell's mode file writer, counting its calls.
    static void install_mode_writer(int* calls = nullptr)
    {
        shell_hooks::mode_file_write = [calls](int slot, int from_sync) {
            if (calls)
                ++*calls;
            return TlxRamPara::p_tlxrampara_config->mode_file_save(slot, from_sync == 0);
        };
    }

    // Makes writes to these device paths (a JSON array of texts) fail as on a full partition.
    void fail_writes(const std::string& paths)
    {
        write("/sim/board.json", "{\"write_fail\": " + paths + "}");
        board_->poll();
    }

    // Never destroyed, so the replaced singletons stay reachable until the process ends.
    static std::vector<ConfigEngine*>& engines() { static auto* v = new std::vector<ConfigEngine*>; return *v; }
    static std::vector<TlxRamPara*>& stores() { static auto* v = new std::vector<TlxRamPara*>; return *v; }

    testutil::TempDir root_{"k57store"};
    std::unique_ptr<sim::SimBoard> board_;
};
