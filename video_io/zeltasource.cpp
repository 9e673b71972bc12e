// Placeholder until the supervision thread is built: the object exists so that the FPGA and
// scaler components can read its records and flags.
#include "video_io/zeltasource.h"

zeltasource* zeltasource::p_zelta_source = nullptr;

zeltasource::zeltasource() = default;

zeltasource* zeltasource::pInstance()
{
    if (!p_zelta_source)
        p_zelta_source = new zeltasource;
    return p_zelta_source;
}

int zeltasource::initialize()
{
    return 0;
}
