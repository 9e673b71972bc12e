// The source, crop, EDID, layout and user-mode pages on the offscreen platform, on a simulated
// board under a temporary root, worked by panel keys. The tests drive the 10 ms tick; steps
// inside a page's modal loop (the page, the keypad, the tip) are queued with Steps.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QtTest>
#include <cstring>
#include <fstream>

#include "common/temp_dir.h"
#include "core/ConfigEngine.h"
#include "core/SyncUpdate.h"
#include "core/c331_shared.h"
#include "scaler/omenu_file.h"
#include "sim/sim_board.h"
#include "ui/page_test_aids.h"
#include "ui/shell/LockWindow.h"
#include "ui/shell/My_lineEdit.h"
#include "ui/shell/NumberKeyboard.h"
#include "ui/shell/Option.h"
#include "ui/shell/image_access.h"
#include "ui/shell/page_open.h"
#include "ui/shell/panel_keys.h"
#include "ui/shell/shell_start.h"
#include "ui/shell/text_fit.h"
#include "ui/source_pages/CustomMode.h"
#include "ui/source_pages/EDIDset.h"
#include "ui/source_pages/ImageLayout.h"
#include "ui/source_pages/InputChoose.h"
#include "ui/source_pages/InputCut.h"
#include "ui/source_pages/source_pages.h"
#include "ui/source_pages/tlxcontrol.h"

namespace {

TlxRamPara* store() { return TlxRamPara::p_tlxrampara_config; }
u16 word(u32 addr) { return get_u16(image(), addr); }
u16 crop_key(int source, int id) { return static_cast<u16>(0x8000 | ((id - 1) << 8) | source); }

void clear_crops() { std::memset(image() + ram_crop_table, 0, RAM_CROP_ROWS * RAM_CROP_STRIDE); }
void set_crop(u8* base, int row, int source, int id, u16 x = 0, u16 y = 0, u16 w = 640, u16 h = 360)
{
    const u16 v[5] = {crop_key(source, id), x, y, w, h};
    for (int i = 0; i < 5; ++i)
        put_u16(base, ram_crop_addr(row, 2 * i), v[i]);
}
// Windows 1..5 off except those listed; window 0 is always shown.
void windows_on(std::initializer_list<int> on)
{
    for (int w = 1; w < 6; ++w)
        put_u16(image(), ram_window_addr(w, WIN_ENABLE), 0);
    for (int w : on)
        put_u16(image(), ram_window_addr(w, WIN_ENABLE), 1);
}
void type_on_keypad(const char* digits)
{
    for (const char* d = digits; *d; ++d)
        g_numberkeyboard->press(QString(QChar(*d)));
    g_numberkeyboard->press("ok");
}
QString strip_label(QWidget* page, const char* name) { return page->findChild<QLabel*>(name)->text(); }
// An EDID record (width, height, rate) at rec, as a tool writes it.
void put_edid_record(u32 rec, u16 w, u16 h, u16 hz)
{
    put_u16(image(), rec, w);
    put_u16(image(), rec + 2, h);
    put_u16(image(), rec + 4, hz);
}
// From the source page: the EDID page.
void open_edid_page()
{
    key(KEY_LEFT);
    key(KEY_OK);
}

}  // namespace

class SourcePagesTest : public QObject {
    Q_OBJECT
    testutil::TempDir root_;
    std::unique_ptr<sim::SimBoard> board_;

    bool shell_ran(const std::string& line)
    {
        for (const auto& l : board_->sim_shell().history())
            if (l == line)
                return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        board_ = start_board_and_store(root_.path());
        source_pages_register();
        start_shell_windows();
        g_back_to_mainwindow_time = 1000000;
        g_auto_lock_time = 2000000;
    }

    void cleanupTestCase()
    {
        delete_shell_windows();
    }

    void init()
    {
        c331_shared::param_changed = 0;
        g_language = 1;
        key(KEY_OK);  // home -> main window
        QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
    }

    void cleanup()
    {
        g_mainwindow->take_pending_tip();  // a choice's tip waits for a store no test ran
        g_mainwindow->go_home();
        QCOMPARE(int(g_page_focus), int(PAGE_LOCKWINDOW));
        QCOMPARE(PageFrame::open_pages().size(), size_t(0));
    }

    // The window strip shows the switched-on windows in their own colours; F5 runs over the
    // tiles and the two buttons. A crop's name too long for its tile keeps its input's name
    // and number.
    void inputChooseShowsTheSwitchedOnWindows()
    {
        windows_on({3});
        clear_crops();
        set_crop(image(), 0, 2, 1);
        set_crop(image(), 5, 2, 12);
        store()->TlxCropSourceInit();
        put_u16(image(), ram_window_addr(3, WIN_SOURCE), u16(WIN_SOURCE_CROP | 5));
        Steps().run({
            [] { g_mainwindow->on_inputchoose_clicked(); },
            [] {
                QVERIFY(g_inputchoose);
                QCOMPARE(int(g_page_focus), int(PAGE_INPUTCHOOSE));
                QCOMPARE(g_inputchoose->tile_count(), 2);
                QCOMPARE(g_inputchoose->tile(0)->text(), QString("1"));
                QVERIFY(g_inputchoose->tile(0)->styleSheet().contains("#867AE9"));
                QCOMPARE(g_inputchoose->tile(1)->text(), QString("4"));
                QVERIFY(g_inputchoose->tile(1)->styleSheet().contains("#EBA83A"));
                QCOMPARE(g_inputchoose->tile_source_text(3), QString("HDMI1_Crop12"));
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                const QLabel* name = g_inputchoose->tile(1)->findChildren<QLabel*>().value(0);
                QVERIFY(name && name->text().startsWith("HDMI1"));
                QVERIFY2(name->text().endsWith("Crop12") && !textfit::elided(name), qPrintable(name->text()));
                shot("inputchoose");
                key(KEY_OK);
                key(KEY_OK);
                // The in-use badge of the window's source: whole and legible in every language,
                // no soft hyphen in Chinese.
                const char* const badge_text[4] = {"使用中", "Using", "Текущий", "Đang dùng"};
                for (int lang = 0; lang < 4; ++lang) {
                    g_language = static_cast<u8>(lang);
                    g_inputchoose->initSource();
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                    QList<const QLabel*> badges;
                    for (const QLabel* l : g_inputchoose->card_panel_frame()->findChildren<QLabel*>())
                        if (l->styleSheet().contains("#00D65B"))
                            badges << l;
                    QCOMPARE(badges.size(), 1);
                    QCOMPARE(textfit::full_text(badges[0]), QString::fromUtf8(badge_text[lang]));
                    QVERIFY2(!textfit::elided(badges[0]) && QFontInfo(badges[0]->font()).pixelSize() >= 9,
                             qPrintable(badges[0]->text()));
                    shot(qPrintable(QString("inputchoose_badge_%1").arg(lang)));
                }
                keys(KEY_BACK, 2);
                g_language = 1;
                for (int expect : {1, 6, 7, 0}) {
                    key(KEY_RIGHT);
                    QCOMPARE(g_inputchoose->ui_select_index(), expect);
                }
                // A tool switches windows on and off: the strip follows, the focus stays on its
                // window, and goes to window 1 when its own is switched off.
                key(KEY_RIGHT);  // window 4
                put_u16(image(), ram_window_addr(1, WIN_ENABLE), 1);
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_inputchoose->tile_count(), 3);
                QCOMPARE(g_inputchoose->tile(1)->text(), QString("2"));
                QCOMPARE(g_inputchoose->ui_select_index(), 2);
                put_u16(image(), ram_window_addr(3, WIN_ENABLE), 0);
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_inputchoose->tile_count(), 2);
                QCOMPARE(g_inputchoose->ui_select_index(), 0);
                key(KEY_BACK);
            },
            [] {
                QVERIFY(!g_inputchoose);
                QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
            },
        });
        put_u16(image(), ram_window_addr(3, WIN_SOURCE), 2);
        clear_crops();
        store()->TlxCropSourceInit();
    }

    // Aliases that share their beginning tell the inputs and crops apart in every language: on
    // the source page's and the crop editor's input strips and on the cards, an alias that does
    // not fit gives way to the input's or the crop's own name.
    void aliasesSharingABeginningStayDistinct()
    {
        windows_on({});
        clear_crops();
        set_crop(image(), 0, 4, 1);
        set_crop(image(), 1, 4, 2);
        store()->TlxCropSourceInit();
        put_u16(image(), ram_window_addr(0, WIN_SOURCE), 4);  // HDMI3
        const char* sources[4] = {"Camera Left", "Camera Right", "Stage PC 1", "Stage PC 2"};
        {
            std::ofstream f(root_.file("data/configs/alias.json"));
            f << "{\"namelist\": {\"source\": [";
            for (int s = 2; s < 6; ++s)
                f << (s > 2 ? "," : "") << "{\"id\": " << s << ", \"valid\": \"on\", \"name\": \"" << sources[s - 2] << "\"}";
            f << "], \"crop\": [{\"id\": 0, \"valid\": \"on\", \"name\": \"Stage PC 1 wide shot A\"},"
                 "{\"id\": 1, \"valid\": \"on\", \"name\": \"Stage PC 1 wide shot B\"}]}}";
        }
        // The plain texts of the labels named, as painted.
        static auto texts = [](QWidget* page, std::initializer_list<const char*> names) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QStringList t;
            for (const char* n : names) {
                QTextDocument doc;
                doc.setHtml(page->findChild<QLabel*>(n)->text());
                t << doc.toPlainText();
            }
            return t;
        };
        static auto distinct = [](const QStringList& t) {
            QStringList heads;  // what tells them apart: the text before any count
            for (const QString& s : t)
                heads << s.section('(', 0, 0);
            return heads.removeDuplicates() == 0 ? QString() : t.join(" | ");
        };
        for (int lang = 0; lang < 4; ++lang) {
            g_language = static_cast<u8>(lang);
            Steps().run({
                [] { g_mainwindow->on_inputchoose_clicked(); },
                [lang] {
                    const auto strip = {"label_HDMI1_text", "label_HDMI2_text", "label_HDMI3_text", "label_HDMI4_text"};
                    const QString same = distinct(texts(g_inputchoose, strip));
                    QVERIFY2(same.isEmpty(), qPrintable(same));
                    key(KEY_OK);
                    key(KEY_OK);  // HDMI3's cards
                    QStringList cards;
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                    for (const QLabel* l : g_inputchoose->card_panel_frame()->findChildren<QLabel*>())
                        if (l->geometry() == QRect(3, 15, 80, 12))  // a card's name
                            cards << l->text();
                    QCOMPARE(cards.size(), 3);
                    QVERIFY2(distinct(cards).isEmpty(), qPrintable(cards.join(" | ")));
                    shot(qPrintable(QString("inputchoose_aliases_%1").arg(lang)));
                    keys(KEY_BACK, 2);
                    keys(KEY_LEFT, 2);
                    key(KEY_OK);  // the crop editor
                },
                [] {
                    const auto strip = {"label_HDMI1_text", "label_HDMI2_text", "label_HDMI3_text", "label_HDMI4_text"};
                    const QString same = distinct(texts(g_inputcut, strip));
                    QVERIFY2(same.isEmpty(), qPrintable(same));
                    keys(KEY_BACK, 2);
                },
                [] { QVERIFY(!g_inputcut && !g_inputchoose); },
            });
            g_mainwindow->go_home();
            key(KEY_OK);
        }
        g_language = 1;
        std::remove(root_.file("data/configs/alias.json").c_str());
        put_u16(image(), ram_window_addr(0, WIN_SOURCE), 2);
        clear_crops();
        store()->TlxCropSourceInit();
    }

    // OK on a card writes the window's source word (whole input, then a crop's row), clears a
    // persisted current mode only, and shows the tip with the scaler lock free; F5 and F4 wrap
    // over the card pages.
    void inputChooseWritesTheWindowSource()
    {
        windows_on({2});
        clear_crops();
        const int rows[4] = {3, 7, 10, 12};  // HDMI3 crop ids 1..4
        for (int i = 0; i < 4; ++i)
            set_crop(image(), rows[i], 4, i + 1);
        put_u16(image(), ram_window_addr(2, WIN_SOURCE), 3);  // HDMI2
        put_u16(image(), ram_current_mode, 3);
        put_u16(store()->ram_shadow, ram_current_mode, 3);
        put_u16(store()->ram_applied, ram_current_mode, 3);
        Steps().run({
            [] { g_mainwindow->on_inputchoose_clicked(); },
            [] {
                key(KEY_RIGHT);  // window 3
                key(KEY_OK);     // the inputs, on HDMI2
                QCOMPARE(g_inputchoose->ui_select_index(), 1);
                key(KEY_RIGHT);  // HDMI3
                QCOMPARE(g_inputchoose->shown_source(), 4);
                key(KEY_OK);  // the cards
                QCOMPARE(g_inputchoose->level(), 2);
                QCOMPARE(g_inputchoose->entry_in_focus(), 0);
                shot("inputchoose_cards");
                key(KEY_OK);  // the whole input
                QCOMPARE(int(c331_shared::param_changed), 1);
                QVERIFY(!g_tip->showing());  // not before the store
                c331_shared::param_changed = 0;  // the scaler's pass, then its signal: kept, the tip runs its loop
                SyncUpdate::pInstance()->para_sync(1);
            },
            [] {
                QVERIFY(g_tip->showing());
                QCOMPARE(int(c331_shared::param_changed), 0);  // shown after the store, not before
                QCOMPARE(word(0x91C), u16(0x0004));
                QCOMPARE(word(ram_current_mode), u16(0));
                QVERIFY(c331_shared::c331_lock.tryLock());
                c331_shared::c331_lock.unlock();
                shot("inputchoose_tip");
                ticks(200);
            },
            [] {},
            [] {
                QCOMPARE(g_inputchoose->tile_source_text(2), QString("HDMI3"));
                put_u16(image(), ram_current_mode, 5);  // recalled, not yet persisted
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // crop entry 2, in row 7
            },
            [] { ticks(200); },
            [] {},
            [] {
                QCOMPARE(word(0x91C), u16(0x8007));
                QCOMPARE(word(ram_current_mode), u16(5));
                QCOMPARE(g_inputchoose->tile_source_text(2), QString("HDMI3_Crop2"));
                key(KEY_RIGHT);  // entry 3, page 1
                QCOMPARE(g_inputchoose->card_page(), 1);
                key(KEY_RIGHT);
                key(KEY_RIGHT);  // past entry 4: entry 0
                QCOMPARE(g_inputchoose->card_page(), 0);
                QCOMPARE(g_inputchoose->entry_in_focus(), 0);
                key(KEY_LEFT);  // back to the last entry
                QCOMPARE(g_inputchoose->card_page(), 1);
                QCOMPARE(g_inputchoose->entry_in_focus(), 4);
                shot("inputchoose_page2");
                keys(KEY_BACK, 3);
            },
            [] { QVERIFY(!g_inputchoose); },
        });
    }

    // A tool changes the crops while the cards are shown: the focus stays on the crop the user
    // chose (by id), through a refresh or not, and OK writes that crop; when a tool deletes it
    // the focus goes to the whole input with a tip, and that key writes nothing.
    void inputChooseWritesOnlyTheCardShown()
    {
        windows_on({});
        clear_crops();
        set_crop(image(), 4, 2, 2);
        set_crop(image(), 6, 2, 3);
        put_u16(image(), ram_window_addr(0, WIN_SOURCE), 3);  // HDMI2
        Steps().run({
            [] { g_mainwindow->on_inputchoose_clicked(); },
            [] {
                key(KEY_OK);
                key(KEY_LEFT);  // HDMI1
                key(KEY_OK);    // the cards
                keys(KEY_RIGHT, 2);
                QCOMPARE(g_inputchoose->entry_in_focus(), 2);  // the card of crop id 3
                set_crop(image(), 0, 2, 1);  // a tool adds id 1 before it
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_inputchoose->entry_in_focus(), 3);  // still crop id 3, on the next card page
                QCOMPARE(g_inputchoose->card_page(), 1);
                key(KEY_LEFT);  // crop id 2
                QCOMPARE(g_inputchoose->entry_in_focus(), 2);
                put_u16(image(), ram_crop_addr(0, CROP_KEY), 0);  // a tool deletes id 1, no refresh yet
                c331_shared::param_changed = 0;
                key(KEY_OK);  // crop id 2, in row 4
            },
            [] { ticks(200); },
            [] {},
            [] {
                QCOMPARE(word(ram_window_addr(0, WIN_SOURCE)), u16(0x8004));
                QCOMPARE(int(c331_shared::param_changed), 1);
                QCOMPARE(g_inputchoose->entry_in_focus(), 1);
                QVERIFY(g_inputchoose->tip_text().isEmpty());
                put_u16(image(), ram_crop_addr(4, CROP_KEY), 0);  // a tool deletes id 2
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_inputchoose->entry_in_focus(), 0);  // the whole input, with a tip
                QVERIFY(!g_inputchoose->tip_text().isEmpty());
                shot("inputchoose_crop_gone");
                for (int lang = 0; lang < 4; ++lang) {  // the tip is shown whole in every language
                    g_language = static_cast<u8>(lang);
                    g_inputchoose->language_changed();
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                    QVERIFY2(!g_inputchoose->tip_text().isEmpty() && !textfit::elided(g_inputchoose->findChild<QLabel*>("label_tip")),
                             qPrintable(g_inputchoose->tip_text()));
                }
                g_language = 1;
                g_inputchoose->language_changed();
                key(KEY_RIGHT);  // crop id 3
                QVERIFY(g_inputchoose->tip_text().isEmpty());
                put_u16(image(), ram_crop_addr(6, CROP_KEY), 0);  // a tool deletes it, no refresh yet
                c331_shared::param_changed = 0;
                key(KEY_OK);  // nothing written: the tip
                QCOMPARE(word(ram_window_addr(0, WIN_SOURCE)), u16(0x8004));
                QCOMPARE(int(c331_shared::param_changed), 0);
                QCOMPARE(g_inputchoose->entry_in_focus(), 0);
                QVERIFY(!g_inputchoose->tip_text().isEmpty());
                keys(KEY_BACK, 3);
            },
            [] { QVERIFY(!g_inputchoose); },
        });
        put_u16(image(), ram_window_addr(0, WIN_SOURCE), 2);
        clear_crops();
        store()->TlxCropSourceInit();
    }

    // Delete, add (lowest free id and row), rewrite, Cancel and PowerOff, a full table; the
    // source page shows the new count on return.
    void inputCutEditsTheCropTable()
    {
        windows_on({});
        clear_crops();
        for (int id = 1; id <= 3; ++id)
            set_crop(image(), id - 1, 2, id, u16(10 * id), u16(20 * id));
        store()->TlxCropSourceInit();
        static u8 before[RAM_CROP_ROWS * RAM_CROP_STRIDE];
        auto snapshot = [] { std::memcpy(before, image() + ram_crop_table, sizeof before); };
        auto unchanged = [] { return std::memcmp(before, image() + ram_crop_table, sizeof before) == 0; };
        Steps().run({
            [] { g_mainwindow->on_inputchoose_clicked(); },
            [] {
                keys(KEY_LEFT, 2);
                key(KEY_OK);  // the crop editor
            },
            [] {
                QVERIFY(g_inputcut);
                QCOMPARE(g_inputcut->shown_source(), 2);
                key(KEY_OK);
                QCOMPARE(g_inputcut->card_names(),
                         QStringList({"HDMI1", "HDMI1_crop1", "HDMI1_crop2", "HDMI1_crop3"}));
                keys(KEY_RIGHT, 3);
                key(KEY_OK);  // edit id 2
                QCOMPARE(g_inputcut->level(), 3);
                QCOMPARE(g_inputcut->edit_name(), QString("Name:HDMI1-Crop-2"));
                QCOMPARE(g_inputcut->field(0)->text(), QString("20"));
                for (const char* row : {"label_crop", "label_X", "lineEdit_X", "label_H", "lineEdit_H"})
                    QCOMPARE(g_inputcut->findChild<QWidget*>(row)->y(), 30);
                shot("inputcut_edit");
                keys(KEY_LEFT, 3);  // OK, Cancel, Delete
                key(KEY_OK);
                QCOMPARE(word(ram_crop_addr(1, CROP_KEY)), u16(0));
                QCOMPARE(word(ram_crop_addr(1, CROP_X)), u16(20));  // only the key is cleared
                QCOMPARE(int(c331_shared::param_changed), 1);
                QCOMPARE(g_inputcut->level(), 1);
                QCOMPARE(g_inputcut->position(), 3);  // still a card: now id 3
                QCOMPARE(g_inputcut->card_names(), QStringList({"HDMI1", "HDMI1_crop1", "HDMI1_crop3"}));
                keys(KEY_LEFT, 3);
                key(KEY_OK);  // add
                QCOMPARE(g_inputcut->level(), 2);
                QCOMPARE(g_inputcut->edit_name(), QString("Name:HDMI1-Crop-3"));
                QCOMPARE(g_inputcut->field(2)->text(), QString("1920"));
                shot("inputcut_add");
                key(KEY_LEFT);  // OK
                key(KEY_OK);
                QCOMPARE(word(ram_crop_addr(1, CROP_KEY)), crop_key(2, 2));
                QCOMPARE(word(ram_crop_addr(1, CROP_WIDTH)), u16(1920));
                QCOMPARE(word(ram_crop_addr(1, CROP_HEIGHT)), u16(1080));
                QCOMPARE(g_inputcut->card_names().value(2), QString("HDMI1_crop2"));
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // edit id 1
                key(KEY_OK);  // X: the keypad
            },
            [] { type_on_keypad("77"); },
            [] {
                QCOMPARE(g_inputcut->field(0)->text(), QString("77"));
                key(KEY_LEFT);
                key(KEY_OK);
                QCOMPARE(word(ram_crop_addr(0, CROP_X)), u16(77));
                QCOMPARE(word(ram_crop_addr(0, CROP_KEY)), crop_key(2, 1));
                QCOMPARE(word(ram_crop_addr(0, CROP_Y)), u16(20));
                key(KEY_OK);
                key(KEY_OK);  // X again
            },
            [] { type_on_keypad("-5"); },
            [] {  // refused with a tip; a large word is taken as it is
                QCOMPARE(g_inputcut->field(0)->text(), QString("77"));
                QVERIFY(!g_inputcut->tip_text().isEmpty());
                shot("inputcut_out_of_range");
                for (const QWidget* button : g_inputcut->findChildren<QPushButton*>())  // nothing hides the tip
                    QVERIFY(!button->isVisible() ||
                            !button->geometry().intersects(g_inputcut->findChild<QLabel*>("label_tip")->geometry()));
                key(KEY_RIGHT);
                QVERIFY(g_inputcut->tip_text().isEmpty());
                key(KEY_OK);
            },
            [] { type_on_keypad("40000"); },
            [] {
                keys(KEY_LEFT, 2);
                key(KEY_OK);
                QCOMPARE(word(ram_crop_addr(0, CROP_X)), u16(77));
                QCOMPARE(word(ram_crop_addr(0, CROP_Y)), u16(40000));
            },
            [snapshot] {
                snapshot();
                c331_shared::param_changed = 0;
                key(KEY_OK);
                key(KEY_OK);  // X: the keypad
            },
            [] { type_on_keypad("5"); },
            [unchanged] {
                key(KEY_BACK);  // PowerOff: nothing stored
                QCOMPARE(g_inputcut->level(), 1);
                key(KEY_OK);
                keys(KEY_LEFT, 2);
                key(KEY_OK);  // Cancel
                keys(KEY_LEFT, 2);
                key(KEY_OK);  // add, then Cancel
                keys(KEY_LEFT, 2);
                key(KEY_OK);
                QVERIFY(unchanged());
                QCOMPARE(int(c331_shared::param_changed), 0);
            },
            [snapshot, unchanged] {
                for (int row = 3; row < RAM_CROP_ROWS; ++row)  // the rest of the table: DVI
                    set_crop(image(), row, 1, row - 2);
                snapshot();
                key(KEY_OK);  // add with the table full
                key(KEY_LEFT);
                key(KEY_OK);
                QVERIFY(unchanged());
                QCOMPARE(int(c331_shared::param_changed), 0);
                QCOMPARE(g_inputcut->level(), 1);
                QVERIFY(!g_inputcut->tip_text().isEmpty());  // the user is told nothing was added
                for (int lang = 0; lang < 4; ++lang) {  // whole in every language
                    g_language = static_cast<u8>(lang);
                    g_inputcut->language_changed();
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                    QVERIFY2(!textfit::elided(g_inputcut->findChild<QLabel*>("label_tip")), qPrintable(g_inputcut->tip_text()));
                }
                g_language = 1;
                g_inputcut->language_changed();
                keys(KEY_BACK, 2);
            },
            [] {
                QVERIFY(!g_inputcut);
                QCOMPARE(int(g_page_focus), int(PAGE_INPUTCHOOSE));
                QVERIFY(strip_label(g_inputchoose, "label_HDMI1_text").contains(">4<"));
                QVERIFY(strip_label(g_inputchoose, "label_DVI_text").contains(">38<"));
                key(KEY_BACK);
            },
        });
        clear_crops();
        store()->TlxCropSourceInit();
    }

    // The crop table changed behind the editor (a mode recall before it opens, a remote write
    // while it is open): the cards follow the table and Add takes an id no row uses.
    void inputCutFollowsATableChangedBehindIt()
    {
        windows_on({});
        clear_crops();
        set_crop(image(), 0, 2, 1);
        store()->TlxCropSourceInit();
        set_crop(image(), 1, 2, 2, 0, 0, 800, 600);  // as a recall restores it
        Steps().run({
            [] { g_mainwindow->on_option_clicked(); },
            [] { g_option->on_input_cut_clicked(); },
            [] {
                QVERIFY(g_inputcut);
                key(KEY_OK);
                QCOMPARE(g_inputcut->card_names(), QStringList({"HDMI1", "HDMI1_crop1", "HDMI1_crop2"}));
                set_crop(image(), 4, 2, 4);  // a remote write while the editor is open
                key(KEY_OK);                 // Add
                QCOMPARE(g_inputcut->edit_name(), QString("Name:HDMI1-Crop-4"));
                key(KEY_LEFT);
                key(KEY_OK);
                QCOMPARE(word(ram_crop_addr(2, CROP_KEY)), crop_key(2, 3));
                QCOMPARE(g_inputcut->card_names(),
                         QStringList({"HDMI1", "HDMI1_crop1", "HDMI1_crop2", "HDMI1_crop3", "HDMI1_crop4"}));
                keys(KEY_BACK, 2);
            },
            [] {
                QVERIFY(!g_inputcut);
                g_mainwindow->go_home();
            },
        });
        clear_crops();
        store()->TlxCropSourceInit();
    }

    // A tool changes the crop table while the edit row is open: the row keeps its item and
    // its crop (by id), follows that crop's new place and values, and closes with a tip when
    // the crop is removed; nothing is written to a crop the user did not choose.
    void inputCutEditRowFollowsItsCrop()
    {
        windows_on({});
        clear_crops();
        set_crop(image(), 0, 2, 1, 10, 10);
        set_crop(image(), 1, 2, 2, 20, 20);
        store()->TlxCropSourceInit();
        static u8 before[RAM_CROP_ROWS * RAM_CROP_STRIDE];
        auto snapshot = [] { std::memcpy(before, image() + ram_crop_table, sizeof before); };
        auto unchanged = [] { return std::memcmp(before, image() + ram_crop_table, sizeof before) == 0; };
        auto tool_sync = [] { SyncUpdate::pInstance()->para_sync(1); };
        Steps().run({
            [] { g_mainwindow->on_option_clicked(); },
            [] { g_option->on_input_cut_clicked(); },
            [snapshot, unchanged] {
                key(KEY_OK);
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // edit crop id 1
                QCOMPARE(g_inputcut->level(), 3);
                keys(KEY_LEFT, 2);
                QCOMPARE(g_inputcut->edit_item(), 5);  // Cancel
                set_crop(image(), 2, 2, 3);            // a tool adds HDMI1 id 3
                snapshot();
                key(KEY_OK);  // still Cancel: crop 1 stays
                QVERIFY(unchanged());
                QCOMPARE(g_inputcut->level(), 1);
                QCOMPARE(word(ram_crop_addr(0, CROP_KEY)), crop_key(2, 1));
            },
            [] {
                keys(KEY_RIGHT, 1);
                key(KEY_OK);  // edit crop id 2 (third card), X in focus
                QCOMPARE(g_inputcut->edit_name(), QString("Name:HDMI1-Crop-2"));
                QCOMPARE(g_inputcut->edit_item(), 0);
            },
            [tool_sync, snapshot, unchanged] {
                put_u16(image(), ram_crop_addr(0, CROP_KEY), 0);  // a tool deletes crop 1
                tool_sync();
                QCOMPARE(g_inputcut->level(), 3);
                QCOMPARE(g_inputcut->edit_name(), QString("Name:HDMI1-Crop-1"));
                QCOMPARE(g_inputcut->edit_item(), 0);
                QCOMPARE(g_inputcut->card_names(), QStringList({"HDMI1", "HDMI1_crop2", "HDMI1_crop3"}));
                key(KEY_LEFT);
                QCOMPARE(g_inputcut->edit_item(), 6);  // OK, not the keypad for X
                put_u16(image(), ram_crop_addr(1, CROP_Y), 99);  // and moves crop 2
                snapshot();
                key(KEY_RIGHT);
                QCOMPARE(g_inputcut->field(1)->text(), QString("99"));
                key(KEY_OK);  // X: the keypad
            },
            [] { type_on_keypad("44"); },
            [] {
                put_u16(image(), ram_crop_addr(1, CROP_WIDTH), 777);  // the tool again, after the typing
                keys(KEY_LEFT, 1);
                QCOMPARE(g_inputcut->field(2)->text(), QString("777"));
                key(KEY_OK);  // OK: X as typed, the rest as stored now
                QCOMPARE(word(ram_crop_addr(1, CROP_KEY)), crop_key(2, 2));
                QCOMPARE(word(ram_crop_addr(1, CROP_X)), u16(44));
                QCOMPARE(word(ram_crop_addr(1, CROP_Y)), u16(99));
                QCOMPARE(word(ram_crop_addr(1, CROP_WIDTH)), u16(777));
                QCOMPARE(word(ram_crop_addr(2, CROP_KEY)), crop_key(2, 3));
                QCOMPARE(word(ram_crop_addr(2, CROP_X)), u16(0));
            },
            [tool_sync, snapshot, unchanged] {
                QCOMPARE(g_inputcut->level(), 1);
                key(KEY_OK);  // edit crop id 2 again
                QCOMPARE(g_inputcut->level(), 3);
                keys(KEY_LEFT, 3);  // Delete
                QCOMPARE(g_inputcut->edit_item(), 4);
                put_u16(image(), ram_crop_addr(1, CROP_KEY), 0);  // a tool deletes the edited crop
                snapshot();
                key(KEY_OK);  // the row closes with a tip; crop 3 is not deleted
                QVERIFY(unchanged());
                QCOMPARE(g_inputcut->level(), 1);
                QVERIFY(!g_inputcut->tip_text().isEmpty());
                QCOMPARE(g_inputcut->card_names(), QStringList({"HDMI1", "HDMI1_crop3"}));
                key(KEY_OK);  // edit crop 3; a tool deletes it, the refresh closes the row
                QCOMPARE(g_inputcut->level(), 3);
                QVERIFY(g_inputcut->tip_text().isEmpty());
                put_u16(image(), ram_crop_addr(2, CROP_KEY), 0);
                tool_sync();
                QCOMPARE(g_inputcut->level(), 1);
                QVERIFY(!g_inputcut->tip_text().isEmpty());
                QCOMPARE(g_inputcut->position(), 1);  // the whole input: the last card left
                shot("inputcut_crop_gone");
                for (int lang = 0; lang < 4; ++lang) {  // the tip is shown whole in every language
                    g_language = static_cast<u8>(lang);
                    g_inputcut->language_changed();
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                    for (const QLabel* l : g_inputcut->findChildren<QLabel*>())
                        if (l->isVisible())
                            QVERIFY2(!textfit::elided(l), qPrintable(l->text()));
                }
                g_language = 1;
                g_inputcut->language_changed();
                keys(KEY_BACK, 2);
            },
            [] {
                QVERIFY(!g_inputcut);
                g_mainwindow->go_home();
            },
        });
        clear_crops();
        store()->TlxCropSourceInit();
    }

    // The EDID page: strip wrap, rate editing and its PowerOff, Save of the whole record, a
    // rate other than 60/30 kept, and a size the EDID builder refuses not stored.
    void edidSetStoresTheRecord()
    {
        const u32 rec = ram_edid_addr(2);
        auto record = [rec](u16 w, u16 h, u16 hz) { put_edid_record(rec, w, h, hz); };
        record(1920, 1080, 60);
        Steps().run({
            [] { g_mainwindow->on_inputchoose_clicked(); },
            open_edid_page,
            [rec] {
                QVERIFY(g_edidset);
                QCOMPARE(g_edidset->port(), 2);
                key(KEY_LEFT);
                QCOMPARE(g_edidset->port(), 0);  // EXT
                key(KEY_RIGHT);
                key(KEY_OK);
                QVERIFY(g_edidset->panel_open());
                QCOMPARE(g_edidset->width_field()->text(), QString("1920"));
                keys(KEY_RIGHT, 2);
                key(KEY_OK);  // rate editing
                key(KEY_RIGHT);
                QCOMPARE(g_edidset->rate_text(), QString("30"));
                key(KEY_BACK);  // restores the selector
                QCOMPARE(g_edidset->rate_text(), QString("60"));
                QCOMPARE(g_edidset->level(), 1);
                key(KEY_OK);
                key(KEY_RIGHT);
                key(KEY_OK);
                shot("edidset_panel");
                keys(KEY_RIGHT, 3);  // Save
                key(KEY_OK);
                QCOMPARE(word(rec + 4), u16(30));
                QCOMPARE(word(rec), u16(1920));
                QCOMPARE(word(rec + 2), u16(1080));
                QCOMPARE(int(c331_shared::param_changed), 1);
                QCOMPARE(g_edidset->card_text(), QString("1920x1080@30Hz"));
            },
            [record, rec] {
                record(1920, 1080, 50);
                c331_shared::param_changed = 0;
                key(KEY_OK);
                QCOMPARE(g_edidset->rate_text(), QString("50"));
                keys(KEY_RIGHT, 2);
                keys(KEY_OK, 2);  // the rate confirmed without a toggle
                QCOMPARE(g_edidset->rate_text(), QString("50"));
                key(KEY_OK);
                key(KEY_BACK);  // and PowerOff from its editing
                QCOMPARE(g_edidset->rate_text(), QString("50"));
                keys(KEY_RIGHT, 3);  // Save
                key(KEY_OK);
                QCOMPARE(word(rec + 4), u16(50));
                QCOMPARE(int(c331_shared::param_changed), 1);
                record(1920, 1080, 120);
                key(KEY_OK);
                key(KEY_OK);  // width: the keypad
            },
            [] { type_on_keypad("4096"); },
            [] {
                key(KEY_RIGHT);
                key(KEY_OK);  // height
            },
            [] { type_on_keypad("2160"); },
            [] {
                c331_shared::param_changed = 0;
                keys(KEY_LEFT, 2);  // Save: the tip's loop runs the next step
                key(KEY_OK);
            },
            [rec] {
                // A timing the EDID builder refuses (the width does not fit the descriptor) is
                // not stored; the tip says why.
                QVERIFY(g_tip->isVisible());
                auto* text = g_tip->findChild<QLabel*>("label_tip_text");
                QVERIFY(text);
                QCOMPARE(textfit::full_text(text), QString("W and H: 1 to 4095"));
                QCOMPARE(word(rec), u16(1920));
                QCOMPARE(word(rec + 2), u16(1080));
                QCOMPARE(word(rec + 4), u16(120));
                QCOMPARE(int(c331_shared::param_changed), 0);
                QVERIFY(!g_edidset->card_text().startsWith("4096"));
                ticks(TIP::kTicks);
            },
            [] { key(KEY_BACK); },
            [] {
                QVERIFY(!g_edidset);
                QCOMPARE(int(g_page_focus), int(PAGE_INPUTCHOOSE));
                key(KEY_BACK);
            },
        });
        record(1920, 1080, 60);
    }

    // The user-mode page: opened on the mode in use, the selector's looks, the action wrap with
    // and without More, the OSD preview without data, Use and Delete.
    void customModeUsesAndDeletesModes()
    {
        for (auto& slot : store()->mode_slot)
            slot.bytes[0] = slot.bytes[1] = MODE_MARKER_EMPTY;
        MODE_SLOT& two = store()->mode_slot[2];
        MODE_SLOT& five = store()->mode_slot[5];
        two.bytes[0] = two.bytes[1] = five.bytes[0] = five.bytes[1] = MODE_MARKER_SAVED;
        put_u16(two.bytes, MODE_SLOT_OSD, 0);
        for (u32 i = 0; i < RAM_MODE_LEN; ++i)
            five.image()[i] = static_cast<u8>(i * 7);
        put_u16(five.bytes, MODE_SLOT_OSD, 1);
        std::ofstream(root_.file("data/modes/custom_mode6"), std::ios::binary).write(reinterpret_cast<char*>(five.bytes), MODE_FILE_SIZE);
        std::ofstream(root_.file("data/modes/MO06.json")) << "{ \"menu\": [ broken";
        std::ofstream(root_.file("data/configs/omenu.json")) << "{\"osdcount\": 0}";
        put_u16(image(), ram_current_mode, 3);

        g_mainwindow->on_custommode_clicked();
        QVERIFY(g_custommode);
        QCOMPARE(int(g_page_focus), int(PAGE_CUSTOMMODE));
        QCOMPARE(panel_key_target(), static_cast<QWidget*>(g_custommode));
        CustomMode* list = g_custommode;
        g_mainwindow->on_custommode_clicked();  // a tap on the row under it: the same list
        QCOMPARE(g_custommode, list);
        QCOMPARE(PageFrame::open_pages().size(), size_t(1));
        QComboBox* box = g_custommode->selector_widget()->combo_box();
        QCOMPARE(box->currentIndex(), 2);
        QCOMPARE(box->currentText(), QString("MODE 3"));
        QCOMPARE(g_custommode->info_label("label_ID")->text(), QString("ID:3"));
        QVERIFY(!g_custommode->info_label("label_using")->isHidden());
        g_language = 0;  // the in-use badge shows no soft hyphen
        g_custommode->language_changed();
        QCOMPARE(textfit::full_text(g_custommode->info_label("label_using")), QString::fromUtf8("使用中"));
        g_language = 1;
        g_custommode->language_changed();
        QVERIFY(box->styleSheet().contains("255,171,84"));
        QVERIFY(g_custommode->selector_widget()->left_label()->styleSheet().contains("255,171,84"));
        shot("custommode");
        key(KEY_OK);  // mode 3 has no OSD: two actions
        QVERIFY(box->styleSheet().contains("71,119,255"));
        QVERIFY(g_custommode->selector_widget()->right_label()->styleSheet().contains("71,119,255"));
        key(KEY_LEFT);
        QCOMPARE(g_custommode->action(), 1);
        key(KEY_RIGHT);
        QCOMPARE(g_custommode->action(), 0);
        key(KEY_BACK);
        QCOMPARE(g_custommode->level(), 0);
        keys(KEY_RIGHT, 3);  // mode 6, with OSD
        QVERIFY(g_custommode->info_label("label_using")->isHidden());
        key(KEY_OK);
        key(KEY_LEFT);  // More
        QCOMPARE(g_custommode->action(), 2);
        const QStringList osd = g_custommode->preview_texts();
        QCOMPARE(osd.size(), 2);
        QCOMPARE(osd[0], QString());
        QVERIFY(osd[1].startsWith("osd [x:0,y:0,w:0,h:0] font size:0*0"));
        QVERIFY(osd[1].endsWith("effect:static"));
        QVERIFY(testutil::file_exists(root_.file("data/configs/omenu.json")));
        QVERIFY(testutil::file_exists(root_.file("data/modes/MO06.json")));
        std::ofstream(root_.file("data/modes/MO06.json")) << R"({"name": "m", "osdcount": 1, "oactcount": 1,
            "menu": [{"type": 0, "status": "on", "pos": {"x": 5, "y": 6, "w": 100, "h": 50},
                      "act": {"effect": 3, "speed": 2, "staytime": 0},
                      "backpara": {"enable": "on", "color": "0x102030"},
                      "fontpara": {"startx": 1, "starty": 2, "fontw": 32, "fonth": 32, "wordspace": 3,
                                   "verticalspace": 4, "color": "FF0000"},
                      "texts": "L1\nL2\nL3\nL4\nL5"}]})";
        key(KEY_RIGHT);
        key(KEY_LEFT);  // More again: the file is read anew
        const QStringList five_lines = g_custommode->preview_texts();
        QCOMPARE(five_lines.value(0), QString("L1\nL2\nL3"));
        QCOMPARE(five_lines.value(1), QString("osd [x:5,y:6,w:100,h:50] font size:32*32\n"
                                              "space [h:3,v:4] char[x:1,y:2] speed:2,effect:move down"));
        auto osd_labels = g_custommode->preview_widget()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(osd_labels[0]->styleSheet(), QString("background-color:#102030;color:#FF0000;"));
        shot("custommode_osd");
        key(KEY_RIGHT);  // wraps to Use
        QCOMPARE(g_custommode->action(), 0);
        QCOMPARE(g_custommode->preview_texts().size(), 18);  // the layout again
        c331_shared::param_changed = 0;
        key(KEY_OK);
        QCOMPARE(word(ram_current_mode), u16(6));
        QCOMPARE(std::memcmp(image() + RAM_MODE_BASE, five.image(), RAM_MODE_LEN), 0);
        QCOMPARE(int(c331_shared::param_changed), 1);
        const u8 empty[2] = {MODE_MARKER_EMPTY, MODE_MARKER_EMPTY};
        store()->TlxModeUserRamParaDeal(empty, 2, 0x6000);  // a tool's delete, never applied
        put_u16(image(), ram_current_mode, 0);
        c331_shared::param_changed = 0;
        key(KEY_OK);
        key(KEY_OK);  // Use: the mode its file holds
        QCOMPARE(word(ram_current_mode), u16(6));
        QCOMPARE(int(c331_shared::param_changed), 1);
        c331_shared::param_changed = 0;
        const u8 same = five.bytes[100];
        store()->TlxModeUserRamParaDeal(&same, 1, 0x6000 + 100);  // a tool's write, never applied
        key(KEY_OK);
        key(KEY_RIGHT);
        key(KEY_OK);  // Delete: the panel's choice ends the tool's write
        QVERIFY(shell_ran("rm  -rf  /data/modes/custom_mode6"));
        QVERIFY(shell_ran("rm  -rf  /data/modes/MO06.json"));
        QVERIFY(!testutil::file_exists(root_.file("data/modes/custom_mode6")));
        QCOMPARE(store()->TlxUserModeSaved(5), 0);
        QCOMPARE(word(ram_current_mode), u16(6));  // still named; the image keeps its settings
        QCOMPARE(int(c331_shared::param_changed), 0);
        QVERIFY(!g_custommode->info_label("label_blank")->isHidden());
        QVERIFY(!g_custommode->preview_widget());
        shot("custommode_deleted");
        key(KEY_BACK);
        QVERIFY(!g_custommode);
        QCOMPARE(int(g_page_focus), int(PAGE_MAINWINDOW));
        g_mainwindow->on_usermode_popup_clicked();  // recalling it says it is empty
        key(KEY_OK);
        key(KEY_RIGHT);
        key(KEY_OK);
        QCOMPARE(g_mainwindow->findChild<QLabel*>("label_status")->text(), QString("That mode is empty"));
        QCOMPARE(int(c331_shared::param_changed), 0);
        const u8 saved[2] = {MODE_MARKER_SAVED, MODE_MARKER_SAVED};
        store()->TlxModeUserRamParaDeal(saved, 2, 0x6000);  // a tool's save, never applied
        g_mainwindow->findChild<QLabel*>("label_status")->clear();
        g_mainwindow->on_usermode_popup_clicked();  // no file: still empty
        key(KEY_OK);
        key(KEY_RIGHT);
        key(KEY_OK);
        QCOMPARE(g_mainwindow->findChild<QLabel*>("label_status")->text(), QString("That mode is empty"));
        QCOMPARE(int(c331_shared::param_changed), 0);
        store()->mode_file_deal(5, 1);
        put_u16(image(), ram_current_mode, 0);
    }

    // A tool deletes the mode whose actions are open: the refresh closes them and shows the
    // empty slot; a tool saving a mode without an OSD record takes More away from the focus;
    // a tool's save request fills the shown slot.
    void customModeFollowsAToolsChange()
    {
        for (auto& slot : store()->mode_slot)
            slot.bytes[0] = slot.bytes[1] = MODE_MARKER_EMPTY;
        MODE_SLOT& one = store()->mode_slot[0];
        one.bytes[0] = one.bytes[1] = MODE_MARKER_SAVED;
        put_u16(one.bytes, MODE_SLOT_OSD, 1);
        std::ofstream(root_.file("data/configs/omenu.json")) << "{\"osdcount\": 0}";
        put_u16(image(), ram_current_mode, 0);
        g_mainwindow->on_custommode_clicked();
        QVERIFY(g_custommode);
        key(KEY_OK);
        keys(KEY_LEFT, 1);  // More
        QCOMPARE(g_custommode->action(), 2);
        put_u16(one.bytes, MODE_SLOT_OSD, 0);  // saved again, without its OSD
        SyncUpdate::pInstance()->para_sync(1);
        QCOMPARE(g_custommode->level(), 1);
        QVERIFY(g_custommode->more_is_hidden());
        QCOMPARE(g_custommode->action(), 0);
        one.bytes[0] = one.bytes[1] = MODE_MARKER_EMPTY;  // deleted
        SyncUpdate::pInstance()->para_sync(1);
        QCOMPARE(g_custommode->level(), 0);
        QVERIFY(!g_custommode->info_label("label_blank")->isHidden());
        put_u16(image(), ram_mode_save_request, 1);  // the tool saves the shown slot anew
        SyncUpdate::pInstance()->para_sync(1);
        QVERIFY(g_custommode->info_label("label_blank")->isHidden());
        image()[ram_language] = 2;  // the tool's language: the list's entries follow
        SyncUpdate::pInstance()->para_sync(1);
        QCOMPARE(g_custommode->findChild<QComboBox*>()->currentText(), QString::fromUtf8("Слот 1"));
        image()[ram_language] = 1;
        SyncUpdate::pInstance()->para_sync(1);
        key(KEY_BACK);
        QVERIFY(!g_custommode);
        put_u16(image(), ram_current_mode, 0);
    }

    // A tool writes the EDID record while its panel is open: the values the user has not
    // changed follow it, and Save writes the typed width over the tool's height and rate.
    void edidSetFollowsAToolsWrite()
    {
        const u32 rec = ram_edid_addr(2);
        auto record = [rec](u16 w, u16 h, u16 hz) { put_edid_record(rec, w, h, hz); };
        record(1920, 1080, 60);
        Steps().run({
            [] { g_mainwindow->on_inputchoose_clicked(); },
            open_edid_page,
            [record] {
                key(KEY_OK);  // HDMI1's panel
                record(3840, 2160, 30);
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_edidset->width_field()->text(), QString("3840"));
                QCOMPARE(g_edidset->rate_text(), QString("30"));
                key(KEY_OK);  // width: the keypad
            },
            [] { type_on_keypad("1280"); },
            [record, rec] {
                record(3840, 1200, 50);  // the tool again, not refreshed yet
                keys(KEY_LEFT, 1);       // Save
                QCOMPARE(g_edidset->height_field()->text(), QString("1200"));
                key(KEY_OK);
                QCOMPARE(word(rec), u16(1280));
                QCOMPARE(word(rec + 2), u16(1200));
                QCOMPARE(word(rec + 4), u16(50));
                record(65535, 40000, 0);  // shown unsigned, as stored
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_edidset->card_text(), QString("65535x40000@0Hz"));
                key(KEY_OK);
                QCOMPARE(g_edidset->width_field()->text(), QString("65535"));
                QCOMPARE(g_edidset->height_field()->text(), QString("40000"));
                key(KEY_BACK);
                key(KEY_BACK);
            },
            [] { key(KEY_BACK); },
        });
        record(1920, 1080, 60);
    }

    // The OSD caption keeps at most three lines and reads colours as the scaler does: 6 hex
    // digits, or a number after "0x" ("0xFF" is blue); anything else shows the defaults.
    void osdCaptionIsBounded()
    {
        OMENU_PARA o{};
        QString text, sheet;
        o.texts = "a\nb\nc\nd\ne";
        o.backpara_color = "0xFF0000";
        o.font_color = "#00FF00";
        CustomMode::osd_caption(o, &text, &sheet);
        QCOMPARE(text, QString("a\nb\nc"));
        QCOMPARE(sheet, QString("background-color:#FF0000;color:#00FF00;"));
        o.backpara_color = "0xFF";
        CustomMode::osd_caption(o, &text, &sheet);
        QCOMPARE(sheet, QString("background-color:#0000FF;color:#00FF00;"));
        o.texts = "one";
        o.backpara_color = "FF00";
        o.font_color = "zzzzzz";
        CustomMode::osd_caption(o, &text, &sheet);
        QCOMPARE(text, QString("one"));
        QCOMPARE(sheet, QString("background-color:#10101C;color:#FFFFFF;"));
    }

    // The preview reads the slot's copy: a crop by its own number, a window off, and window
    // records that name no source or a deleted crop.
    void previewShowsTheSavedLayout()
    {
        MODE_SLOT& seven = store()->mode_slot[7];
        std::memset(seven.bytes, 0, sizeof seven.bytes);
        seven.bytes[0] = seven.bytes[1] = MODE_MARKER_SAVED;
        u8* copy = seven.image() - RAM_MODE_BASE;  // addressed like the image
        const u16 src[6] = {0x0009, 0x8007, 0x802D, 0x0002, 0x8005, 0x0001};
        for (int w = 0; w < 6; ++w) {
            put_u16(copy, ram_window_addr(w, WIN_ENABLE), w == 3 ? 0 : 1);
            put_u16(copy, ram_window_addr(w, WIN_SOURCE), src[w]);
        }
        set_crop(copy, 6, 2, 1);
        set_crop(copy, 7, 2, 2);  // row 5 stays deleted
        put_u16(image(), ram_current_mode, 8);
        g_mainwindow->on_custommode_clicked();
        const QStringList t = g_custommode->preview_texts();
        QCOMPARE(t.size(), 18);
        QCOMPARE(t[3 * 1 + 1], QString("HDMI1_Crop2 ON"));
        QCOMPARE(t[3 * 3 + 1], QString("HDMI1 OFF"));
        QCOMPARE(t[3 * 0 + 1], QString("-- ON"));
        QCOMPARE(t[3 * 2 + 1], QString("-- ON"));
        QCOMPARE(t[3 * 4 + 1], QString("EXT ON"));
        auto labels = g_custommode->preview_widget()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QLabel* tile4 = labels[9];
        QCOMPARE(tile4->text(), QString("4"));
        QVERIFY(tile4->styleSheet().contains("#7E9AC9"));
        QCOMPARE(tile4->geometry(), QRect(145, 2, 24, 24));
        shot("custommode_preview");
        for (u32 f : {WIN_X, WIN_Y, WIN_WIDTH, WIN_HEIGHT})  // 5-digit words: elided before the next tile
            for (int w : {0, 3})
                put_u16(copy, ram_window_addr(w, f), 65535);
        g_custommode->image_para_init();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        labels = g_custommode->preview_widget()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        for (int w : {0, 3}) {
            QLabel* values = labels[3 * w + 2];
            QCOMPARE(textfit::full_text(values), QString("[65535,65535]65535x65535"));
            QVERIFY2(values->geometry().right() < (w < 3 ? 145 : g_custommode->preview_widget()->width()),
                     qPrintable(QString::number(values->geometry().right())));
            QVERIFY2(values->text() == textfit::full_text(values) || values->text().endsWith(QChar(0x2026)),
                     qPrintable(values->text()));
        }
        shot("custommode_preview_long");
        key(KEY_BACK);
        put_u16(image(), ram_current_mode, 0);
    }

    // The layout viewer: default name, point-to-point items (an unknown mode keeps the item),
    // and browsing writes nothing.
    void imageLayoutBrowsesTheWindows()
    {
        clear_crops();
        put_u16(image(), ram_window_addr(1, WIN_OUTPUT), WIN_OUT_P2P);
        put_u16(image(), ram_window_addr(1, WIN_P2P_MODE), 8);
        put_u16(image(), ram_window_addr(2, WIN_OUTPUT), WIN_OUT_P2P);
        put_u16(image(), ram_window_addr(2, WIN_P2P_MODE), 5);
        put_u16(image(), ram_window_addr(2, WIN_SOURCE), 0x8005);  // a deleted crop
        put_u16(image(), ram_window_addr(0, WIN_ROTATE), 9);       // no such mode: none lit
        put_u16(image(), ram_window_addr(1, WIN_ROTATE), 2);
        put_u16(image(), ram_window_addr(2, WIN_ROTATE), 7);
        put_u16(image(), ram_window_addr(2, WIN_X), 0);
        static u8 before[RAM_IMAGE_SIZE];
        std::memcpy(before, image(), RAM_IMAGE_SIZE);
        Steps().run({
            [] { open_registered(PAGE_IMAGELAYOUT, g_mainwindow); },
            [] {
                QVERIFY(g_imagelayout);
                QCOMPARE(g_imagelayout->name_text(), QString("Name:Image1"));
                for (int m = 0; m < 4; ++m) {  // pictures, never the form's placeholder text
                    QVERIFY(g_imagelayout->mirror_label(m)->pixmap() && !g_imagelayout->mirror_label(m)->pixmap()->isNull());
                    QCOMPARE(g_imagelayout->mirror_label(m)->text(), QString());
                }
                auto lit = [] {
                    int on = -1;
                    for (int m = 0; m < 4; ++m)
                        if (g_imagelayout->mirror_label(m)->pixmap()->toImage() ==
                            QPixmap(QString(":/png/mirror%1_on.png").arg(m + 1)).toImage())
                            on = m;
                    return on;
                };
                QCOMPARE(lit(), -1);
                key(KEY_RIGHT);
                QCOMPARE(g_imagelayout->p2p_box()->currentIndex(), 2);
                QCOMPARE(lit(), 2);
                key(KEY_RIGHT);  // a rotate of 7 and a point-to-point word of 5: shown as no mode
                QCOMPARE(g_imagelayout->name_text(), QString("Name:Image3"));
                QCOMPARE(g_imagelayout->p2p_box()->currentIndex(), -1);
                QCOMPARE(lit(), -1);
                QCOMPARE(g_imagelayout->source_text(), QString("Source:EXT"));
                shot("imagelayout");
                put_u16(image(), ram_window_addr(2, WIN_X), 65535);  // a tool moves the window
                put_u16(image(), ram_window_addr(2, WIN_ROTATE), 1);
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_imagelayout->findChild<QLineEdit*>("lineEdit_X")->text(), QString("65535"));
                QCOMPARE(lit(), 1);
                image()[ram_language] = 2;  // the tool's language: the mode list follows
                SyncUpdate::pInstance()->para_sync(1);
                QCOMPARE(g_imagelayout->p2p_box()->itemText(0), QString::fromUtf8("Откл"));
                image()[ram_language] = 1;
                SyncUpdate::pInstance()->para_sync(1);
                std::memcpy(before, image(), RAM_IMAGE_SIZE);
                keys(KEY_LEFT, 3);
                QCOMPARE(g_imagelayout->window(), 5);
                key(KEY_OK);
                key(KEY_BACK);
            },
            [] { QVERIFY(!g_imagelayout); },
        });
        QCOMPARE(std::memcmp(before, image(), RAM_IMAGE_SIZE), 0);
    }

    // Window records naming no source, a crop row beyond the table and a deleted crop open and
    // work every page without fault.
    void badWindowRecordsAreHarmless()
    {
        windows_on({1, 2, 3, 4, 5});
        clear_crops();
        store()->TlxCropSourceInit();
        const u16 src[6] = {0x802D, 0x0009, 0x8005, 0x80FF, 0x00FF, 0x0002};
        for (int w = 0; w < 6; ++w)
            put_u16(image(), ram_window_addr(w, WIN_SOURCE), src[w]);
        Steps().run({
            [] { g_mainwindow->on_inputchoose_clicked(); },
            [] {
                QCOMPARE(g_inputchoose->tile_source_text(0), QString("--"));
                QCOMPARE(g_inputchoose->tile_source_text(1), QString("--"));
                QCOMPARE(g_inputchoose->tile_source_text(2), QString("EXT"));
                for (int t = 0; t < 6; ++t) {
                    key(KEY_OK);
                    key(KEY_OK);
                    keys(KEY_RIGHT, 2);
                    keys(KEY_LEFT, 3);
                    keys(KEY_BACK, 2);
                    key(KEY_RIGHT);
                }
                shot("inputchoose_bad_records");
                key(KEY_OK);  // the crop editor
            },
            [] {
                for (int c = 0; c < 6; ++c) {
                    key(KEY_OK);
                    keys(KEY_LEFT, 2);
                    key(KEY_BACK);
                    key(KEY_RIGHT);
                }
                key(KEY_BACK);
            },
            [] {
                key(KEY_RIGHT);
                key(KEY_OK);  // the EDID page
            },
            [] {
                keys(KEY_RIGHT, 7);
                key(KEY_BACK);
            },
            [] { keys(KEY_BACK, 1); },
            [] { open_registered(PAGE_IMAGELAYOUT, g_mainwindow); },
            [] {
                keys(KEY_RIGHT, 7);
                key(KEY_BACK);
            },
        });
        QVERIFY(!g_inputchoose && !g_imagelayout);
        windows_on({});
    }
};

QTEST_MAIN(SourcePagesTest)
#include "source_pages_test.moc"
