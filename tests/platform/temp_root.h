#pragma once
// A fresh device root for one test (K57_ROOT points at it), removed afterwards; the root
// before it is restored then, so nothing later writes into a removed directory or, with no
// root, onto the machine's own "/data". Paths are given as the device names them ("/data/x").
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/temp_dir.h"
#include "platform/paths.h"

class TempRoot {
public:
    TempRoot() : dir_("k57-platform"), before_(platform::root())
    {
        setenv("K57_ROOT", dir_.path().c_str(), 1);
        platform::reload_root();
    }
    ~TempRoot()
    {
        setenv("K57_ROOT", before_.c_str(), 1);
        platform::reload_root();
    }
    const std::string& path() const { return dir_.path(); }
    std::string at(const std::string& abs) const { return dir_.path() + abs; }

    void write(const std::string& abs, const std::string& text) const
    {
        std::filesystem::create_directories(std::filesystem::path(at(abs)).parent_path());
        std::ofstream(at(abs), std::ios::binary) << text;
    }
    std::string read(const std::string& abs) const
    {
        std::ifstream f(at(abs), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    bool exists(const std::string& abs) const { return std::filesystem::exists(at(abs)); }

private:
    testutil::TempDir dir_;
    std::string before_;
};
