#pragma once
// What the input side publishes into the parameter store: status-page bits and the per-input
// timing records. Status-page bytes change under c331_lock, and only when they differ; a
// timing record is written under ram_mutex inside c331_lock and signalled when it changed.
#include <cstdint>

namespace source_status {

// Status-page bit of receiver r's chip (IT6602 r 0..3: bits 0, 2, 3, 4 of chip_present).
constexpr uint8_t kIt6602Present[4] = {0x01, 0x04, 0x08, 0x10};

bool bits(int byte, uint8_t mask);  // true when every bit of mask is set
void set_bits(int byte, uint8_t mask, bool on);

// Input timing record s := {width, height, refresh}; test_signal(1) when it changed.
void publish_timing(int s, uint16_t width, uint16_t height, uint16_t refresh);

}  // namespace source_status
