// In-process set-up shared by the remote tests: a simulated board under a fresh root and the
// parameter store loaded from the factory image. The store is a process-wide singleton, so
// each test starts by restoring the image, the registers and the flags it relies on.
#pragma once
#include <gtest/gtest.h>

#include <QDir>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/factory_store.h"
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

// Kept to the end of the process: the servers some tests start run until then and reach it.
inline sim::SimBoard& board()
{
    static sim::SimBoard* const b = [] {
        testutil::write_factory_para_file(root().path());
        return sim::SimBoard::install_for_test(root().path()).release();
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
inline void reset_store() { testutil::restore_factory_store(store()); }

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
