#include "store_fixture.h"

namespace {

void put_crop(u8* image, int row, int source, int number, u16 w = 100)
{
    ram_wr16(image, ram_crop_addr(row, CROP_KEY), static_cast<u16>(0x8000 | ((number - 1) << 8) | source));
    ram_wr16(image, ram_crop_addr(row, CROP_WIDTH), w);
}

std::string factory_with(uint32_t addr, u16 value)
{
    std::string f(reinterpret_cast<const char*>(ConfigEngine::default_para_ramlist), 4096);
    const uint32_t o = addr - RAM_VOLATILE_END + PARA_FILE_IMAGE_OFFSET;
    f[o] = static_cast<char>(value);
    f[o + 1] = static_cast<char>(value >> 8);
    return f;
}

}  // namespace

TEST_F(StoreTest, BootClearsVolatileFieldsAndKeepsTheRest)
{
    std::string f = factory_with(ram_black_screen, 1);
    f[ram_test_pattern - 0x300 + 2] = 1;
    f[ram_current_mode - 0x300 + 2] = 4;
    f[ram_mode_save_request - 0x300 + 2] = 3;
    f[ram_splice_mode - 0x300 + 2] = 2;
    f[ram_language - 0x300 + 2] = 2;
    f[0] = 0x12;  // the file marker is not tested on load
    write("/data/ram_device_info", f);
    TlxRamPara* s = boot();
    EXPECT_EQ(ram_rd16(s->ram_image, ram_black_screen), 0);
    EXPECT_EQ(s->ram_image[ram_test_pattern], 0);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_current_mode), 0);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_splice_mode), 0);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_mode_save_request), 3);
    EXPECT_EQ(g_language.load(), 2);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_led_width), 4096);
    EXPECT_EQ(0, std::memcmp(s->ram_image, s->ram_shadow, RAM_IMAGE_SIZE));
    EXPECT_EQ(s->status_page[0], 0x80);
    EXPECT_EQ(s->status_page[1], 0x1F);
    EXPECT_EQ(s->status_page[2], 0x07);
    EXPECT_EQ(s->status_page[3], 0);
    // No mode files: every slot empty.
    for (int i = 0; i < MODE_SLOTS; ++i)
        EXPECT_EQ(s->mode_slot[i].bytes[0], MODE_MARKER_EMPTY);
}

TEST_F(StoreTest, ShortParameterFileKeepsWhatItHoldsOverFactoryValues)
{
    std::string f = factory_with(ram_language, 1);
    write("/data/ram_device_info", f.substr(0, 100));  // image 0x300..0x361
    TlxRamPara* s = boot();
    EXPECT_EQ(s->ram_image[ram_language], 1);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_led_height), 2048);
    EXPECT_NE(read("/data/zeltaqn/log/kivEnglneLog").find("WARNING"), std::string::npos);
}

TEST_F(StoreTest, RemoteWritesStayInsideImageAndSlots)
{
    TlxRamPara* s = boot();
    std::vector<u8> data(4098, 0x5C);
    EXPECT_EQ(s->TlxRamParaDeal(data.data(), 16, 0xFF0), 0);
    EXPECT_EQ(s->ram_image[0xFFF], 0x5C);
    EXPECT_EQ(s->TlxRamParaDeal(data.data(), 16, 0xFF1), 1);
    EXPECT_EQ(s->TlxRamParaDeal(data.data(), 1, 0x1000), 1);
    EXPECT_EQ(s->TlxRamParaDeal(data.data(), 16, 0xFFFFFFF8u), 1);  // would wrap in 32 bits
    EXPECT_EQ(s->TlxRamParaDeal(nullptr, 0, 0xFFF), 0);

    EXPECT_EQ(s->TlxModeUserRamParaDeal(data.data(), 4098, 0x1000), 0);
    EXPECT_EQ(s->mode_slot[0].bytes[0], 0x5C);
    EXPECT_EQ(s->mode_slot[0].bytes[4097], 0x5C);
    EXPECT_EQ(s->mode_slot[1].bytes[0], MODE_MARKER_EMPTY);
    EXPECT_EQ(s->TlxModeUserRamParaDeal(data.data(), 3, 0x10FFF), 0);  // up to the last byte of slot 15
    EXPECT_EQ(s->mode_slot[15].bytes[4097], 0x5C);
    EXPECT_EQ(s->TlxModeUserRamParaDeal(data.data(), 4, 0x10FFF), 1);
    EXPECT_EQ(s->TlxModeUserRamParaDeal(data.data(), 4, 0x11000), 1);
    EXPECT_EQ(s->TlxModeUserRamParaDeal(data.data(), 4, 0x0FFF), 1);
    EXPECT_EQ(s->TlxModeUserRamParaDeal(data.data(), 4, 0x101000), 1);  // bits above 19
}

TEST_F(StoreTest, RegisterBlockRunsIntoStatusPage)
{
    TlxRamPara* s = boot();
    EXPECT_EQ(s->reg_byte(0), &s->reg_file[0]);
    EXPECT_EQ(s->reg_byte(36), &s->reg_file[36]);
    EXPECT_EQ(s->reg_byte(37), &s->status_page[0]);
    EXPECT_EQ(s->reg_byte(159), &s->status_page[122]);
    EXPECT_EQ(s->reg_byte(160), &s->reg_file[32]);
    EXPECT_EQ(s->reg_byte(164), &s->reg_file[36]);
    EXPECT_EQ(s->reg_byte(169), &s->status_page[132]);
    EXPECT_EQ(s->reg_byte(170), nullptr);
    EXPECT_EQ(s->reg_byte(-1), nullptr);
}

TEST_F(StoreTest, CropNumbersRowsAndEdits)
{
    TlxRamPara* s = boot();
    put_crop(s->ram_image, 2, 3, 1);
    put_crop(s->ram_image, 5, 3, 2);
    put_crop(s->ram_image, 9, 3, 5, 321);
    put_crop(s->ram_image, 0, 1, 1);
    ram_wr16(s->ram_image, ram_crop_addr(1, CROP_KEY), 0x0403);  // bit 15 clear: no crop
    s->TlxCropSourceInit();
    EXPECT_EQ(s->TlxGetCropID(3, 3), 5);
    EXPECT_EQ(s->TlxGetCropID(3, 4), 0);
    EXPECT_EQ(s->TlxGetCropID(3, 0), 0);
    EXPECT_EQ(s->TlxAddCropID(3), 3);
    EXPECT_EQ(s->TlxGetSourceNum(3, 40), 3);
    EXPECT_EQ(s->TlxGetSourceNum(3, 6), 2);
    EXPECT_EQ(s->TlxGetSourceNum(3, 0), 0);
    EXPECT_EQ(s->TlxGetCropID(7, 1), 0);  // sources beyond 5 have no crops
    EXPECT_EQ(s->TlxAddCropID(-1), 0);

    CROP_PARA c{-1, -1, -1, -1, -1};
    int row = -1;
    s->TlxGetCropPara(3, 3, &c, &row);
    EXPECT_EQ(row, 9);
    EXPECT_EQ(c.key, 0x8403);
    EXPECT_EQ(c.width, 321);
    CROP_PARA untouched{7, 7, 7, 7, 7};
    s->TlxGetCropPara(3, 4, &untouched, &row);
    EXPECT_EQ(row, 40);
    EXPECT_EQ(untouched.key, 7);

    CROP_PARA nc{0, 10, 20, 30, 40};
    EXPECT_TRUE(s->TlxAddNewCrop(3, &nc));  // crop number 3 in the first free row (1)
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(1, CROP_KEY)), 0x8203);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(1, CROP_HEIGHT)), 40);
    EXPECT_EQ(c331_shared::param_changed.load(), 1);
    s->TlxCropSourceInit();
    EXPECT_EQ(s->TlxGetCropID(3, 3), 3);

    c331_shared::param_changed = 0;
    const CROP_PARA moved{0, 11, 22, 33, 44};
    s->TlxSetCropPara(3, 3, &moved);  // crop number 3 of source 3 is now row 1's
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(1, CROP_KEY)), 0x8203);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(1, CROP_X)), 11);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(1, CROP_HEIGHT)), 44);
    EXPECT_EQ(c331_shared::param_changed.load(), 1);
    s->TlxSetCropPara(3, 9, &moved);  // no such crop: nothing changes
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(9, CROP_X)), c.x);

    s->TlxDeleteCrop(3, 1);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(2, CROP_KEY)), 0);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(2, CROP_WIDTH)), 100);  // rectangle stays

    // A tool wrote id 4 since the ids were last counted: the add gives the free id 1, not a second 4.
    put_crop(s->ram_image, 3, 3, 4);
    EXPECT_TRUE(s->TlxAddNewCrop(3, &nc));
    EXPECT_EQ(ram_rd16(s->ram_image, ram_crop_addr(2, CROP_KEY)), 0x8003);
}

TEST_F(StoreTest, FullCropTableAddsNothing)
{
    TlxRamPara* s = boot();
    for (int r = 0; r < 40; ++r)
        put_crop(s->ram_image, r, r % 2, r / 2 + 1);
    s->TlxCropSourceInit();
    u8 before[RAM_IMAGE_SIZE];
    std::memcpy(before, s->ram_image, sizeof before);
    CROP_PARA nc{0, 1, 2, 3, 4};
    EXPECT_FALSE(s->TlxAddNewCrop(4, &nc));
    EXPECT_EQ(0, std::memcmp(before, s->ram_image, sizeof before));
    EXPECT_EQ(c331_shared::param_changed.load(), 0);
}

TEST_F(StoreTest, WindowSourceFromImageAndFromSlotCopy)
{
    TlxRamPara* s = boot();
    int16_t is_crop = -1;
    u8 row = 99;
    EXPECT_EQ(s->TlxGetImageSource(s->ram_image, 1, &is_crop, &row, 0), 5);
    EXPECT_EQ(is_crop, 0);
    EXPECT_EQ(row, 99);

    // Slot copy whose window 0 shows crop row 7, its own row 7 cutting source 2.
    u8* copy = s->mode_slot[0].image();
    ram_wr16(copy, ram_window_addr(0, WIN_SOURCE) - RAM_MODE_BASE, 0x8007);
    ram_wr16(copy, ram_crop_addr(7, CROP_KEY) - RAM_MODE_BASE, 0x8002);
    put_crop(s->ram_image, 7, 4, 1);
    EXPECT_EQ(s->TlxGetImageSource(copy, 0, &is_crop, &row, 1), 2);
    EXPECT_EQ(is_crop, 1);
    EXPECT_EQ(row, 7);

    // Out-of-range window and crop row read as no source.
    EXPECT_EQ(s->TlxGetImageSource(s->ram_image, 16, &is_crop, &row, 0), 0xFF);
    ram_wr16(s->ram_image, ram_window_addr(2, WIN_SOURCE), 0x80C8);
    EXPECT_EQ(s->TlxGetImageSource(s->ram_image, 2, &is_crop, &row, 0), 0xFF);
    // So do source values beyond 5, in the window word or in the crop row's key.
    ram_wr16(s->ram_image, ram_window_addr(3, WIN_SOURCE), 0x0009);
    EXPECT_EQ(s->TlxGetImageSource(s->ram_image, 3, &is_crop, &row, 0), 0xFF);
    ram_wr16(s->ram_image, ram_window_addr(3, WIN_SOURCE), 0x8006);
    ram_wr16(s->ram_image, ram_crop_addr(6, CROP_KEY), 0x8007);
    EXPECT_EQ(s->TlxGetImageSource(s->ram_image, 3, &is_crop, &row, 0), 0xFF);
}

TEST_F(StoreTest, SetImageSourceAndCurrentMode)
{
    TlxRamPara* s = boot();
    put_crop(s->ram_image, 4, 1, 2);
    s->TlxCropSourceInit();
    // A recall not yet persisted (image differs from the shadow) keeps the current mode.
    ram_wr16(s->ram_image, ram_current_mode, 3);
    s->TlxSetImageSource(1, 1, 2);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_window_addr(2, WIN_SOURCE)), 0x8004);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_current_mode), 3);
    // Once persisted, a change by hand clears it.
    ram_wr16(s->ram_shadow, ram_current_mode, 3);
    s->TlxSetImageSource(0, 5, 2);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_window_addr(2, WIN_SOURCE)), 5);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_current_mode), 0);
    // A crop that does not exist gives source word 0; bad window or source write nothing.
    s->TlxSetImageSource(3, 1, 2);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_window_addr(2, WIN_SOURCE)), 0);
    u8 before[RAM_IMAGE_SIZE];
    std::memcpy(before, s->ram_image, sizeof before);
    s->TlxSetImageSource(0, 6, 1);
    s->TlxSetImageSource(0, 1, 16);
    s->TlxSetEDIDPara(6, 1, 2, 3);
    EXPECT_EQ(0, std::memcmp(before, s->ram_image, sizeof before));
    s->TlxSetEDIDPara(5, 1280, 720, 50);
    EXPECT_EQ(ram_rd16(s->ram_image, ram_edid_addr(5) + 2), 720);
}

TEST_F(StoreTest, UserModeSearchAndCurrentIndex)
{
    TlxRamPara* s = boot();
    EXPECT_EQ(s->TlxUserModeIndex(4, 1), 0x100);
    s->mode_slot[4].bytes[0] = s->mode_slot[4].bytes[1] = MODE_MARKER_SAVED;
    EXPECT_EQ(s->TlxUserModeIndex(4, 1), 4);  // wraps round to itself
    EXPECT_EQ(s->TlxUserModeIndex(4, 0), 4);
    EXPECT_EQ(s->TlxUserModeIndex(16, 2), 4);
    EXPECT_EQ(s->TlxUserModeIndex(17, 2), 0x100);
    EXPECT_EQ(s->TlxUserModeIndex(16, 1), 0x100);
    EXPECT_EQ(s->TlxUserModeIndex(3, 5), 0x100);
    s->mode_slot[9].bytes[0] = s->mode_slot[9].bytes[1] = MODE_MARKER_SAVED;
    EXPECT_EQ(s->TlxUserModeIndex(5, 2), 9);
    EXPECT_EQ(s->TlxUserModeIndex(9, 1), 4);
    EXPECT_EQ(s->TlxUserModeIndex(4, 0), 9);
    EXPECT_EQ(s->TlxUserModeIndex(0, 0), 9);
    s->mode_slot[2].bytes[0] = MODE_MARKER_SAVED;
    s->mode_slot[2].bytes[1] = 0;
    EXPECT_EQ(s->TlxUserModeSaved(2), 0);
    EXPECT_EQ(s->TlxUserModeSaved(16), 0);
    ram_wr16(s->ram_image, ram_current_mode, 16);
    EXPECT_EQ(s->TlxGetCurrentModeIndex(), 16);
    ram_wr16(s->ram_image, ram_current_mode, 0x0101);  // the byte at 0x362 names the mode
    EXPECT_EQ(s->TlxGetCurrentModeIndex(), 1);
    ram_wr16(s->ram_image, ram_current_mode, 17);
    EXPECT_EQ(s->TlxGetCurrentModeIndex(), 0);
}

TEST_F(StoreTest, ModeFilesLoadAndDelete)
{
    std::string mode(4096, '\0');
    mode[0] = mode[1] = static_cast<char>(0xAA);
    mode[MODE_SLOT_OSD] = 1;
    mode[100] = 0x42;
    write("/data/modes/custom_mode10", mode);
    write("/data/modes/custom_mode16", mode);
    write("/data/modes/MO0a.json", "{}");
    TlxRamPara* s = boot();
    EXPECT_EQ(s->TlxUserModeSaved(9), 1);
    EXPECT_EQ(s->TlxUserModeSaved(15), 1);
    EXPECT_EQ(s->mode_slot[9].bytes[100], 0x42);

    EXPECT_EQ(s->mode_file_deal(9, 1), 0);
    EXPECT_FALSE(exists("/data/modes/custom_mode10"));
    EXPECT_FALSE(exists("/data/modes/MO0a.json"));
    EXPECT_TRUE(shell_ran("rm  -rf  /data/modes/custom_mode10"));
    EXPECT_TRUE(shell_ran("rm  -rf  /data/modes/MO0a.json"));
    EXPECT_EQ(s->mode_slot[9].bytes[0], MODE_MARKER_EMPTY);
    EXPECT_EQ(s->mode_slot[9].bytes[1], MODE_MARKER_EMPTY);
    EXPECT_EQ(ram_rd16(s->mode_slot[9].bytes, MODE_SLOT_OSD), 0);
    EXPECT_EQ(store_files::mode_osd_path(15), "/data/modes/MO10.json");
    EXPECT_EQ(s->mode_file_deal(16, 0), 0);
    EXPECT_EQ(s->mode_file_deal(-1, 1), 0);
}
