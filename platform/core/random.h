// The run-time library's pseudo-random generator: a 32-bit linear congruential sequence from
// RandSeed, so that a seed gives the same numbers on every machine.
#pragma once

#include <cstdint>

// The generator's state; set it to repeat a sequence.
extern uint32_t RandSeed;
// Seeds the generator from the clock.
void Randomize();
// An integer in [0, Range); 0 when Range <= 0.
int32_t Random(int32_t Range);
// A number in [0, 1).
double Random();
