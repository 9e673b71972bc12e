#pragma once
// Registers the openers of the source selection (3), user modes (4), crop editor (7), EDID
// (8) and layout (9) pages with the shell, so their menu rows appear. Called once at start,
// before the front panel is built; not by a static initialiser, which a static library drops.
void source_pages_register();
