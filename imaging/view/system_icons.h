// The system icons a vector object can show (identifiers 32512 to 32517): fixed 64 x 64 pictures
// of our own, drawn once.
#pragma once

#include <cstdint>

class TBitmap;

namespace Kvvect {

constexpr int32_t IDI_APPLICATION = 32512;
constexpr int32_t IDI_HAND = 32513;
constexpr int32_t IDI_QUESTION = 32514;
constexpr int32_t IDI_EXCLAMATION = 32515;
constexpr int32_t IDI_ASTERISK = 32516;
constexpr int32_t IDI_WINLOGO = 32517;

// The icon's pf24bit picture on white, or nullptr for another identifier.
const TBitmap* SystemIcon(int32_t id);

} // namespace Kvvect
