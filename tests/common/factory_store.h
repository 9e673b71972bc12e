// The parameter store at its factory state, for the in-process tests and the fuzz target.
#pragma once
#include <QDir>
#include <QMutexLocker>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/ConfigEngine.h"
#include "core/TlxRamPara.h"
#include "core/c331_shared.h"

namespace testutil {

// Lays down the factory image as the parameter file under `root`, for the store to load.
inline void write_factory_para_file(const std::string& root)
{
    QDir().mkpath(QString::fromStdString(root + "/data/configs"));
    FILE* f = std::fopen((root + "/data/ram_device_info").c_str(), "wb");
    std::fwrite(ConfigEngine::default_para_ramlist, 1, 4096, f);
    std::fclose(f);
}

// Puts the store back to the factory image and clears the registers and the change flag.
inline void restore_factory_store(TlxRamPara* s)
{
    // Under the image lock like every editor: the transports' threads may read it.
    QMutexLocker lk(&c331_shared::c331_lock);
    std::memset(s->ram_image, 0, RAM_IMAGE_SIZE);
    std::memcpy(s->ram_image + RAM_VOLATILE_END, ConfigEngine::default_para_ramlist + 2, RAM_PERSIST_LEN);
    std::memcpy(s->ram_shadow, s->ram_image, RAM_IMAGE_SIZE);
    std::memcpy(s->ram_applied, s->ram_image, RAM_IMAGE_SIZE);
    std::memset(s->reg_file, 0, sizeof s->reg_file);
    std::memset(s->status_page, 0, sizeof s->status_page);
    c331_shared::param_changed = 0;
    s->take_remote_mode_word_written();
    s->take_remote_slot_marks();
}

}  // namespace testutil
