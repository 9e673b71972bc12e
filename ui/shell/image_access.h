#pragma once
// Little-endian field access to the parameter image for the shell's pages.
#include "core/TlxRamPara.h"
#include "core/ram_map.h"

inline u16 get_u16(const u8* image, u32 addr) { return ram_rd16(image, addr); }
inline void put_u16(u8* image, u32 addr, u16 v) { ram_wr16(image, addr, v); }
// A field of the live image, read without a lock (0 before the store exists): the panel
// never waits for c331_lock, which the apply pass may hold for seconds; a value changed
// meanwhile is shown on the next refresh. One atomic load (ram_rd16): never torn.
inline u16 image_u16(u32 addr)
{
    return TlxRamPara::p_tlxrampara_config ? get_u16(TlxRamPara::p_tlxrampara_config->ram_image, addr) : 0;
}
// The window whose sound is on the audio output (values above 5 read as 0).
inline int selected_window()
{
    const int w = image_u16(ram_selected_window) & 0xFF;  // the u8 field, read like the others
    return w > 5 ? 0 : w;
}
