// The fixed table of 162 unit vectors that MD2 vertices refer to by index (the
// "light normal index" byte of each packed vertex), and a nearest-entry search.
#pragma once

#include <cstddef>

constexpr size_t kMd2NormalCount = 162;

// Entry i is (x, y, z) in the model's axes (x forward, y left, z up).
extern const float kMd2Normals[kMd2NormalCount][3];

// Index of the table entry with the largest dot product with (x, y, z); 0 for a
// zero vector. Ties go to the lower index, so the result is deterministic.
int NearestMd2Normal(float x, float y, float z);
