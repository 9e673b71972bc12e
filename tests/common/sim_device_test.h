#pragma once
// A fixture for whole-process tests: the device program on the simulated board under a
// fresh temporary root of its own, ended by SIGTERM after each test.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/device_process.h"
#include "common/temp_dir.h"

namespace testutil {

class SimDeviceTest : public ::testing::Test {
protected:
    explicit SimDeviceTest(const std::string& root_prefix) : root_(root_prefix) {}

    // Starts the device with its clock `time_scale` times faster (the bring-up waits pass
    // quickly); port_ is its remote TCP port.
    bool start_device(const std::string& time_scale)
    {
        dev_ = sim_device(root_.path(), time_scale, &port_);
        return dev_->start();
    }
    void TearDown() override
    {
        if (dev_)
            dev_->terminate();
    }

    // The "registers" of one simulated device from a fresh state dump; empty on time-out.
    QJsonObject dump(const std::string& device, int timeout_ms)
    {
        return dump_registers(*dev_, root_.path(), device, timeout_ms);
    }

    TempDir root_;
    std::unique_ptr<DeviceProcess> dev_;
    uint16_t port_ = 0;
};

}  // namespace testutil
