#pragma once
// The settings and maintenance pages (LED size, output ports, LCD display, test pattern, other
// settings, factory settings, picture quality, colour temperature, serial port, Ethernet
// address, aging log). Their menus show a row only once the page's opener is registered.

// Registers one opener per page. Call once, after the Qt application exists and before the
// menus are built (each menu picks its rows when it is built).
void register_settings_pages();
