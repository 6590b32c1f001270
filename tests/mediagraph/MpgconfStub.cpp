// Exports of the codec configuration library with fixed, recognisable answers.
#include <cstdint>
#include <stdexcept>

extern "C" {

__attribute__((visibility("default"))) uint32_t _CheckFiltersPresent(uint16_t* demux, uint16_t* decoder)
{
    *demux = (1u << 1) | (1u << 5);    // Moonlight, VRMMedia
    *decoder = (1u << 3) | (1u << 4);  // DScaler, FFDShow
    return 1;
}

__attribute__((visibility("default"))) uint32_t _SetupDemux(int32_t kind, void* demux, uint8_t flag)
{
    return static_cast<uint32_t>(kind * 10 + flag + (demux ? 100 : 0));
}

// Throws for kind 99 so that the caller's protection is exercised.
__attribute__((visibility("default"))) uint32_t _SetResolution(int32_t kind, uint8_t value, void*)
{
    if (kind == 99)
        throw std::runtime_error("refused");
    return static_cast<uint32_t>(value);
}
}
