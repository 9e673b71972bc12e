#pragma once
// A fresh device root for one test, removed afterwards.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/paths.h"

class TempRoot {
public:
    TempRoot()
    {
        char tmpl[] = "/tmp/k57-platform-XXXXXX";
        path_ = mkdtemp(tmpl);
        setenv("K57_ROOT", path_.c_str(), 1);
        platform::reload_root();
    }
    ~TempRoot()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string at(const std::string& abs) const { return path_ + abs; }

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
    std::string path_;
};
