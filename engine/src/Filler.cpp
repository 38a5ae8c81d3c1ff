#include "Filler.h"

namespace vokb {
namespace {

thread_local uint32_t t_state = 1;

} // namespace

uint8_t nextFillerByte() {
    t_state = t_state * 214013u + 2531011u;
    const uint32_t value = (t_state >> 16) & 0x7FFFu;
    return static_cast<uint8_t>(value & 0xFFu);
}

} // namespace vokb
