#pragma once
// The rotation tables behind SinTable and CosTable, generated from the x87 build's libm (see
// tools/generate_trig.cpp), so that every build turns the picture by the same singles.
#include <array>

#include "scene/vector_math.h"

extern const std::array<float, AngleUnits> SineOfAngleUnit;
extern const std::array<float, AngleUnits> CosineOfAngleUnit;
