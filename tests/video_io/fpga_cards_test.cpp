// Card search, link state and the pass-through of the PC tool's frames.
#include <QJsonArray>
#include <algorithm>

#include "core/fpga_wake.h"
#include "fpga_fixture.h"
#include "video_io/fpga_frames.h"

using Bytes = std::vector<uint8_t>;
namespace ff = fpga_frames;

class FpgaCards : public FpgaFixture {
protected:
    QJsonObject board_json() const override
    {
        return QJsonObject{{"cards", QJsonArray{2, 0, 0, 3, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
                           {"vmf", QJsonObject{{"port", 3}}}};
    }
    size_t searches_sent() const
    {
        size_t n = 0;
        for (const auto& s : fpga0_->sent())
            n += s.bytes.size() > 9 && s.bytes[9] == 0x10;
        return n;
    }
    // A pass-through as a transport starts it for requester `peer`, then `waits` runs of the
    // waiting transport's processing.
    void pass_through(Bytes frame, int waits = 5, uint64_t peer = 0)
    {
        frame.back() = ff::xor_of(frame.data(), uint32_t(frame.size() - 1));
        g_passby_trans_port = 2;
        std::lock_guard<std::mutex> lk(f_->frame_mutex);
        f_->pass_relayed = 0;
        f_->Dealwith1_PC_to_eth(uint32_t(frame.size()), frame.data(), peer);
        for (int i = 0; i < waits; ++i)
            f_->reg_IRQ_Dealwith(0, 0);
    }
};

TEST_F(FpgaCards, search_stores_each_ports_cards_and_clears_unplugged_ports)
{
    bring_up();
    run(200);
    EXPECT_EQ(fpga0_->ram(1, 100, 2), (Bytes{2, 0}));   // port 0: two cards
    EXPECT_EQ(fpga0_->ram(1, 110, 2), (Bytes{3, 0}));   // port 3
    EXPECT_EQ(fpga0_->ram(1, 114, 1), (Bytes{1}));      // the VMF module answers on port 3
    EXPECT_EQ(fpga0_->ram(1, 568, 2), (Bytes{2, 0}));   // port 6
    EXPECT_EQ(fpga0_->ram(1, 96, 1), (Bytes{0x15}));    // links of ports 0 and 3 (bits 0, 4), bit 2 kept
    EXPECT_EQ(fpga0_->ram(1, 512, 1), (Bytes{0x04}));   // port 6
    EXPECT_EQ(f_->get_wlan_state(), 0x49u);

    write_board(QJsonObject{{"cards", QJsonArray{2, 0, 0, 0, 0, 0, 2}}});
    run(200);
    EXPECT_EQ(fpga0_->ram(1, 110, 2), (Bytes{0, 0}));
    EXPECT_EQ(fpga0_->ram(1, 114, 1), (Bytes{0}));
    EXPECT_EQ(fpga0_->ram(1, 96, 1), (Bytes{0x05}));
    EXPECT_EQ(fpga0_->ram(1, 100, 2), (Bytes{2, 0}));
}

// Thirty seconds without the input link: one line at the loss, one at the recovery.
TEST_F(FpgaCards, a_lost_input_link_is_logged_once_at_the_loss_and_once_at_the_recovery)
{
    bring_up();
    const auto count = [&](const std::string& text) {
        std::ifstream in(root_->path() + "/data/zeltaqn/log/kivEnglneLog");
        const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    };
    QJsonObject board = board_json();
    board["fpga_vbo_locked"] = false;
    write_board(board);
    run(3000);
    EXPECT_EQ(count("input link from the scaler lost"), 1u);
    board["fpga_vbo_locked"] = true;
    write_board(board);
    run(100);
    EXPECT_EQ(count("input link from the scaler lost"), 1u);
    EXPECT_EQ(count("input link from the scaler back after"), 1u);
}

TEST_F(FpgaCards, answers_with_a_bad_checksum_are_never_stored)
{
    QJsonObject b = board_json();
    b.insert("card_bad_checksum", true);
    write_board(b);
    bring_up();
    run(200);
    EXPECT_GT(searches_sent(), 0u);
    EXPECT_EQ(fpga0_->ram(1, 100, 2), (Bytes{0, 0}));
    EXPECT_EQ(fpga0_->ram(1, 110, 5), (Bytes{0, 0, 0, 0, 0}));
}

TEST_F(FpgaCards, a_remote_frame_pauses_the_search_for_80_ticks)
{
    bring_up();
    run(100);
    pc_cmd_valid = 1;
    pc_cmd_time = G_timeTicks.load();
    const size_t before = searches_sent();
    run(80);
    EXPECT_EQ(searches_sent(), before);
    run(90);
    EXPECT_GT(searches_sent(), before);
    EXPECT_EQ(pc_cmd_valid.load(), 0);

    // Stamped ahead of the ticks run (the frame came while the panel had 30 ticks due).
    pc_cmd_valid = 1;
    pc_cmd_time = G_timeTicks.load() + 30;
    const size_t later = searches_sent();
    run(110);
    EXPECT_EQ(searches_sent(), later);
    run(90);
    EXPECT_GT(searches_sent(), later);
}

TEST_F(FpgaCards, single_port_pass_through_is_relayed_once_without_the_group_bits)
{
    // To card 1 on output port 7 (NETPORT 7): FPGA port 6, place 2 in its group.
    const Bytes frame = {0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, 0, 0, 0, 0, 0x10, 0, 0, 0, 0};
    pass_through(frame);  // before the bring-up the chip would lose it: nothing is sent
    EXPECT_TRUE(fpga0_->sent().empty());
    bring_up();
    run(100);
    fpga0_->clear_sent();
    pass_through(frame);
    ASSERT_FALSE(fpga0_->sent().empty());
    const Bytes out = fpga0_->sent().front().bytes;
    EXPECT_EQ(fpga0_->sent().front().port, 6);
    EXPECT_EQ(out[0] | out[1] << 8, 0x2001);
    EXPECT_TRUE(ff::bcc_ok(out.data(), uint32_t(out.size())));
    ASSERT_EQ(relayed().size(), 1u);
    EXPECT_EQ(relayed()[0], (Bytes{0x10, 0xF0, 0x01, 0x00, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, 0x00, 0x00, 0x00, 0x00,
                                   0x00, 0x10, 0x00, 0x00, 0x00, 0x96}));
    EXPECT_EQ(f_->pass_relayed.load(), 1);
    EXPECT_EQ(g_passby_trans_port.load(), 255);

    // A second answer to the same request finds no owner and is dropped.
    {
        std::lock_guard<std::mutex> lk(f_->frame_mutex);
        f_->Send_to_port(out.data(), uint16_t(out.size()), 6, 0);
        for (int i = 0; i < 3; ++i)
            f_->reg_IRQ_Dealwith(0, 0);
    }
    EXPECT_EQ(relayed().size(), 1u);
}

// The PC tool's own search frame: the cards answer it to the tool's address (0xF010).
TEST_F(FpgaCards, a_card_answer_to_the_tools_search_frame_is_relayed_and_the_channel_keeps_working)
{
    bring_up();
    run(100);
    const Bytes search = {0xFE, 0x0F, 0x10, 0xF0, 0x00, 0xAA, 0x01, 0x01, 0x00, 0x10, 0, 0, 0, 0, 0};
    pass_through(search);
    ASSERT_EQ(relayed().size(), 1u);
    const Bytes& r = relayed()[0];
    EXPECT_EQ(r[0] | r[1] << 8, 0xF010);
    EXPECT_EQ(r[9], 0x10);
    EXPECT_EQ(r[11], 2);  // two cards on port 0

    // The same answer again, awaited by nobody: dropped, and port 0's pair still answers.
    {
        std::lock_guard<std::mutex> lk(f_->frame_mutex);
        f_->Send_to_port(fpga0_->sent().back().bytes.data(), uint16_t(search.size()), 0, 0);
    }
    run(10);
    pass_through({0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x01, 0x00, 0x61, 0, 0, 0, 0, 0x10, 0, 0, 0, 0});
    pass_through({0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, 0, 0, 0, 0, 0x10, 0, 0, 0, 0});
    ASSERT_EQ(relayed().size(), 3u);
    EXPECT_EQ(relayed()[1][7], 1);
    EXPECT_EQ(relayed()[2][7], 7);
    run(300);  // several search cycles: port 0's cards stay found, nothing is left waiting
    EXPECT_EQ(fpga0_->ram(1, 100, 2), (Bytes{2, 0}));
    EXPECT_EQ(board_->soc().read16(pads::PAD_FPGA0_IRQ), 0);
}

// Two tools at once: a frame replaces only what the slot it takes (one output port's card)
// still owed the other tool; that answer reaches nobody. An answer owed on another port still
// reaches its tool.
TEST_F(FpgaCards, an_answer_goes_only_to_the_requester_whose_frame_it_answers)
{
    write_board(QJsonObject{{"cards", QJsonArray{2, 2, 0, 3}}});
    bring_up();
    run(100);
    auto read_at = [](uint8_t netport, uint8_t addr) {
        return Bytes{0x00, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, netport, 0x00, 0x61, addr, 0, 0, 0, 0x10, 0, 0, 0, 0};
    };
    struct Case {
        const char* what;
        uint8_t port_a, port_b;
        bool a_answered;
    } cases[] = {{"other pair", 1, 4, true}, {"same pair, other port", 1, 2, true}, {"same port", 1, 1, false}};
    for (const Case& c : cases) {
        relayed().clear();
        relayed_to().clear();
        pass_through(read_at(c.port_a, 0xA0), 0, 1);  // tool 1: its answer waits unread
        pass_through(read_at(c.port_b, 0xB0), 5, 2);  // tool 2's frame
        pass_through(read_at(c.port_b, 0xB1), 5, 2);  // and its next once answered
        std::vector<std::pair<uint64_t, uint8_t>> got;
        for (size_t i = 0; i < relayed().size(); ++i)
            got.emplace_back(relayed_to()[i], relayed()[i][11]);
        std::sort(got.begin(), got.end());
        std::vector<std::pair<uint64_t, uint8_t>> want = {{2, 0xB0}, {2, 0xB1}};
        if (c.a_answered)
            want.insert(want.begin(), {1, 0xA0});
        EXPECT_EQ(got, want) << c.what;
    }
    // An answer to a replaced frame that comes after the new one's is still told apart.
    relayed().clear();
    relayed_to().clear();
    pass_through(read_at(4, 0xA1), 0, 1);  // pair 1: collected after pair 0
    pass_through(read_at(4, 0xB0), 0, 2);  // replaces it
    pass_through(read_at(1, 0xB1), 0, 2);
    run(5);
    std::vector<std::pair<uint64_t, uint8_t>> got;
    for (size_t i = 0; i < relayed().size(); ++i)
        got.emplace_back(relayed_to()[i], relayed()[i][11]);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::pair<uint64_t, uint8_t>>{{2, 0xB0}, {2, 0xB1}}));
}

// An answer that comes after the 3 s wait is not relayed, even with no other frame between.
TEST_F(FpgaCards, an_answer_after_the_wait_reaches_nobody)
{
    bring_up();
    run(100);
    // Card 1 on output port 7 answers at once, but nothing collects it for 3.1 s.
    pass_through({0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, 0, 0, 0, 0, 0x10, 0, 0, 0, 0}, 0);
    G_timeTicks += 310;
    run(5);
    EXPECT_TRUE(relayed().empty());
    // Within the wait it is relayed.
    pass_through({0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, 0, 0, 0, 0, 0x10, 0, 0, 0, 0}, 0);
    G_timeTicks += 290;
    run(5);
    EXPECT_EQ(relayed().size(), 1u);
}

// A frame no card answers (card 9 of port 1 is absent) holds back no later answer on that
// port: not the same tool's next frame, nor another tool's once its 3 s have passed.
TEST_F(FpgaCards, an_unanswered_frame_holds_back_no_later_answer)
{
    write_board(QJsonObject{{"cards", QJsonArray{2, 2}}});
    bring_up();
    run(100);
    auto read_card = [](uint8_t card, uint8_t addr) {
        return Bytes{card, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x01, 0x00, 0x61, addr, 0, 0, 0, 0x10, 0, 0, 0, 0};
    };
    pass_through(read_card(9, 0xA0), 5, 1);
    pass_through(read_card(1, 0xA1), 5, 1);
    pass_through(read_card(9, 0xA2), 5, 1);
    run(310);
    pass_through(read_card(1, 0xB0), 5, 2);
    ASSERT_EQ(relayed().size(), 2u);
    EXPECT_EQ(relayed_to()[0], 1u);
    EXPECT_EQ(relayed()[0][11], 0xA1);
    EXPECT_EQ(relayed_to()[1], 2u);
    EXPECT_EQ(relayed()[1][11], 0xB0);
}

TEST_F(FpgaCards, all_ports_pass_through_answers_once_when_every_linked_port_answered)
{
    write_board(QJsonObject{{"cards", QJsonArray{2, 0, 0, 3}}});
    bring_up();
    run(100);
    fpga0_->clear_sent();
    pass_through({0xFF, 0x0F, 0x10, 0xF0, 0x00, 0x21, 0x01, 0xFF, 0x00, 0x40, 0x05, 0});
    ASSERT_EQ(fpga0_->sent().size(), 2u);
    EXPECT_EQ(fpga0_->sent()[0].port, 0);
    EXPECT_EQ(fpga0_->sent()[1].port, 3);
    ASSERT_EQ(relayed().size(), 1u);
    const Bytes& r = relayed()[0];
    EXPECT_EQ(r[7], 255);  // NETPORT
    EXPECT_EQ(r[2] | r[3] << 8, 0x0FFF);
    EXPECT_TRUE(ff::bcc_ok(r.data(), uint32_t(r.size())));
    EXPECT_EQ(f_->pass_all_pending.load(), 0);
}

TEST_F(FpgaCards, all_ports_pass_through_with_a_silent_port_expires)
{
    write_board(QJsonObject{{"cards", QJsonArray{2, 0, 0, 6}}});
    bring_up();
    run(100);
    // Card 5: only port 3 has one.
    pass_through({0x05, 0x00, 0x10, 0xF0, 0x00, 0x21, 0x01, 0xFF, 0x00, 0x40, 0x05, 0});
    EXPECT_TRUE(relayed().empty());
    EXPECT_EQ(f_->pass_all_pending.load(), 1);
    run(310);
    EXPECT_EQ(f_->pass_all_pending.load(), 0);
    EXPECT_EQ(f_->pass_all_answered.load(), 0u);
    EXPECT_EQ(f_->pass_mode.load(), 0);
    EXPECT_TRUE(relayed().empty());
}

TEST_F(FpgaCards, the_thread_keeps_its_1_ms_pass_only_while_a_card_owes_an_answer)
{
    bring_up();
    run(100);
    EXPECT_FALSE(f_->pass_due());  // idle: the next tick is soon enough

    // To output port 2, which has no card: the answer never comes, and is awaited 300 ticks
    // from the tool's frame. A frame that came while the panel still had ticks due is stamped
    // ahead of the ticks run (30 here): the wait counts from it.
    for (const u32 ahead : {0u, 30u}) {
        pc_cmd_time = G_timeTicks.load() + ahead;
        pass_through({0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x02, 0x00, 0x61, 0, 0, 0, 0, 0x10, 0, 0, 0, 0}, 0);
        EXPECT_TRUE(f_->pass_due());
        run(300 + ahead);
        EXPECT_TRUE(f_->pass_due()) << ahead;
        run(1);
        EXPECT_FALSE(f_->pass_due()) << ahead;
    }

    // An answer relayed ends the wait at once.
    pc_cmd_time = G_timeTicks.load();
    pass_through({0x01, 0x00, 0x10, 0xF0, 0x00, 0x00, 0x01, 0x07, 0x00, 0x61, 0, 0, 0, 0, 0x10, 0, 0, 0, 0});
    ASSERT_EQ(relayed().size(), 1u);
    EXPECT_FALSE(f_->pass_due());

    // The scaler waits for the blank of an LED-size hand-over.
    g_set_led_para = 1;
    EXPECT_TRUE(f_->pass_due());
    ASSERT_TRUE(run_until([&] { return g_set_led_para == 0; }, 100));
    EXPECT_FALSE(f_->pass_due());

    // The idle wait ends on a wake or a tick that came after the thread's stamp, also one that
    // came while its pass ran; without either it lasts its whole time-out.
    uint64_t t = clock_.now_us();
    fpga_wait_for_tick_or_wake(fpga_wake_stamp(), 20000);
    EXPECT_EQ(clock_.now_us(), t + 20000);
    FpgaWakeStamp seen = fpga_wake_stamp();
    fpga_wake();
    t = clock_.now_us();
    fpga_wait_for_tick_or_wake(seen, 20000);
    EXPECT_EQ(clock_.now_us(), t);
    seen = fpga_wake_stamp();
    advance_tick();
    fpga_wait_for_tick_or_wake(seen, 20000);
    EXPECT_EQ(clock_.now_us(), t);
}
