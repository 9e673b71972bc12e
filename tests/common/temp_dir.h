#pragma once
// A fresh directory under $TMPDIR (or /tmp) for one test, removed with everything in it
// when the object goes away. Used as a device root (K57_ROOT).
#include <string>

namespace testutil {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "k57test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + rel, rel without a leading slash ("data/configs/tcpip.ini").
    std::string file(const std::string& rel) const;

private:
    std::string path_;
};

// Whole file as bytes ("" when missing); and whether it exists.
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

}  // namespace testutil
