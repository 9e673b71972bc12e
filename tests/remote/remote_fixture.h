// In-process set-up shared by the remote tests: a simulated board under a fresh root and the
// parameter store loaded from the factory image. The store is a process-wide singleton, so
// each test starts by restoring the image, the registers and the flags it relies on.
#pragma once
#include <gtest/gtest.h>

#include <QDir>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/remote_client.h"
#include "common/temp_dir.h"
#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"
#include "remote/message_deal.h"
#include "sim/sim_board.h"

// The names every remote test uses.
using namespace remote;
using testutil::Bytes;
using testutil::operator+;
using testutil::le16;
using testutil::le32;

namespace remote_test {

inline testutil::TempDir& root()
{
    static testutil::TempDir dir("k57remote");
    return dir;
}

inline sim::SimBoard& board()
{
    static std::unique_ptr<sim::SimBoard> b = [] {
        QDir().mkpath(QString::fromStdString(root().file("data/configs")));
        FILE* f = std::fopen(root().file("data/ram_device_info").c_str(), "wb");
        std::fwrite(ConfigEngine::default_para_ramlist, 1, 4096, f);
        std::fclose(f);
        return sim::SimBoard::install_for_test(root().path());
    }();
    return *b;
}

inline TlxRamPara* store()
{
    board();
    static TlxRamPara* s = TlxRamPara::pInstance();
    return s;
}

// Puts the store back to the factory image and clears the registers and the change flag.
inline void reset_store()
{
    TlxRamPara* s = store();
    // Under the image lock like every editor: the transports' threads may read it.
    QMutexLocker lk(&c331_shared::c331_lock);
    std::memset(s->ram_image, 0, RAM_IMAGE_SIZE);
    std::memcpy(s->ram_image + RAM_VOLATILE_END, ConfigEngine::default_para_ramlist + 2, RAM_PERSIST_LEN);
    std::memcpy(s->ram_shadow, s->ram_image, RAM_IMAGE_SIZE);
    std::memset(s->reg_file, 0, sizeof s->reg_file);
    std::memset(s->status_page, 0, sizeof s->status_page);
    c331_shared::param_changed = 0;
}

// Sends one request from the tool through a dispatcher; the reply frame, empty when none.
inline testutil::Frame call(message_deal& deal, u8 cmd, const testutil::Bytes& data, uint64_t peer,
                            u16 dst = testutil::kProcessor)
{
    const testutil::Bytes req = testutil::make_frame(dst, testutil::kTool, cmd, data);
    std::vector<u8> reply(message_deal::kReplyCapacity);
    const u32 n = deal.message_group_deal(req.data(), u32(req.size()), reply.data(), peer);
    return testutil::Frame{testutil::Bytes(reply.begin(), reply.begin() + n)};
}

}  // namespace remote_test
