#pragma once
// What the input side publishes into the parameter store: status-page bits and the per-input
// timing records. Status-page bytes change under c331_lock, and only when they differ; a
// timing record is written under ram_mutex inside c331_lock and signalled when it changed.
// And what the HDMI 2.0 receivers share with the scaler manager about its input ports (the
// status words and measurements of c331_ports), under Utils::_check_nosig_mutex.
#include <cstdint>

namespace source_status {

// Status-page bit of receiver r's chip (IT6602 r 0..3: bits 0, 2, 3, 4 of chip_present).
constexpr uint8_t kIt6602Present[4] = {0x01, 0x04, 0x08, 0x10};

bool bits(int byte, uint8_t mask);  // true when every bit of mask is set
void set_bits(int byte, uint8_t mask, bool on);

// Input timing record s := {width, height, refresh}; test_signal(1) when it changed.
void publish_timing(int s, uint16_t width, uint16_t height, uint16_t refresh);

// Scaler input port p. Each is false (and does nothing) while no scaler manager exists.
bool port_announce(int p);   // status := no signal, update pending (129): the scaler measures it
bool port_taken_up(int p);   // the scaler cleared the no-signal bit
bool port_published(int p);  // the record was republished: clears the update-pending bit
bool port_totals(int p, uint32_t* htt, uint32_t* vtt);  // the scaler's last measured totals

}  // namespace source_status
